// The arm64 NEON path: sixteen pixels per step in 128-bit registers.
//
// Per step: one de-interleaving load splits sixteen pixels into their b, g, r and a bytes; the
// original b, g, r are added pairwise into 16-bit and then 32-bit lanes (flushed into 64-bit
// lanes once a row, long before they could overflow); the gain widens to 16-bit lanes for the
// multiply, narrows with saturation and forces 255 where c >= threshold; the grey value is
// (b + g + r) in 16-bit lanes times 683 in 32-bit lanes, shifted and narrowed; the interleaving
// store writes alpha back as it was read. NEON is part of every arm64 CPU, so no pragma is needed.

#include "imaging/EnhanceKernels.h"

#if defined(__aarch64__)

#include <arm_neon.h>

namespace imaging::detail {

namespace {

// 32-bit lanes gain at most 4 × 255 a step; a row flushes them after this many steps at most.
constexpr std::size_t kStepsPerFlush = std::size_t { 1 } << 20;

struct Constants {
    uint16x8_t multiplier;
    uint8x16_t threshold;

    explicit Constants(const KernelParams& params)
        : multiplier(vdupq_n_u16(params.multiplier))
        , threshold(vdupq_n_u8(params.threshold))
    {
    }
};

inline uint8x16_t gain(uint8x16_t c, const Constants& k)
{
    const uint16x8_t lo = vshrq_n_u16(vmulq_u16(vmovl_u8(vget_low_u8(c)), k.multiplier), 3);
    const uint16x8_t hi = vshrq_n_u16(vmulq_u16(vmovl_high_u8(c), k.multiplier), 3);
    // Below the threshold the product is exact and under 2040, so the narrowing never saturates
    // there; at or above it the lanes may have wrapped and the mask puts 255 in their place.
    const uint8x16_t saturated = vcgeq_u8(c, k.threshold);
    return vorrq_u8(vcombine_u8(vqmovn_u16(lo), vqmovn_u16(hi)), saturated);
}

inline uint16x4_t divideBy3(uint16x4_t sum)
{
    return vshrn_n_u32(vmull_n_u16(sum, static_cast<std::uint16_t>(kDivideBy3Multiplier)), kDivideBy3Shift);
}

inline uint8x16_t grey(uint8x16_t b, uint8x16_t g, uint8x16_t r)
{
    const uint16x8_t lo = vaddw_u8(vaddl_u8(vget_low_u8(b), vget_low_u8(g)), vget_low_u8(r));
    const uint16x8_t hi = vaddw_high_u8(vaddl_high_u8(b, g), r);
    const uint16x8_t greyLo = vcombine_u16(divideBy3(vget_low_u16(lo)), divideBy3(vget_high_u16(lo)));
    const uint16x8_t greyHi = vcombine_u16(divideBy3(vget_low_u16(hi)), divideBy3(vget_high_u16(hi)));
    return vcombine_u8(vmovn_u16(greyLo), vmovn_u16(greyHi));
}

template <bool Gain, int Filter>
ChannelSums run(
    std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window, const KernelParams& params)
{
    const Constants k(params);
    uint64x2_t total[3] = { vdupq_n_u64(0), vdupq_n_u64(0), vdupq_n_u64(0) };
    ChannelSums tail;
    const std::size_t count = window.x1 - window.x0;
    const std::size_t steps = count / 16;
    for (std::size_t y = window.y0; y < window.y1; ++y) {
        std::uint8_t* p = base + y * bytesPerRow + 4 * window.x0;
        for (std::size_t done = 0; done < steps;) {
            const std::size_t blockEnd = steps - done < kStepsPerFlush ? steps : done + kStepsPerFlush;
            uint32x4_t sum[3] = { vdupq_n_u32(0), vdupq_n_u32(0), vdupq_n_u32(0) };
            for (; done < blockEnd; ++done, p += 64) {
                uint8x16x4_t px = vld4q_u8(p);
                for (int c = 0; c < 3; ++c)
                    sum[c] = vpadalq_u16(sum[c], vpaddlq_u8(px.val[c]));
                if constexpr (Gain || Filter != 0) {
                    if constexpr (Gain) {
                        for (int c = 0; c < 3; ++c)
                            px.val[c] = gain(px.val[c], k);
                    }
                    if constexpr (Filter != 0) {
                        const uint8x16_t y8 = grey(px.val[0], px.val[1], px.val[2]);
                        px.val[1] = y8;
                        px.val[0] = px.val[2] = Filter == 1 ? vdupq_n_u8(0) : y8;
                    }
                    vst4q_u8(p, px);
                }
            }
            for (int c = 0; c < 3; ++c)
                total[c] = vpadalq_u32(total[c], sum[c]);
        }
        for (std::size_t x = 16 * steps; x < count; ++x, p += 4)
            enhancePixel<Gain, Filter>(p, params, tail);
    }
    tail.b += vaddvq_u64(total[0]);
    tail.g += vaddvq_u64(total[1]);
    tail.r += vaddvq_u64(total[2]);
    return tail;
}

} // namespace

ChannelSums enhanceNeon(
    std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window, const KernelParams& params)
{
    return dispatchByGainAndFilter(params, [&](auto gain, auto filter) {
        return run<decltype(gain)::value, decltype(filter)::value>(base, bytesPerRow, window, params);
    });
}

} // namespace imaging::detail

#endif
