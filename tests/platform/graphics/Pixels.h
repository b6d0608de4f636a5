#pragma once

// Small helpers for pixel tests: a transparent canvas, an "inked" test and the bounding box of
// everything drawn.

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

// The smallest rectangle holding every pixel with noticeable alpha; empty when nothing is drawn.
inline QRect inkBounds(const QImage& image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (inked(image, x, y))
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

} // namespace graphics_test
