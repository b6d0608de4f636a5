#include "imaging/ScopeGeometry.h"

#include <algorithm>
#include <cmath>

#include "platform/core/Log.h"

namespace imaging {

namespace {

std::size_t truncateToSize(float value)
{
    if (!(value > 0.0f)) // negative, zero or NaN
        return 0;
    if (value >= 9223372036854775808.0f)
        return std::size_t { 1 } << 63;
    return static_cast<std::size_t>(value);
}

} // namespace

void ScopeGeometry::setup(float mainScreenScale, bool tablet, std::int32_t largestSide)
{
    float scale = mainScreenScale;
    if (!(std::isfinite(scale) && scale > 0.0f))
        scale = 1.0f;
    m_screenScale.store(scale, std::memory_order_relaxed);
    // A window smaller than the device class's screen gets a scope that fits it.
    const std::int32_t radius = std::clamp(largestSide / 2, 1, tablet ? 300 : 100);
    m_scopePixelRadius.store(radius, std::memory_order_relaxed);
    m_scopePixelSize.store(2 * radius, std::memory_order_relaxed);
    m_scopeScreenRadius.store(
        static_cast<std::int32_t>(static_cast<float>(radius) * scale), std::memory_order_relaxed);
}

void ScopeGeometry::setPreviewSize(QSizeF points)
{
    m_previewWidth.store(float(points.width()), std::memory_order_relaxed);
    m_previewHeight.store(float(points.height()), std::memory_order_relaxed);
}

void ScopeGeometry::guessScaledRadius(float contentsScale)
{
    setScopeScreenScaledRadius(
        static_cast<std::int32_t>(static_cast<float>(scopeScreenRadius()) * contentsScale));
}

void ScopeGeometry::noteFrameSize(int width, int height)
{
    m_frameWidth.store(width, std::memory_order_relaxed);
    m_frameHeight.store(height, std::memory_order_relaxed);
}

void ScopeGeometry::refresh()
{
    // Also when the picture's size is not the one the geometry was made for: a frame taken before
    // a preset change may be the first one a tick finds after it, and a scale fitted to that
    // frame would otherwise stay until the next change.
    if (previewScale() == 0.0f || m_frameWidth.load(std::memory_order_relaxed) != m_geometryFrameWidth
        || m_frameHeight.load(std::memory_order_relaxed) != m_geometryFrameHeight)
        recompute();
}

void ScopeGeometry::recompute()
{
    const int frameWidth = m_frameWidth.load(std::memory_order_relaxed);
    const int frameHeight = m_frameHeight.load(std::memory_order_relaxed);
    const float scale = aspectFillScale(m_previewWidth.load(std::memory_order_relaxed),
        m_previewHeight.load(std::memory_order_relaxed), screenScale(), frameWidth, frameHeight);
    if (scale <= 0.0f)
        return; // nothing to fit yet; the next tick tries again
    m_geometryFrameWidth = frameWidth;
    m_geometryFrameHeight = frameHeight;
    setScopeScreenScaledRadius(static_cast<std::int32_t>(static_cast<float>(scopeScreenRadius()) / scale));
    m_previewScale.store(scale, std::memory_order_relaxed);
    platform::log(platform::lcScope(), "Preview Scale %f", static_cast<double>(scale));
}

float ScopeGeometry::aspectFillScale(
    float width, float height, float screenScale, int frameWidth, int frameHeight)
{
    if (!(width > 0.0f && height > 0.0f && screenScale > 0.0f) || frameWidth <= 0 || frameHeight <= 0)
        return 0.0f;
    // Frames are landscape and the preview upright, so the sides cross.
    const float byHeight = height * screenScale / static_cast<float>(frameWidth);
    const float byWidth = width * screenScale / static_cast<float>(frameHeight);
    return byHeight < byWidth ? byWidth : byHeight;
}

std::size_t ScopeGeometry::previewRadius(std::int32_t scaledRadius, float zoom)
{
    return truncateToSize(static_cast<float>(scaledRadius) * (1.0f - zoom));
}

FrameWindow ScopeGeometry::previewWindow(
    std::size_t width, std::size_t height, std::int32_t scaledRadius, float zoom)
{
    const std::size_t radius = previewRadius(scaledRadius, zoom);
    const std::size_t cx = width / 2;
    const std::size_t cy = height / 2;
    FrameWindow window;
    window.x0 = cx > radius ? cx - radius : 0;
    window.y0 = cy > radius ? cy - radius : 0;
    window.x1 = radius >= width - cx ? width : cx + radius;
    window.y1 = radius >= height - cy ? height : cy + radius;
    return window;
}

} // namespace imaging
