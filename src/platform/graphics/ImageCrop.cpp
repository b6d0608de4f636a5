#include "platform/graphics/ImageCrop.h"

#include <algorithm>
#include <cmath>

namespace platform {

QImage createImageWithImageInRect(const QImage& image, const QRectF& rect)
{
    if (image.isNull())
        return {};
    const QRectF r = rect.normalized();
    if (!std::isfinite(r.x()) || !std::isfinite(r.y()) || !std::isfinite(r.width())
        || !std::isfinite(r.height()))
        return {};
    // Whole pixels covering the rectangle, clamped in floating point before any narrowing so a
    // huge rectangle cannot overflow.
    const double x0 = std::clamp(std::floor(r.left()), 0.0, double(image.width()));
    const double y0 = std::clamp(std::floor(r.top()), 0.0, double(image.height()));
    const double x1 = std::clamp(std::ceil(r.right()), 0.0, double(image.width()));
    const double y1 = std::clamp(std::ceil(r.bottom()), 0.0, double(image.height()));
    if (r.isEmpty() || x1 <= x0 || y1 <= y0)
        return {};
    return image.copy(int(x0), int(y0), int(x1 - x0), int(y1 - y0));
}

} // namespace platform
