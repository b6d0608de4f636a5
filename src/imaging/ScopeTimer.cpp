// CameraScope: the 60 Hz timer thread and its tick.

#include "imaging/CameraScope.h"

#include <chrono>

#include "platform/core/Log.h"

namespace imaging {

void CameraScope::startTimerThread()
{
    const auto interval = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::duration<double>(static_cast<double>(kTickInterval)));
    m_timerThread.start(interval, [this] { timerTick(); }, "timerThread");
}

float CameraScope::aspectFillScale(float width, float height, float screenScale, int frameWidth, int frameHeight)
{
    if (!(width > 0.0f && height > 0.0f && screenScale > 0.0f) || frameWidth <= 0 || frameHeight <= 0)
        return 0.0f;
    // Frames are landscape and the preview upright, so the sides cross.
    const float sH = height * screenScale / static_cast<float>(frameWidth);
    const float sW = width * screenScale / static_cast<float>(frameHeight);
    return sH < sW ? sW : sH;
}

void CameraScope::timerTick()
{
    const std::uint32_t count = m_tickCount.load(std::memory_order_relaxed);
    if (count % kOverlayTickDivisor == 0)
        m_scopeGridLayer->setNeedsDisplay();
    m_tickCount.store(count + 1, std::memory_order_relaxed); // unsigned: wraps to 0 after 2^32 - 1

    if (!m_qImage.isFull())
        return;
    // Also when the picture's size is not the one the geometry was made for: a frame taken before
    // a preset change may be the first one a tick finds after it, and a scale fitted to that
    // frame would otherwise stay until the next change.
    if (previewScale() == 0.0f || m_frameWidth.load(std::memory_order_relaxed) != m_geometryFrameWidth
        || m_frameHeight.load(std::memory_order_relaxed) != m_geometryFrameHeight)
        recomputeGeometry();
    m_scopeImageLayer->setNeedsDisplay();
}

void CameraScope::recomputeGeometry()
{
    const float scale = aspectFillScale(m_previewWidth.load(std::memory_order_relaxed),
                                        m_previewHeight.load(std::memory_order_relaxed), screenScale(),
                                        m_frameWidth.load(std::memory_order_relaxed),
                                        m_frameHeight.load(std::memory_order_relaxed));
    if (scale <= 0.0f)
        return; // nothing to fit yet; the next tick tries again
    m_geometryFrameWidth = m_frameWidth.load(std::memory_order_relaxed);
    m_geometryFrameHeight = m_frameHeight.load(std::memory_order_relaxed);
    setScopeScreenScaledRadius(static_cast<std::int32_t>(static_cast<float>(scopeScreenRadius()) / scale));
    m_previewScale.store(scale, std::memory_order_relaxed);
    platform::log(platform::lcScope(), "Preview Scale %f", static_cast<double>(scale));
}

} // namespace imaging
