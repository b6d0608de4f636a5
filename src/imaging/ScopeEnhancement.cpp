// CameraScope: the per-frame enhancement and the choice of level and window.

#include "imaging/CameraScope.h"

#include <cmath>
#include <cstring>
#include <limits>

#include <QColorSpace>

#include "platform/camera/PixelBuffer.h"
#include "platform/camera/SampleBuffer.h"
#include "platform/core/Log.h"

namespace imaging {

static_assert(std::atomic<pixel>::is_always_lock_free, "imageLight must be one lock-free 32-bit atomic");

namespace {

// Truncation toward zero that never overflows: NaN gives 0, out-of-range values the nearest bound.
std::int32_t truncateToInt32(float value)
{
    if (std::isnan(value))
        return 0;
    if (value >= 2147483648.0f)
        return std::numeric_limits<std::int32_t>::max();
    if (value <= -2147483648.0f)
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

std::size_t truncateToSize(float value)
{
    if (!(value > 0.0f)) // negative, zero or NaN
        return 0;
    if (value >= 9223372036854775808.0f)
        return std::size_t { 1 } << 63;
    return static_cast<std::size_t>(value);
}

QImage copyFrame(const std::uint8_t* base, std::size_t width, std::size_t height, std::size_t bytesPerRow,
                 const QColorSpace& colorSpace)
{
    constexpr auto kMaxSide = static_cast<std::size_t>(std::numeric_limits<int>::max());
    if (width > kMaxSide / 4 || height > kMaxSide)
        return {};
    QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    for (std::size_t y = 0; y < height; ++y)
        std::memcpy(image.scanLine(static_cast<int>(y)), base + y * bytesPerRow, 4 * width);
    image.setColorSpace(colorSpace);
    return image;
}

} // namespace

const QColorSpace* CameraScope::sharedColorSpace()
{
    static const QColorSpace colorSpace(QColorSpace::SRgb); // made once, thread-safe
    return colorSpace.isValid() ? &colorSpace : nullptr;
}

std::int32_t CameraScope::levelForMode(std::int32_t mode, std::int32_t current, std::int32_t imageLevel,
                                       std::int32_t threshold)
{
    if (mode < NightVisionMode::Auto)
        return 0;
    if (mode > NightVisionMode::Auto)
        return current;
    if (imageLevel >= threshold)
        return 0;
    const float ratio = static_cast<float>(imageLevel) / static_cast<float>(threshold);
    // Two single-precision roundings, as the level table was tuned with: the volatile keeps the
    // compiler from fusing the multiply and the add, which would change results near integers.
    const volatile float scaled = ratio * -80.0f;
    return truncateToInt32(scaled + 80.0f);
}

std::size_t CameraScope::previewRadius(std::int32_t scaledRadius, float zoom)
{
    return truncateToSize(static_cast<float>(scaledRadius) * (1.0f - zoom));
}

FrameWindow CameraScope::previewWindow(std::size_t width, std::size_t height, std::int32_t scaledRadius,
                                       float zoom)
{
    const std::size_t rad = previewRadius(scaledRadius, zoom);
    const std::size_t cx = width / 2;
    const std::size_t cy = height / 2;
    FrameWindow window;
    window.x0 = cx > rad ? cx - rad : 0;
    window.y0 = cy > rad ? cy - rad : 0;
    window.x1 = rad >= width - cx ? width : cx + rad;
    window.y1 = rad >= height - cy ? height : cy + rad;
    return window;
}

bool CameraScope::processFrame(platform::PixelBuffer& buffer, bool isPreview)
{
    std::uint8_t* const base = buffer.baseAddress();
    const std::size_t width = buffer.width();
    const std::size_t height = buffer.height();
    const std::size_t bytesPerRow = buffer.bytesPerRow();

    if (!sharedColorSpace())
        return false;

    const std::int32_t level = levelForMode(scopeNightVisionMode(), scopeNightVisionLevel(), scopeImageLevel(),
                                            scopeNightVisionThread());
    setScopeNightVisionLevel(level);

    const FrameWindow window = isPreview ? previewWindow(width, height, scopeScreenScaledRadius(), zoomValue())
                                         : FrameWindow { 0, 0, width, height };
    if (!isPreview && level == 0) {
        // A bright enough scene: the photo is saved as the camera took it, without a tint.
        platform::log(platform::lcScope(), "Just Take Picture!!!");
    } else {
        const ChannelSums sums
            = FrameEnhancer::enhance(base, bytesPerRow, window, level, scopeNightVisionColorFilter());
        if (isPreview)
            storeMeasurement(sums, window.pixelCount());
    }
    return true;
}

QImage CameraScope::quartzImageFromSampleBuffer(platform::SampleBuffer& sampleBuffer, bool isPreview)
{
    platform::PixelBuffer& buffer = sampleBuffer.imageBuffer();
    platform::PixelBuffer::ScopedLock lock(buffer);
    if (!processFrame(buffer, isPreview))
        return {};
    const std::size_t width = buffer.width();
    const std::size_t height = buffer.height();
    QImage image = copyFrame(buffer.baseAddress(), width, height, buffer.bytesPerRow(), *sharedColorSpace());
    if (image.isNull())
        platform::log(platform::lcScope(), "Cannot make an image of a %zu x %zu frame", width, height);
    return image;
}

std::unique_ptr<ScopeImage> CameraScope::previewImageFromSampleBuffer(platform::SampleBuffer& sampleBuffer)
{
    platform::PixelBuffer& buffer = sampleBuffer.imageBuffer();
    platform::PixelBuffer::ScopedLock lock(buffer);
    if (!processFrame(buffer, true))
        return nullptr;
    const std::size_t width = buffer.width();
    const std::size_t height = buffer.height();
    constexpr auto kMaxSide = static_cast<std::size_t>(std::numeric_limits<int>::max());
    if (width > kMaxSide / 4 || height > kMaxSide)
        return nullptr;
    // The square the drawing crops at zoom 0 holds every crop of a smaller zoom.
    const FrameWindow region = previewWindow(width, height, scopeScreenScaledRadius(), 0.0f);
    auto image = std::make_unique<ScopeImage>();
    image->frameSize = QSize(static_cast<int>(width), static_cast<int>(height));
    image->origin = QPoint(static_cast<int>(region.x0), static_cast<int>(region.y0));
    if (!region.isEmpty()) {
        const std::uint8_t* first = buffer.baseAddress() + region.y0 * buffer.bytesPerRow() + 4 * region.x0;
        image->pixels = copyFrame(first, region.x1 - region.x0, region.y1 - region.y0, buffer.bytesPerRow(),
                                  *sharedColorSpace());
        if (image->pixels.isNull()) {
            platform::log(platform::lcScope(), "Cannot make an image of a %zu x %zu frame", width, height);
            return nullptr;
        }
    }
    return image;
}

void CameraScope::storeMeasurement(const ChannelSums& sums, std::size_t pixelCount)
{
    pixel light;
    if (pixelCount > 0) {
        light.b = static_cast<std::uint8_t>(sums.b / pixelCount);
        light.g = static_cast<std::uint8_t>(sums.g / pixelCount);
        light.r = static_cast<std::uint8_t>(sums.r / pixelCount);
    }
    m_imageLight.store(light, std::memory_order_relaxed);
    setScopeImageLevel(std::int32_t { light.r } + light.g + light.b);
}

} // namespace imaging
