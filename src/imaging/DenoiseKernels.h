#pragma once

// Internal to TemporalDenoiser: the per-frame parameters, the per-pixel rule, the state layout,
// and the kernel (DenoiseSimd.cpp, one source for every instruction set).
//
// Per pixel, with cur = byte << 4 and s the stored estimate (both 12.4 fixed point, 0 to 4080):
//   diff_c = cur_c - s_c                         for b, g, r
//   sad    = |diff_b| + |diff_g| + |diff_r|      (at most 12240)
//   d      = min(max(sad - threshold, 0), span)
//   k      = min(256, kMin + (d × slope) >> 16)  (the weight of the new frame, of 256)
//   s_c   += (diff_c × w + 2^14) >> 15           (w = min(128 k, 32767): diff × k / 256 rounded,
//                                                 exactly diff at k = 256)
//   byte   = (s_c + 8) >> 4                      for b, g, r; alpha is left as it was
// Every step fits 16-bit lanes: both are the vector multiply-high-with-rounding (the byte is
// (s_c × 2048 + 2^14) >> 15), which is why the weight is pre-scaled by 128. With slope =
// ceil((256 - kMin) × 65536 / span) the ramp reaches 256 at d = span.
//
// The filtered bytes then go through the enhancement's rule (EnhanceKernels.h) while they are
// still in registers, and are summed as FrameEnhancer sums its input: one read and one write of
// the window and of the state per frame.
//
// State layout: 3 × width values per window row, rows packed; inside a row, the kernel's order
// (DenoiseSimd.cpp), which depends on the target's vector width: the state is only read by the
// target that wrote it.

#include <cstddef>
#include <cstdint>

#include "imaging/EnhanceKernels.h"
#include "imaging/FrameEnhancer.h"

namespace imaging::detail {

struct DenoiseParams {
    std::uint16_t kMin { 256 };
    std::uint16_t threshold { 0 };
    std::uint16_t span { 256 };
    std::uint16_t slope { 0 };
};

constexpr std::size_t denoiseRowValues(std::size_t width)
{
    return 3 * width;
}

// The state's shape and the two parameter sets, as one call takes them.
struct DenoiseFrame {
    std::uint16_t* state { nullptr }; // denoiseRowValues(width) values per row, rows packed
    DenoiseParams denoise;
    KernelParams enhance;
};

// Filters and enhances the window on the best instruction set the CPU runs. Returns the sums of
// the filtered window (before the enhancement), as FrameEnhancer does.
ChannelSums denoise(
    std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window, const DenoiseFrame& frame);
// The Highway target denoise() dispatches to now.
const char* denoiseTarget();

} // namespace imaging::detail
