#pragma once

// Measures shared by the night-mode tests: how much noise a picture has left against the clean one.

#include <cmath>

#include <QImage>
#include <QRect>

namespace testing_noise {

// Standard deviation of (a - b) over b, g, r of the area.
inline double differenceSigma(const QImage& a, const QImage& b, QRect area)
{
    double sum = 0, sumSq = 0, n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const uchar* pa = a.constScanLine(y);
        const uchar* pb = b.constScanLine(y);
        for (int x = area.left(); x <= area.right(); ++x)
            for (int c = 0; c < 3; ++c) {
                const double d = double(pa[4 * x + c]) - pb[4 * x + c];
                sum += d;
                sumSq += d * d;
                ++n;
            }
    }
    return std::sqrt(sumSq / n - (sum / n) * (sum / n));
}

inline double meanGreen(const QImage& image, QRect area)
{
    double sum = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            sum += qGreen(image.pixel(x, y));
    return sum / (double(area.width()) * area.height());
}

} // namespace testing_noise
