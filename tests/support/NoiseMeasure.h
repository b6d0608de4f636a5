#pragma once

// How much noise a picture has left against the clean one, shared by the night-mode tests of the
// enhancement, the burst merge and the saved photos. Pictures are 32-bit, B, G, R, A in memory.

#include <cmath>

#include <QImage>
#include <QPoint>
#include <QRect>

namespace testing_noise {

// Standard deviation of (a - b) over b, g, r of the area, with a's pixel (x, y) compared to b's
// (x - shift.x, y - shift.y): a photo merged on a shaken frame is the clean scene moved.
inline double differenceSigma(const QImage& a, const QImage& b, QRect area, QPoint shift = {})
{
    double sum = 0, sumSq = 0, n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const uchar* pa = a.constScanLine(y);
        const uchar* pb = b.constScanLine(y - shift.y());
        for (int x = area.left(); x <= area.right(); ++x)
            for (int c = 0; c < 3; ++c) {
                const double d = double(pa[4 * x + c]) - pb[4 * (x - shift.x()) + c];
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
