#pragma once

// Internal to TemporalDenoiser: the per-frame parameters, the per-pixel rule every path follows,
// and the per-CPU implementations.
//
// Per pixel, with cur = byte << 4 and s the stored estimate (both 12.4 fixed point, 0 to 4080):
//   diff_c = cur_c - s_c                         for b, g, r, a
//   sad    = |diff_b| + |diff_g| + |diff_r|      (at most 12240)
//   d      = min(max(sad - threshold, 0), span)
//   k      = min(256, kMin + (d × slope) >> 16)  (the weight of the new frame, of 256)
//   s_c   += (2 diff_c × 64 k + 2^14) >> 15      (= diff × k / 256 rounded; exactly diff at k = 256)
//   byte   = (s_c + 8) >> 4                      for b, g, r; alpha is left as it was
// Every step fits 16-bit lanes: this is the vector paths' multiply-high-with-rounding, which is
// why the weight and the difference are pre-scaled by 64 and 2. With slope =
// ceil((256 - kMin) × 65536 / span) the ramp reaches 256 at d = span.

#include <cstddef>
#include <cstdint>

#include "imaging/FrameEnhancer.h"

namespace imaging::detail {

struct DenoiseParams {
    std::uint16_t kMin { 256 };
    std::uint16_t threshold { 0 };
    std::uint16_t span { 256 };
    std::uint16_t slope { 0 };
};

namespace {

inline void denoisePixel(std::uint8_t* p, std::uint16_t* s, const DenoiseParams& q)
{
    int diff[4];
    for (int c = 0; c < 4; ++c)
        diff[c] = (int { p[c] } << 4) - int { s[c] };
    const int sad = (diff[0] < 0 ? -diff[0] : diff[0]) + (diff[1] < 0 ? -diff[1] : diff[1])
        + (diff[2] < 0 ? -diff[2] : diff[2]);
    int d = sad - q.threshold;
    d = d < 0 ? 0 : (d > q.span ? q.span : d);
    int k = q.kMin + static_cast<int>((static_cast<std::uint32_t>(d) * q.slope) >> 16);
    k = k > 256 ? 256 : k;
    for (int c = 0; c < 4; ++c)
        s[c] = static_cast<std::uint16_t>(s[c] + ((2 * diff[c] * (64 * k) + 16384) >> 15));
    for (int c = 0; c < 3; ++c)
        p[c] = static_cast<std::uint8_t>((s[c] + 8) >> 4);
}

} // namespace

// state: 4 values per window pixel, rows of (x1 - x0) pixels packed one after the other.
void denoisePortable(std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window,
    std::uint16_t* state, const DenoiseParams& params);
void denoiseSse41(std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window,
    std::uint16_t* state, const DenoiseParams& params);
void denoiseAvx2(std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window, std::uint16_t* state,
    const DenoiseParams& params);

} // namespace imaging::detail
