#include "imaging/FramePipeline.h"

#include <chrono>
#include <cstring>
#include <limits>
#include <utility>

#include <QColorSpace>

#include "imaging/ScopeGeometry.h"
#include "imaging/ScopeSettings.h"
#include "platform/camera/CaptureSession.h"
#include "platform/camera/PixelBuffer.h"
#include "platform/camera/SampleBuffer.h"
#include "platform/core/Log.h"

namespace imaging {

static_assert(std::atomic<pixel>::is_always_lock_free, "imageLight must be one lock-free 32-bit atomic");

namespace {

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

FramePipeline::FramePipeline(ScopeSettings& settings, ScopeGeometry& geometry)
    : m_settings(settings)
    , m_geometry(geometry)
{
}

FramePipeline::~FramePipeline()
{
    shutdown();
}

void FramePipeline::shutdown()
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    m_timerThread.stop();
    m_qImage.take();
}

void FramePipeline::setSession(std::shared_ptr<platform::CaptureSession> session)
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    m_frameQueue.detach(); // a new session delivers on a queue of its own
    m_session = std::move(session);
}

const QColorSpace* FramePipeline::sharedColorSpace()
{
    static const QColorSpace colorSpace(QColorSpace::SRgb); // made once, thread-safe
    return colorSpace.isValid() ? &colorSpace : nullptr;
}

bool FramePipeline::processFrame(platform::PixelBuffer& buffer, bool isPreview)
{
    std::uint8_t* const base = buffer.baseAddress();
    const std::size_t width = buffer.width();
    const std::size_t height = buffer.height();
    const std::size_t bytesPerRow = buffer.bytesPerRow();

    if (!sharedColorSpace())
        return false;

    const std::int32_t level = stillLevel();
    m_settings.setScopeNightVisionLevel(level);

    const FrameWindow window = isPreview
        ? ScopeGeometry::previewWindow(width, height, m_geometry.scopeScreenScaledRadius(), m_settings.zoom())
        : FrameWindow { 0, 0, width, height };
    const std::int32_t colorFilter = m_settings.scopeNightVisionColorFilter();
    if (isPreview) {
        const bool nightMode = m_settings.isNightMode();
        if (nightMode && !m_nightModeWasOn)
            m_denoiser.reset(); // what it averaged before night mode went off is long gone
        m_nightModeWasOn = nightMode;
        if (nightMode) {
            // One pass over the window: the filter and the gain share each pixel's read and write.
            storeMeasurement(m_denoiser.filterAndEnhance(base, bytesPerRow, window, level, colorFilter),
                window.pixelCount());
            return true;
        }
    }
    if (!isPreview && level == 0) {
        // A bright enough scene: the photo is saved as the camera took it, without a tint.
        platform::log(platform::lcScope(), "Just Take Picture!!!");
    } else {
        const ChannelSums sums = FrameEnhancer::enhance(base, bytesPerRow, window, level, colorFilter);
        if (isPreview)
            storeMeasurement(sums, window.pixelCount());
    }
    return true;
}

std::int32_t FramePipeline::stillLevel() const
{
    return ScopeSettings::levelForMode(m_settings.scopeNightVisionMode(), m_settings.scopeNightVisionLevel(),
        scopeImageLevel(), m_settings.scopeNightVisionThread());
}

void FramePipeline::setVideoSink(std::shared_ptr<VideoFrameSink> sink)
{
    std::shared_ptr<VideoFrameSink> old;
    {
        const std::lock_guard lock(m_videoSinkMutex);
        old = std::exchange(m_videoSink, std::move(sink));
        if (m_videoSink)
            m_droppedVideoFrames.store(0, std::memory_order_relaxed);
    }
    // `old` goes here, outside the lock; a frame being written holds its own reference.
}

