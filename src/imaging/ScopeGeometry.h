#pragma once

// The size and place of the scope: the screen scale, the scope's radius and square in points
// and device pixels, the aspect-fill scale of the live preview, and the half side of the window
// of the camera frame that the scope shows.
//
// Units: "points" are screen points, "device pixels" are points × screenScale, "frame pixels"
// are pixels of the camera's landscape frames.
//
// Threads: setup, setPreviewSize and guessScaledRadius on the main thread before the frame queue
// and the timer run; invalidate on the main thread; noteFrameSize on the frame queue; refresh on
// the ticking thread only. Every accessor on any thread: each field is a relaxed atomic of its
// own width, read and written whole, and a reader may see a value one frame old.

#include <atomic>
#include <cstddef>
#include <cstdint>

#include <QSizeF>

#include "imaging/FrameEnhancer.h"

namespace imaging {

class ScopeGeometry {
public:
    ScopeGeometry() = default;
    ScopeGeometry(const ScopeGeometry&) = delete;
    ScopeGeometry& operator=(const ScopeGeometry&) = delete;

    // screenScale (a scale that is not a positive number counts as 1), scopePixelRadius (300
    // tablet, 100 phone, less when the scope's side may be no larger than `largestSide` points),
    // scopePixelSize, scopeScreenRadius.
    void setup(float mainScreenScale, bool tablet, std::int32_t largestSide = 600);
    // The preview view's size in points, which the aspect fill fits the frames to.
    void setPreviewSize(QSizeF points);
    // A first guess of the scaled radius before any frame has come, from the live preview layer's
    // contents scale; the first tick with a picture corrects it.
    void guessScaledRadius(float contentsScale);
    // The next refresh that finds a picture recomputes previewScale and the scaled radius.
    void invalidate() { m_previewScale.store(0.0f, std::memory_order_relaxed); }
    // The size of the frame whose picture is about to go into the slot.
    void noteFrameSize(int width, int height);
    // Recomputes the scale and the scaled radius when they are stale: never computed, invalidated,
    // or made for a frame of another size. Nothing changes while nothing can be fitted.
    void refresh();

    float screenScale() const { return m_screenScale.load(std::memory_order_relaxed); }
    // Device pixels per frame pixel under aspect fill; 0 until recomputed.
    float previewScale() const { return m_previewScale.load(std::memory_order_relaxed); }
    std::int32_t scopePixelRadius() const { return m_scopePixelRadius.load(std::memory_order_relaxed); }
    std::int32_t scopePixelSize() const { return m_scopePixelSize.load(std::memory_order_relaxed); }
    std::int32_t scopeScreenRadius() const { return m_scopeScreenRadius.load(std::memory_order_relaxed); }
    // Half the side of the preview window in frame pixels at zoom 0.
    std::int32_t scopeScreenScaledRadius() const
    {
        return m_scopeScreenScaledRadius.load(std::memory_order_relaxed);
    }
    void setScopeScreenScaledRadius(std::int32_t radius)
    {
        m_scopeScreenScaledRadius.store(radius, std::memory_order_relaxed);
    }

    // The aspect-fill scale (device pixels per frame pixel) of landscape frames in an upright
    // preview of `width` × `height` points: max(height × scale / frameWidth, width × scale /
    // frameHeight), in single precision. 0 when a size is not positive.
    static float aspectFillScale(
        float width, float height, float screenScale, int frameWidth, int frameHeight);
    // Half the side of the scope window in frame pixels at zoom z: trunc(scaledRadius × (1 - z)),
    // single precision, negative and NaN giving 0.
    static std::size_t previewRadius(std::int32_t scaledRadius, float zoom);
    // The preview window: a square of half-side trunc(radius × (1 - zoom)) around the frame's
    // integer centre, clamped to the frame.
    static FrameWindow previewWindow(
        std::size_t width, std::size_t height, std::int32_t scaledRadius, float zoom);

private:
    void recompute();

    std::atomic<float> m_screenScale { 2.0f };
    std::atomic<float> m_previewScale { 0.0f };
    std::atomic<std::int32_t> m_scopePixelRadius { 100 };
    std::atomic<std::int32_t> m_scopePixelSize { 200 };
    std::atomic<std::int32_t> m_scopeScreenRadius { 200 };
    std::atomic<std::int32_t> m_scopeScreenScaledRadius { 0 };
    // The preview view's size in points (main thread writes, ticking thread reads).
    std::atomic<float> m_previewWidth { 0.0f };
    std::atomic<float> m_previewHeight { 0.0f };
    // Size of the last frame put in the slot, written before the slot is filled.
    std::atomic<std::int32_t> m_frameWidth { 0 };
    std::atomic<std::int32_t> m_frameHeight { 0 };
    // The frame size previewScale was computed for (the ticking thread only).
    std::int32_t m_geometryFrameWidth { 0 };
    std::int32_t m_geometryFrameHeight { 0 };
};

} // namespace imaging
