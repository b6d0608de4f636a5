#pragma once

// Cropping an image, the platform's way: `rect` is in image pixels (origin at the first row's
// first pixel), widened to whole pixels and clipped to the image. An empty result, a rectangle
// fully outside the image, a non-finite rectangle or a null image give a null QImage.
// Any thread (pure function).

#include <QImage>
#include <QRectF>

namespace platform {

QImage createImageWithImageInRect(const QImage& image, const QRectF& rect);

} // namespace platform
