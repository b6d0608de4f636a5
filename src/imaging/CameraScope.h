#pragma once

// The lowest class of the camera screen controller: the night-vision settings and measurements
// and the per-frame enhancement. Later classes of the chain add the capture session, the frame
// slot, the timer and the scope drawing; the screen at the top implements the protected hooks
// (level slider, zoom slider, click sound, overlay redraw).
//
// Threads:
// - quartzImageFromSampleBuffer: the frame queue ("myQueue") for previews, the camera's still
//   delivery thread for stills. A still call may overlap a preview call.
// - enlightChange, colorSpaceChange, sliderNVAction, sliderNVFinish: the main thread.
// - The field accessors: any thread. Each field is a relaxed atomic of its own width, read and
//   written whole; a reader may see a value one frame old.

#include <atomic>
#include <cstddef>
#include <cstdint>

#include <QImage>

#include "imaging/ColorFilter.h"
#include "imaging/FrameEnhancer.h"
#include "imaging/NightVisionMode.h"
#include "imaging/Pixel.h"

class QColorSpace;

namespace platform {
class SampleBuffer;
}

namespace imaging {

class CameraScope {
public:
    static constexpr int kClickSound = 1104;

    CameraScope() = default;
    virtual ~CameraScope() = default;
    CameraScope(const CameraScope&) = delete;
    CameraScope& operator=(const CameraScope&) = delete;

    // Chooses the level, brightens and tints the frame's pixels in place (the scope window for a
    // preview, the whole frame for a still), measures the window of a preview, and returns a copy
    // of the whole processed frame (Format_ARGB32_Premultiplied, the shared colour space). A null
    // image means no image could be made; the frame's pixels may have been processed anyway.
    QImage quartzImageFromSampleBuffer(platform::SampleBuffer& sampleBuffer, bool isPreview);

    // "Enlight" chooser: 0 Auto, 1 Manual, 2 Off; any other item changes no setting.
    void enlightChange(int item);
    // "Color" chooser: the item becomes the colour filter.
    void colorSpaceChange(int item);
    // The level slider moved: in manual mode the level follows it, truncated toward zero.
    void sliderNVAction(float value);
    // The level slider was let go: it comes to rest, animated, on the integer level.
    void sliderNVFinish();

    std::int32_t scopeNightVisionMode() const { return m_scopeNightVisionMode.load(std::memory_order_relaxed); }
    void setScopeNightVisionMode(std::int32_t mode) { m_scopeNightVisionMode.store(mode, std::memory_order_relaxed); }
    // Gain level: (level + 8) / 8 for 1 and above, no gain for 0 and below.
    std::int32_t scopeNightVisionLevel() const { return m_scopeNightVisionLevel.load(std::memory_order_relaxed); }
    void setScopeNightVisionLevel(std::int32_t level) { m_scopeNightVisionLevel.store(level, std::memory_order_relaxed); }
    // Brightness threshold of the automatic mode (sum of the three channel means).
    std::int32_t scopeNightVisionThread() const { return m_scopeNightVisionThread.load(std::memory_order_relaxed); }
    void setScopeNightVisionThread(std::int32_t threshold) { m_scopeNightVisionThread.store(threshold, std::memory_order_relaxed); }
    std::int32_t scopeNightVisionColorFilter() const { return m_scopeNightVisionColorFilter.load(std::memory_order_relaxed); }
    void setScopeNightVisionColorFilter(std::int32_t filter) { m_scopeNightVisionColorFilter.store(filter, std::memory_order_relaxed); }
    // Last measured preview brightness, 0 to 765: imageLight.r + imageLight.g + imageLight.b.
    std::int32_t scopeImageLevel() const { return m_scopeImageLevel.load(std::memory_order_relaxed); }
    void setScopeImageLevel(std::int32_t level) { m_scopeImageLevel.store(level, std::memory_order_relaxed); }
    // Channel means of the last measured preview window; a is unused (0).
    pixel imageLight() const { return m_imageLight.load(std::memory_order_relaxed); }
    // Half the side of the preview window in frame pixels at zoom 0.
    std::int32_t scopeScreenScaledRadius() const { return m_scopeScreenScaledRadius.load(std::memory_order_relaxed); }
    void setScopeScreenScaledRadius(std::int32_t radius) { m_scopeScreenScaledRadius.store(radius, std::memory_order_relaxed); }

    // The level a frame uses: 0 in mode Off (and below), computed from the last measured
    // brightness in mode Auto (80 for black, 0 at or above the threshold), `current` otherwise.
    static std::int32_t levelForMode(std::int32_t mode, std::int32_t current, std::int32_t imageLevel,
                                     std::int32_t threshold);
    // The preview window: a square of half-side trunc(radius × (1 - zoom)) around the frame's
    // integer centre, clamped to the frame.
    static FrameWindow previewWindow(std::size_t width, std::size_t height, std::int32_t scaledRadius, float zoom);
    // The device RGB colour space of every result image, made on first use; null if it cannot be
    // made. Any thread.
    static const QColorSpace* sharedColorSpace();

protected:
    // Screen hooks. The defaults keep a minimal model: the slider's state is stored, the zoom is
    // 0, sounds and redraws do nothing. Main thread, except zoomValue (frame queue, per frame).
    virtual void setLevelSliderHidden(bool hidden) { m_levelSliderHidden = hidden; }
    virtual void setLevelSliderValue(float value, bool animated);
    virtual float levelSliderValue() const { return m_levelSliderValue; }
    virtual float zoomValue() const { return 0.0f; }
    virtual void playSystemSound(int soundId) { static_cast<void>(soundId); }
    virtual void requestOverlayRedraw() { }

    bool isLevelSliderHidden() const { return m_levelSliderHidden; }

private:
    void storeMeasurement(const ChannelSums& sums, std::size_t pixelCount);

    std::atomic<std::int32_t> m_scopeNightVisionMode { NightVisionMode::Auto };
    std::atomic<std::int32_t> m_scopeNightVisionLevel { 0 };
    std::atomic<std::int32_t> m_scopeNightVisionThread { 100 };
    std::atomic<std::int32_t> m_scopeNightVisionColorFilter { ColorFilter::None };
    std::atomic<std::int32_t> m_scopeImageLevel { 0 };
    std::atomic<pixel> m_imageLight { pixel {} };
    std::atomic<std::int32_t> m_scopeScreenScaledRadius { 0 };

    // The minimal level-slider model (main thread).
    bool m_levelSliderHidden { true };
    float m_levelSliderValue { 0.0f };
};

} // namespace imaging
