#pragma once

// The night-vision kernel: brightens and tints a window of a BGRA frame in place and sums the
// window's original channels.
//
// For every pixel in the window, with c each of b, g, r (alpha is never read or written):
//   sums += the original b, g, r;
//   level >= 1:            c = min(255, c × (level + 8) / 8)   (exact for every int32 level)
//   filter 1 (green):      grey = (b + g + r) / 3; b = 0, g = grey, r = 0
//   filter 2 (grey):       b = g = r = grey
//   any other filter:      nothing
// Integer arithmetic only; no lookup table, no allocation. Pixels outside the window and the
// padding at the end of rows are not touched.
//
// It runs on the best instruction set this CPU has (CpuFeatures.h); each gives the same bytes and sums.
//
// Threads: pure; any thread, on distinct frames.

#include <cstddef>
#include <cstdint>

namespace imaging {

// Pixel columns [x0, x1) of rows [y0, y1). The caller keeps it inside the frame.
struct FrameWindow {
    std::size_t x0 { 0 };
    std::size_t y0 { 0 };
    std::size_t x1 { 0 };
    std::size_t y1 { 0 };

    bool isEmpty() const { return x1 <= x0 || y1 <= y0; }
    std::size_t pixelCount() const { return isEmpty() ? 0 : (x1 - x0) * (y1 - y0); }
    friend bool operator==(const FrameWindow&, const FrameWindow&) = default;
};

// Per-channel sums of the window's pixels before processing. 64-bit, so no frame overflows them.
struct ChannelSums {
    std::uint64_t b { 0 };
    std::uint64_t g { 0 };
    std::uint64_t r { 0 };

    friend bool operator==(const ChannelSums&, const ChannelSums&) = default;
};

class FrameEnhancer {
public:
    // base: pixel (0, 0) of the frame; bytesPerRow: distance between rows in bytes.
    static ChannelSums enhance(std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window,
        std::int32_t level, std::int32_t filter);
};

} // namespace imaging