void FramePipeline::recordFrame(VideoFrameSink& sink, platform::SampleBuffer& frame)
{
    platform::PixelBuffer& buffer = frame.imageBuffer();
    platform::PixelBuffer::ScopedLock lock(buffer);
    const std::uint8_t* const source = buffer.baseAddress();
    const std::size_t width = buffer.width();
    const std::size_t height = buffer.height();
    const std::size_t sourceStride = buffer.bytesPerRow();
    const std::int32_t level = stillLevel();
    const std::int32_t colorFilter = m_settings.scopeNightVisionColorFilter();
    const bool nightMode = m_settings.isNightMode();
    if (nightMode && !m_videoNightModeWasOn)
        m_videoDenoiser.reset();
    m_videoNightModeWasOn = nightMode;

    const bool written = sink.writeFrame(width, height, [&](std::uint8_t* pixels, std::size_t bytesPerRow) {
        for (std::size_t y = 0; y < height; ++y)
            std::memcpy(pixels + y * bytesPerRow, source + y * sourceStride, 4 * width);
        const FrameWindow whole { 0, 0, width, height };
        // As a still: a scene bright enough for level 0 keeps its colours, untinted.
        if (nightMode && level > 0)
            m_videoDenoiser.filterAndEnhance(pixels, bytesPerRow, whole, level, colorFilter);
        else if (nightMode)
            m_videoDenoiser.filter(pixels, bytesPerRow, whole);
        else if (level > 0)
            FrameEnhancer::enhance(pixels, bytesPerRow, whole, level, colorFilter);
    });
    if (!written)
        m_droppedVideoFrames.fetch_add(1, std::memory_order_relaxed);
}

QImage FramePipeline::quartzImageFromSampleBuffer(platform::SampleBuffer& sampleBuffer, bool isPreview)
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

std::unique_ptr<ScopeImage> FramePipeline::previewImageFromSampleBuffer(platform::SampleBuffer& sampleBuffer)
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
    const FrameWindow region
        = ScopeGeometry::previewWindow(width, height, m_geometry.scopeScreenScaledRadius(), 0.0f);
    auto image = std::make_unique<ScopeImage>();
    image->frameSize = QSize(static_cast<int>(width), static_cast<int>(height));
    image->origin = QPoint(static_cast<int>(region.x0), static_cast<int>(region.y0));
    if (!region.isEmpty()) {
        const std::uint8_t* first = buffer.baseAddress() + region.y0 * buffer.bytesPerRow() + 4 * region.x0;
        image->pixels = copyFrame(
            first, region.x1 - region.x0, region.y1 - region.y0, buffer.bytesPerRow(), *sharedColorSpace());
        if (image->pixels.isNull()) {
            platform::log(platform::lcScope(), "Cannot make an image of a %zu x %zu frame", width, height);
            return nullptr;
        }
    }
    return image;
}

void FramePipeline::storeMeasurement(const ChannelSums& sums, std::size_t pixelCount)
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

void FramePipeline::captureOutput(
    platform::VideoDataOutput&, platform::SampleBuffer& frame, platform::CaptureConnection&)
{
    LUMIVUE_CHECK_THREAD(m_frameQueue);
    std::shared_ptr<VideoFrameSink> videoSink;
    {
        const std::lock_guard lock(m_videoSinkMutex);
        videoSink = m_videoSink;
    }
    if (videoSink)
        recordFrame(*videoSink, frame); // before the preview enhances its window in place
    if (m_qImage.isFull() || isTakingPicture()) {
        // The previous picture is not drawn yet, or a photo is being taken: drop, unprocessed.
        m_droppedFrames.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    std::unique_ptr<ScopeImage> image = previewImageFromSampleBuffer(frame);
    if (image) {
        m_geometry.noteFrameSize(image->frameSize.width(), image->frameSize.height());
        if (m_qImage.fill(std::move(image))) // only this queue fills, so this cannot happen
            m_droppedFrames.fetch_add(1, std::memory_order_relaxed);
    }
    if (!m_session || !m_session->isRunning())
        m_qImage.take(); // a stopped preview holds no picture
}

void FramePipeline::startTimerThread()
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    const auto interval = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::duration<double>(static_cast<double>(kTickInterval)));
    m_timerThread.start(
        interval, [this] { timerTick(); }, "timerThread");
}

void FramePipeline::timerTick()
{
    const std::uint32_t count = m_tickCount.load(std::memory_order_relaxed);
    if (count % kOverlayTickDivisor == 0)
        emit overlayRedrawDue();
    m_tickCount.store(count + 1, std::memory_order_relaxed); // unsigned: wraps to 0 after 2^32 - 1

    if (!m_qImage.isFull())
        return;
    m_geometry.refresh();
    emit pictureRedrawDue();
}

} // namespace imaging
