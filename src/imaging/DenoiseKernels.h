#pragma once

// Internal to TemporalDenoiser: the per-frame parameters, the per-pixel rule every path follows,
// the state layout, and the per-CPU implementations.
//
// Per pixel, with cur = byte << 4 and s the stored estimate (both 12.4 fixed point, 0 to 4080):
//   diff_c = cur_c - s_c                         for b, g, r
//   sad    = |diff_b| + |diff_g| + |diff_r|      (at most 12240)
//   d      = min(max(sad - threshold, 0), span)
//   k      = min(256, kMin + (d × slope) >> 16)  (the weight of the new frame, of 256)
//   s_c   += (2 diff_c × 64 k + 2^14) >> 15      (= diff × k / 256 rounded; exactly diff at k = 256)
//   byte   = (s_c + 8) >> 4                      for b, g, r; alpha is left as it was
// Every step fits 16-bit lanes: this is the vector paths' multiply-high-with-rounding, which is
// why the weight and the difference are pre-scaled by 64 and 2. With slope =
// ceil((256 - kMin) × 65536 / span) the ramp reaches 256 at d = span.
//
// The filtered bytes then go through the enhancement's rule (EnhanceKernels.h) while they are
// still in registers, and are summed as FrameEnhancer sums its input: one read and one write of
// the window and of the state per frame.
//
// State layout: b, g, r only (6 bytes a pixel). Each row of the window is cut into blocks of 16
// pixels; a block holds 16 b values, then 16 g, then 16 r. Within a block, pixel i is in lane
// laneOf(i) (bits 2 and 3 of i swapped: the lanes hold pixels 0-3, 8-11, 4-7, 12-15), the order in
// which the vector paths' byte unpacking leaves them, so no path spends a shuffle on it.
// A row's last block may be partly used.

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

constexpr std::size_t kDenoiseBlock = 16; // pixels
constexpr std::size_t kDenoiseBlockValues = 3 * kDenoiseBlock;

constexpr std::size_t denoiseRowValues(std::size_t width)
{
    return (width + kDenoiseBlock - 1) / kDenoiseBlock * kDenoiseBlockValues;
}

// The state's shape and the two parameter sets, as one call takes them.
struct DenoiseFrame {
    std::uint16_t* state { nullptr }; // denoiseRowValues(width) values per row, rows packed
    DenoiseParams denoise;
    KernelParams enhance;
};

// Internal linkage: the vector files include this too (see EnhanceKernels.h).
namespace {

// Its own inverse: lane j holds pixel laneOf(j).
constexpr std::size_t laneOf(std::size_t pixel)
{
    return (pixel & 3) | ((pixel & 4) << 1) | ((pixel & 8) >> 1);
}

inline int weightOf(int sad, const DenoiseParams& q)
{
    int d = sad - q.threshold;
    d = d < 0 ? 0 : (d > q.span ? q.span : d);
    const int k = q.kMin + static_cast<int>((static_cast<std::uint32_t>(d) * q.slope) >> 16);
    return k > 256 ? 256 : k;
}

inline int stepEstimate(std::uint16_t& s, int diff, int k)
{
    s = static_cast<std::uint16_t>(s + ((2 * diff * (64 * k) + 16384) >> 15));
    return (s + 8) >> 4;
}

// One pixel of the fused pass: s points at its b estimate, with g and r 16 and 32 values on.
// Adds the filtered b, g, r to the sums before the enhancement changes them.
template <bool Gain, int Filter>
inline void denoisePixel(
    std::uint8_t* p, std::uint16_t* s, const DenoiseParams& q, const KernelParams& e, ChannelSums& sums)
{
    int diff[3];
    for (int c = 0; c < 3; ++c)
        diff[c] = (int { p[c] } << 4) - int { s[kDenoiseBlock * c] };
    const int k = weightOf((diff[0] < 0 ? -diff[0] : diff[0]) + (diff[1] < 0 ? -diff[1] : diff[1])
            + (diff[2] < 0 ? -diff[2] : diff[2]),
        q);
    for (int c = 0; c < 3; ++c)
        p[c] = static_cast<std::uint8_t>(stepEstimate(s[kDenoiseBlock * c], diff[c], k));
    enhancePixel<Gain, Filter>(p, e, sums);
}

} // namespace

// Each returns the sums of the filtered window (before the enhancement), as FrameEnhancer does.
ChannelSums denoisePortable(
    std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window, const DenoiseFrame& frame);
ChannelSums denoiseSse41(
    std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window, const DenoiseFrame& frame);
ChannelSums denoiseAvx2(
    std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window, const DenoiseFrame& frame);

} // namespace imaging::detail
