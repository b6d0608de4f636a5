// The enhancement, written once for every instruction set (Highway compiles this file once per
// target; see EnhanceKernels.h for the rule and why it stays in 16 bits).
//
// A step is one vector of pixels as they lie in memory (b, g, r, a bytes), so no target pays for
// splitting channels apart. Per step:
// - sums: the odd bytes (g) and the whole 16-bit words are added as 16-bit lanes, which hold 256
//   steps; the even bytes' (b, r) sums are the words' less the odd bytes' times 256. They are
//   widened into 64-bit lanes every 256 steps;
// - gain: one unsigned high multiply of c << 8 by m << 5 per byte parity gives (c × m) >> 3 with
//   no shift and no clamp; a min caps it at 255. Alpha's multiplier is 256: it passes unchanged;
// - grey: from the channels still in their 16-bit lanes, b + g + r gathered in the low half of each
//   pixel's 32-bit lane and high-multiplied by 683 << 5, spread by one byte shuffle; alpha put back
//   from the input.
// The loop takes two steps a turn; a row's last pixels, fewer than a step, one step through a copy.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "imaging/EnhanceSimd.cpp"
#include <hwy/foreach_target.h> // IWYU pragma: keep

#include <cstring>

#include <hwy/highway.h>

#include "imaging/EnhanceKernels.h"
#include "imaging/SimdSums-inl.h"

