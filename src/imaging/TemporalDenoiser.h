#pragma once

// Night mode's live noise reduction: a motion-adaptive recursive filter over a window of BGRA
// frames, run on the scope's window before the gain so the gain multiplies averaged noise.
//
// Per pixel it keeps a running estimate of b, g, r in 12.4 fixed point and moves it towards
// each new frame by a weight k (of 256): small (1/8) where the pixel matches the estimate within
// the noise, so still parts are averaged over about 15 frames; 1 where the pixel differs by much
// more than the noise, so a moving object is shown exactly where the current frame has it and
// leaves no trail. Between the two thresholds k rises linearly. The thresholds follow the noise
// of the current frame, measured as the median difference between horizontal neighbours on a
// sparse grid (so they hold up when most of the picture moves). After a reset the estimate starts
// from the next frame and averages the first frames evenly (k = 1, 1/2, 1/3, ... down to 1/8).
//
// Integer arithmetic only; every instruction set (CpuFeatures.h) gives the same bytes and state.
// Alpha is passed through. The state (6 bytes a window pixel) is allocated on the first frame of
// a window size and reused; a frame of another window size starts the filter afresh.
//
// The filter is bound by memory, so night mode's frame path calls filterAndEnhance(): the
// enhancement's gain, tint and measurement run on each filtered pixel while it is in a register,
// and the window is read and written once instead of twice.
//
// Threads: filter() and filterAndEnhance() on one thread at a time (the frame queue); reset()
// from any thread — it takes effect at the next frame.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/FrameEnhancer.h"

namespace imaging {

class TemporalDenoiser {
public:
    TemporalDenoiser() = default;
    TemporalDenoiser(const TemporalDenoiser&) = delete;
    TemporalDenoiser& operator=(const TemporalDenoiser&) = delete;

    // Filters the window of the frame in place (base: pixel (0, 0); rows bytesPerRow apart).
    void filter(std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window);

    // filter() followed by FrameEnhancer::enhance(base, bytesPerRow, window, level, colorFilter),
    // in one pass: the same bytes, and the same sums (of the filtered pixels, before the gain).
    ChannelSums filterAndEnhance(std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window,
        std::int32_t level, std::int32_t colorFilter);

    // Forget the scene: the next frame is shown as it is and starts a new average.
    void reset() { m_resetRequested.store(true, std::memory_order_release); }

    // Frames averaged since the last reset (filter thread only).
    std::uint32_t frameCount() const { return m_frames; }
    // Noise measured on the last frame: median over 3 channels of |neighbour difference|, levels.
    std::uint32_t lastNoiseLevel() const { return m_lastNoise; }

private:
    std::uint32_t measureNoise(const std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window);

    std::atomic<bool> m_resetRequested { false };
    // Filter thread only:
    std::vector<std::uint16_t> m_state; // b, g, r per window pixel, 12.4 fixed point (DenoiseKernels.h)
    std::size_t m_width { 0 };
    std::size_t m_height { 0 };
    std::uint32_t m_frames { 0 };
    std::uint32_t m_lastNoise { 0 };
    std::array<std::array<std::uint32_t, 766>, 4> m_histograms {};
};

} // namespace imaging
