#pragma once

// Draws an image stretched over a rectangle with nearest-neighbour sampling, as
// GraphicsContext::drawImage does with interpolation quality None, but fast when the context's
// transform only scales, flips and turns by quarter turns (the scope picture's case): the
// samples are picked here straight into device orientation and size, and the painter then only
// copies rows. Any other transform falls back to GraphicsContext::drawImage.
//
// Placement is the context's: the image's first row lies along the rectangle's maximum y.
// Device pixel (i, j) takes the image pixel under its centre.
//
// Threads: the thread that owns the context.

#include <QImage>
#include <QRectF>

namespace imaging {

class GraphicsContext;

class NearestImageDraw {
public:
    static void draw(GraphicsContext& context, const QRectF& rect, const QImage& image);
};

} // namespace imaging
