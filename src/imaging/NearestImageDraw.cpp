#include "imaging/NearestImageDraw.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include <QTransform>

#include "imaging/GraphicsContext.h"

namespace imaging {

namespace {

constexpr double kLargestSide = 16384; // device pixels; larger targets take the painter's path

// A quarter turn given in single precision leaves cosines of about 4e-8: far below a pixel over
// any image this draws, so such entries count as zero.
bool isNearlyZero(double entry, const QTransform& m)
{
    const double magnitude
        = std::max({ std::abs(m.m11()), std::abs(m.m12()), std::abs(m.m21()), std::abs(m.m22()) });
    return std::abs(entry) <= 1e-6 * magnitude;
}

bool isQuarterTurnAligned(const QTransform& m)
{
    const bool straight = isNearlyZero(m.m12(), m) && isNearlyZero(m.m21(), m);
    const bool turned = isNearlyZero(m.m11(), m) && isNearlyZero(m.m22(), m);
    return (straight || turned) && m.isAffine();
}

} // namespace

void NearestImageDraw::draw(GraphicsContext& context, const QRectF& rect, const QImage& source)
{
    const QRectF target = rect.normalized();
    if (source.isNull() || target.isEmpty())
        return;
    // Image pixel (u, v) → user space (the context's placement) → device pixels.
    const QTransform placement(target.width() / source.width(), 0, 0, -target.height() / source.height(),
        target.x(), target.bottom());
    const QTransform toDevice = placement * context.getCTM();
    bool invertible = false;
    const QTransform toImage = toDevice.inverted(&invertible);
    if (!invertible || !isQuarterTurnAligned(toDevice)) {
        context.setInterpolationQuality(GraphicsContext::InterpolationQuality::None);
        context.drawImage(rect, source);
        return;
    }

    // The device pixels whose centres fall inside the image, clipped to the context's clip.
    const QTransform userToDevice = context.getCTM();
    const QRectF clip = userToDevice.mapRect(context.clipBoundingBox());
    const QRectF covered = toDevice.mapRect(QRectF(0, 0, source.width(), source.height())).intersected(clip);
    const double left = std::ceil(covered.left() - 0.5);
    const double top = std::ceil(covered.top() - 0.5);
    const double right = std::ceil(covered.right() - 0.5);
    const double bottom = std::ceil(covered.bottom() - 0.5);
    if (!(right > left && bottom > top) || right - left > kLargestSide || bottom - top > kLargestSide)
        return;
    const int width = int(right - left);
    const int height = int(bottom - top);

    const QImage image = source.format() == QImage::Format_ARGB32_Premultiplied
        ? source
        : source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage picked(width, height, QImage::Format_ARGB32_Premultiplied);
    if (picked.isNull())
        return;
    const int iw = image.width();
    const int ih = image.height();
    const auto sampleIndex
        = [](double coordinate, int size) { return std::clamp(int(std::floor(coordinate)), 0, size - 1); };
    // The map is axis-aligned, so each device column picks one image coordinate and each device
    // row the other; both are tabulated once.
    const bool turned = isNearlyZero(toImage.m11(), toImage);
    std::vector<int> columnPick(std::size_t(width), 0);
    std::vector<int> rowPick(std::size_t(height), 0);
    for (int i = 0; i < width; ++i) {
        const QPointF p = toImage.map(QPointF(left + i + 0.5, top + 0.5));
        columnPick[std::size_t(i)] = turned ? sampleIndex(p.y(), ih) : sampleIndex(p.x(), iw);
    }
    for (int j = 0; j < height; ++j) {
        const QPointF p = toImage.map(QPointF(left + 0.5, top + j + 0.5));
        rowPick[std::size_t(j)] = turned ? sampleIndex(p.x(), iw) : sampleIndex(p.y(), ih);
    }
    if (!turned) {
        for (int j = 0; j < height; ++j) {
            auto* out = reinterpret_cast<std::uint32_t*>(picked.scanLine(j));
            const auto* in
                = reinterpret_cast<const std::uint32_t*>(image.constScanLine(rowPick[std::size_t(j)]));
            for (int i = 0; i < width; ++i)
                out[i] = in[columnPick[std::size_t(i)]];
        }
    } else {
        // Device rows walk down image columns: one image row pointer per device column.
        std::vector<const std::uint32_t*> rows(std::size_t(width), nullptr);
        for (int i = 0; i < width; ++i)
            rows[std::size_t(i)]
                = reinterpret_cast<const std::uint32_t*>(image.constScanLine(columnPick[std::size_t(i)]));
        for (int j = 0; j < height; ++j) {
            auto* out = reinterpret_cast<std::uint32_t*>(picked.scanLine(j));
            const int u = rowPick[std::size_t(j)];
            for (int i = 0; i < width; ++i)
                out[i] = rows[std::size_t(i)][u];
        }
    }

    // Draw the picked pixels one to one: user space = device space, flipped so that the first
    // row lands at the top.
    context.saveGState();
    context.concatCTM(userToDevice.inverted());
    context.concatCTM(QTransform(1, 0, 0, -1, 0, top + bottom));
    context.setInterpolationQuality(GraphicsContext::InterpolationQuality::None);
    context.drawImage(QRectF(left, top, width, height), picked);
    context.restoreGState();
}

} // namespace imaging
