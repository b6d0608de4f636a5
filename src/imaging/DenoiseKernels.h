#pragma once

// Internal to TemporalDenoiser: the per-frame parameters, the per-pixel rule, the state layout,
// and the kernel (DenoiseSimd.cpp, one source for every instruction set).
//
// Per pixel, with cur = byte << 4 and s the stored estimate (both 12.4 fixed point, 0 to 4080):
//   diff_c = cur_c - s_c                         for b, g, r
//   sad    = |diff_b| + |diff_g| + |diff_r|      (at most 12240)
//   d      = min(max(sad - threshold, 0), span)
//   k      = min(256, kMin + (d × slope) >> 16)  (the weight of the new frame, of 256)
//   s_c   += (2 diff_c × 64 k + 2^14) >> 15      (= diff × k / 256 rounded; exactly diff at k = 256)
//   byte   = (s_c + 8) >> 4                      for b, g, r; alpha is left as it was
// Every step fits 16-bit lanes: this is the vector multiply-high-with-rounding, which is why the
// weight and the difference are pre-scaled by 64 and 2. With slope =
// ceil((256 - kMin) × 65536 / span) the ramp reaches 256 at d = span.
//
// The filtered bytes then go through the enhancement's rule (EnhanceKernels.h) while they are
// still in registers, and are summed as FrameEnhancer sums its input: one read and one write of
// the window and of the state per frame.
//
// State layout: per window row, the row's b estimates, then its g, then its r (3 × width values),
// rows packed.

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

// Internal linkage: the kernel source includes this too (see EnhanceKernels.h).
namespace {

inline int weightOf(int sad, const DenoiseParams& q)
{
    int d = sad - q.threshold;
    d = d < 0 ? 0 : (d > q.span ? q.span : d);
    const int k = q.kMin + static_cast<int>((static_cast<std::uint32_t>(d) * q.slope) >> 16);
    return k > 256 ? 256 : k;
}

// One pixel of the fused pass: s points at its b estimate, with g and r `stride` values on.
// Adds the filtered b, g, r to the sums before the enhancement changes them.
template <bool Gain, int Filter>
inline void denoisePixel(std::uint8_t* p, std::uint16_t* s, std::size_t stride, const DenoiseParams& q,
    const KernelParams& e, ChannelSums& sums)
{
    int diff[3];
    for (std::size_t c = 0; c < 3; ++c)
        diff[c] = (int { p[c] } << 4) - int { s[stride * c] };
    const int k = weightOf((diff[0] < 0 ? -diff[0] : diff[0]) + (diff[1] < 0 ? -diff[1] : diff[1])
            + (diff[2] < 0 ? -diff[2] : diff[2]),
        q);
    for (std::size_t c = 0; c < 3; ++c) {
        std::uint16_t& estimate = s[stride * c];
        estimate = static_cast<std::uint16_t>(estimate + ((2 * diff[c] * (64 * k) + 16384) >> 15));
        p[c] = static_cast<std::uint8_t>((estimate + 8) >> 4);
    }
    enhancePixel<Gain, Filter>(p, e, sums);
}

} // namespace

// Filters and enhances the window on the best instruction set the CPU runs. Returns the sums of
// the filtered window (before the enhancement), as FrameEnhancer does.
ChannelSums denoise(
    std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window, const DenoiseFrame& frame);
// The Highway target denoise() dispatches to now.
const char* denoiseTarget();

} // namespace imaging::detail
