#pragma once

// The user's enhancement settings of the scope: the night-vision mode, the gain level, the
// brightness threshold of the automatic mode, the colour filter, the zoom of the scope, night
// mode (temporal noise reduction before the gain) and the number of stills a night photo stacks.
//
// Threads: any thread. Each field is a relaxed atomic of its own width, read and written whole;
// the controls write them on the main thread, the frame queue and the drawing read them (and the
// frame queue writes the level it chose), and a reader may see a value one frame old.

#include <atomic>
#include <cstdint>
#include <optional>

#include "imaging/ColorFilter.h"
#include "imaging/NightVisionMode.h"

namespace imaging {

class ScopeSettings {
public:
    ScopeSettings() = default;
    ScopeSettings(const ScopeSettings&) = delete;
    ScopeSettings& operator=(const ScopeSettings&) = delete;

    std::int32_t scopeNightVisionMode() const { return m_mode.load(std::memory_order_relaxed); }
    void setScopeNightVisionMode(std::int32_t mode) { m_mode.store(mode, std::memory_order_relaxed); }
    // Gain level: (level + 8) / 8 for 1 and above, no gain for 0 and below.
    std::int32_t scopeNightVisionLevel() const { return m_level.load(std::memory_order_relaxed); }
    void setScopeNightVisionLevel(std::int32_t level) { m_level.store(level, std::memory_order_relaxed); }
    // Brightness threshold of the automatic mode (sum of the three channel means).
    std::int32_t scopeNightVisionThread() const { return m_threshold.load(std::memory_order_relaxed); }
    void setScopeNightVisionThread(std::int32_t threshold)
    {
        m_threshold.store(threshold, std::memory_order_relaxed);
    }
    std::int32_t scopeNightVisionColorFilter() const { return m_filter.load(std::memory_order_relaxed); }
    void setScopeNightVisionColorFilter(std::int32_t filter)
    {
        m_filter.store(filter, std::memory_order_relaxed);
    }
    // The zoom slider's value, 0 (the whole scope window) to 0.8.
    float zoom() const { return m_zoom.load(std::memory_order_relaxed); }
    void setZoom(float zoom) { m_zoom.store(zoom, std::memory_order_relaxed); }
    // Night mode: the scope's window is filtered over time before the gain, photos are stacked.
    // Off by default; off, the enhancement and the drawing are exactly what they are without it.
    bool isNightMode() const { return m_nightMode.load(std::memory_order_relaxed); }
    void setNightMode(bool on) { m_nightMode.store(on, std::memory_order_relaxed); }
    // Stills merged into one night photo, kMinStackFrames to kMaxStackFrames (values outside are
    // clamped).
    static constexpr std::int32_t kMinStackFrames = 1;
    static constexpr std::int32_t kMaxStackFrames = 16;
    std::int32_t stackFrames() const { return m_stackFrames.load(std::memory_order_relaxed); }
    void setStackFrames(std::int32_t frames);

    // The mode an "Enlight" chooser item stands for: 0 Auto, 1 Manual, 2 Off; none for any other.
    static std::optional<std::int32_t> modeForEnlightItem(int item);
    // The level a slider value sets in manual mode: truncated toward zero, NaN giving 0 and
    // out-of-range values the nearest bound.
    static std::int32_t levelForSliderValue(float value);
    // The level a frame uses: 0 in mode Off (and below), computed from the last measured
    // brightness in mode Auto (80 for black, 0 at or above the threshold), `current` otherwise.
    static std::int32_t levelForMode(
        std::int32_t mode, std::int32_t current, std::int32_t imageLevel, std::int32_t threshold);

private:
    std::atomic<std::int32_t> m_mode { NightVisionMode::Auto };
    std::atomic<std::int32_t> m_level { 0 };
    std::atomic<std::int32_t> m_threshold { 100 };
    std::atomic<std::int32_t> m_filter { ColorFilter::None };
    std::atomic<float> m_zoom { 0.0f };
    std::atomic<bool> m_nightMode { false };
    std::atomic<std::int32_t> m_stackFrames { 8 };
};

} // namespace imaging
