#include "imaging/ScopeImage.h"

#include <algorithm>
#include <cmath>

namespace imaging {

QImage ScopeImage::crop(const QRectF& frameRect) const
{
    if (pixels.isNull())
        return {};
    const QRectF r = frameRect.normalized();
    if (r.isEmpty() || !std::isfinite(r.left()) || !std::isfinite(r.top()) || !std::isfinite(r.right())
        || !std::isfinite(r.bottom()))
        return {};
    // Into this image's pixels, clamped in floating point before narrowing.
    const double w = pixels.width();
    const double h = pixels.height();
    const double x0 = std::clamp(std::floor(r.left()) - origin.x(), 0.0, w);
    const double y0 = std::clamp(std::floor(r.top()) - origin.y(), 0.0, h);
    const double x1 = std::clamp(std::ceil(r.right()) - origin.x(), 0.0, w);
    const double y1 = std::clamp(std::ceil(r.bottom()) - origin.y(), 0.0, h);
    if (x1 <= x0 || y1 <= y0)
        return {};
    const uchar* first = pixels.constScanLine(int(y0)) + 4 * int(x0);
    return QImage(first, int(x1 - x0), int(y1 - y0), pixels.bytesPerLine(), pixels.format());
}

} // namespace imaging
