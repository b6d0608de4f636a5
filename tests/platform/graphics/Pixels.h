#pragma once

// Small helpers for pixel tests: a transparent canvas, an "inked" test and the bounding boxes of
// everything drawn and of one colour.

#include <QColor>
#include <QImage>
#include <QRect>

namespace graphics_test {

inline QImage canvas(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

inline bool inked(const QImage& image, int x, int y)
{
    return qAlpha(image.pixel(x, y)) > 64;
}

// The smallest rectangle holding every pixel for which `take(x, y)` holds; empty when none does.
template <typename Take> QRect boundsWhere(const QImage& image, Take take)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (take(x, y))
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

// Everything drawn: the pixels with noticeable alpha.
inline QRect inkBounds(const QImage& image)
{
    return boundsWhere(image, [&](int x, int y) { return inked(image, x, y); });
}

// The pixels that are exactly `colour`.
inline QRect boundsOf(const QImage& image, QRgb colour)
{
    return boundsWhere(image, [&](int x, int y) { return image.pixel(x, y) == colour; });
}

} // namespace graphics_test