HWY_BEFORE_NAMESPACE();
namespace imaging::detail::HWY_NAMESPACE {

// Filter 1 or 2 on the channels in 16-bit lanes (even: b and r; odd: g and alpha). Alpha is put
// back from the original pixels.
template <int Filter> HWY_INLINE hn::Vec<D8> tint(V16 even, V16 odd, hn::Vec<D8> px)
{
    const D8 d8;
    const D32 d32;
    // Low half: (b + g) + r; the high half (r + alpha) is multiplied by 0 below.
    const auto pairs = hn::BitCast(d32, hn::Add(even, odd));
    const auto sum = hn::BitCast(D16 {}, hn::Add(pairs, hn::ShiftRight<16>(hn::BitCast(d32, even))));
    // (x × 683) >> 11 is the high half of x × (683 << 5).
    const auto byThree = hn::BitCast(D16 {}, hn::Set(d32, kDivideBy3Multiplier << (16 - kDivideBy3Shift)));
    const auto grey = hn::BitCast(d8, hn::MulHigh(sum, byThree));
    // Byte 0 of each pixel, where grey is, into its g byte (and b, r for grey); alpha from px.
    constexpr std::uint8_t k0 = 0x80;
    alignas(16) static constexpr std::uint8_t kSpread[2][16] = {
        { k0, 0, k0, k0, k0, 4, k0, k0, k0, 8, k0, k0, k0, 12, k0, k0 },
        { 0, 0, 0, k0, 4, 4, 4, k0, 8, 8, 8, k0, 12, 12, 12, k0 },
    };
    const auto alpha = hn::MaskFromVec(hn::BitCast(d8, hn::Set(d32, 0xFF000000u)));
    return hn::IfThenElse(alpha, px, hn::TableLookupBytesOr0(grey, hn::LoadDup128(d8, kSpread[Filter - 1])));
}

// One step at p: its channels added to the sums, then gained and tinted in place. The gain needs
// no clamp: (c << 8) × (m << 5) keeps (c × m) >> 3, at most 65025, in the high half.
template <bool Gain, int Filter>
HWY_INLINE void step(std::uint8_t* p, V16 evenMultiplier, V16 oddMultiplier, V16& words, V16& odds)
{
    const D8 d8;
    const D16 d16;
    const auto px = hn::LoadU(d8, p);
    const auto px16 = hn::BitCast(d16, px);
    auto even = hn::And(px16, hn::Set(d16, 0x00FF)), odd = hn::ShiftRight<8>(px16);
    words = hn::Add(words, px16);
    odds = hn::Add(odds, odd);
    if constexpr (Gain) {
        even = hn::Min(hn::MulHigh(hn::ShiftLeft<8>(px16), evenMultiplier), hn::Set(d16, 255));
        odd = hn::Min(hn::MulHigh(hn::And(px16, hn::Set(d16, 0xFF00)), oddMultiplier), hn::Set(d16, 255));
    }
    if constexpr (Filter != 0)
        hn::StoreU(tint<Filter>(even, odd, px), d8, p);
    else if constexpr (Gain)
        hn::StoreU(hn::BitCast(d8, hn::Or(even, hn::ShiftLeft<8>(odd))), d8, p);
}

template <bool Gain, int Filter>
ChannelSums run(
    std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window, const KernelParams& params)
{
    const D8 d8;
    const D16 d16;
    const D32 d32;
    const std::size_t pixelsPerStep = hn::Lanes(d8) / 4;
    const auto evenMultiplier = hn::Set(d16, std::uint16_t(params.multiplier << 5));
    // Alpha's multiplier 256 passes it through.
    const auto oddMultiplier
        = hn::BitCast(d16, hn::Set(d32, (256u << 16) | (std::uint32_t { params.multiplier } << 5)));

    // The sums of the odd bytes (g, a) and, wrapping at 2^16, of the whole 16-bit words: the even
    // bytes' sums are words - (odds << 8), exact while they stay below 2^16.
    auto words = hn::Zero(d16), odds = hn::Zero(d16);
    auto totalB = hn::Zero(D64 {}), totalG = totalB, totalR = totalB;
    std::size_t stepsLeft = kStepsPer16BitSum;
    ChannelSums sums;
    auto widenSums = [&] {
        const auto e = hn::BitCast(d32, hn::Sub(words, hn::ShiftLeft<8>(odds)));
        totalB = addWidened(totalB, low16(e));
        totalR = addWidened(totalR, hn::ShiftRight<16>(e));
        totalG = addWidened(totalG, low16(hn::BitCast(d32, odds)));
        words = odds = hn::Zero(d16);
        stepsLeft = kStepsPer16BitSum;
    };
    const std::size_t count = window.x1 - window.x0;
    const std::size_t stride = 4 * pixelsPerStep;
    for (std::size_t y = window.y0; y < window.y1; ++y) {
        std::uint8_t* p = base + y * bytesPerRow + 4 * window.x0;
        for (std::size_t steps = count / pixelsPerStep; steps > 0;) {
            if (stepsLeft == 0)
                widenSums();
            const std::size_t block = steps < stepsLeft ? steps : stepsLeft;
            steps -= block;
            stepsLeft -= block;
            // Two steps at a time: two independent chains for an in-order core (the phones').
            for (std::uint8_t* const end = p + stride * (block & ~std::size_t { 1 }); p != end;
                 p += 2 * stride) {
                step<Gain, Filter>(p, evenMultiplier, oddMultiplier, words, odds);
                step<Gain, Filter>(p + stride, evenMultiplier, oddMultiplier, words, odds);
            }
            if (block & 1) {
                step<Gain, Filter>(p, evenMultiplier, oddMultiplier, words, odds);
                p += stride;
            }
        }
        // The row's last pixels, fewer than a step, take one step through a zeroed copy: zero
        // pixels add nothing to the sums, and a wide vector leaves up to 15 pixels a row.
        if (const std::size_t rest = 4 * (count % pixelsPerStep); rest != 0) {
            if (stepsLeft == 0)
                widenSums();
            --stepsLeft;
            HWY_ALIGN std::uint8_t last[HWY_MAX_BYTES] = {};
            std::memcpy(last, p, rest);
            step<Gain, Filter>(last, evenMultiplier, oddMultiplier, words, odds);
            std::memcpy(p, last, rest);
        }
    }
    const auto e = hn::BitCast(d32, hn::Sub(words, hn::ShiftLeft<8>(odds)));
    sums.b += sumOfLanes(addWidened(totalB, low16(e)));
    sums.r += sumOfLanes(addWidened(totalR, hn::ShiftRight<16>(e)));
    sums.g += sumOfLanes(addWidened(totalG, low16(hn::BitCast(d32, odds))));
    return sums;
}

ChannelSums Enhance(
    std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window, const KernelParams& params)
{
    return dispatchByGainAndFilter(params, [&](auto gain, auto filter) HWY_ATTR {
        return run<decltype(gain)::value, decltype(filter)::value>(base, bytesPerRow, window, params);
    });
}

} // namespace imaging::detail::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace imaging::detail {

HWY_EXPORT(Enhance);
HWY_EXPORT(KernelTargetName);

ChannelSums enhance(
    std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window, const KernelParams& params)
{
    return HWY_DYNAMIC_DISPATCH(Enhance)(base, bytesPerRow, window, params);
}

const char* enhanceTarget()
{
    return HWY_DYNAMIC_DISPATCH(KernelTargetName)();
}

} // namespace imaging::detail
#endif
