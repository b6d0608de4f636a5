// The temporal filter with the enhancement fused in, written once for every instruction set
// (Highway compiles this file once per target; the rule is in DenoiseKernels.h).
//
// A step is as many pixels as a vector has 16-bit lanes: b, g and r each in a register of their
// own, so the weight k is computed once per lane and needs no spreading over a pixel's channels.
// On x86 the channels are split inside each 128-bit block, where shuffles are cheap: a byte
// shuffle of each half of the step's pixels pairs up b and g, and r and a, as 16-bit words, and a
// 64-bit interleave of the halves gathers the b-g words and the r-a words; masks and shifts then
// give each channel × 16. So a block's lanes hold four pixels of the step's first half and four
// of its second, and a 16-bit interleave of (b | g << 8) with (r | a << 8) puts the pixels back.
// On Arm, whose loads de-interleave four channels in one instruction, the lanes hold the pixels
// in order. The estimates are kept in the lanes' order: per step, its b lanes, g lanes and r
// lanes, so they are loaded and stored as they are. A row's last pixels, fewer than a step, keep
// their estimates in pixel order and take one step through a copy.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "imaging/DenoiseSimd.cpp"
#include <hwy/foreach_target.h> // IWYU pragma: keep

#include <cstring>
#include <type_traits>

#include <hwy/highway.h>

#include "imaging/DenoiseKernels.h"
#include "imaging/SimdSums-inl.h"

HWY_BEFORE_NAMESPACE();
namespace imaging::detail::HWY_NAMESPACE {

using DI16 = hn::RebindToSigned<D16>;
using DBytes = hn::Rebind<std::uint8_t, D16>;

constexpr bool kSplitInBlocks = HWY_ARCH_X86;

// The lane that holds pixel j of a step (of `lanes` pixels).
HWY_INLINE std::size_t laneOf(std::size_t j, std::size_t lanes)
{
    if (!kSplitInBlocks)
        return j;
    const std::size_t half = lanes / 2, i = j < half ? j : j - half;
    return i / 4 * 8 + (j < half ? 0 : 4) + i % 4;
}

// What a step needs to put its alpha back: split in blocks, a << 8 in the r lanes' order;
// otherwise the alpha bytes.
using Alpha = hn::Vec<std::conditional_t<kSplitInBlocks, D16, DBytes>>;

// A step's channels × 16 (12.4 fixed point). (A template, so that only one branch is compiled.)
template <class A> HWY_INLINE void load(const std::uint8_t* p, V16& b, V16& g, V16& r, A& alpha)
{
    const D16 d16;
    if constexpr (kSplitInBlocks) {
        const D8 d8;
        const D64 d64;
        // Per block: the b-g words of its four pixels, then their r-a words.
        alignas(16) static constexpr std::uint8_t kWords[16]
            = { 0, 1, 4, 5, 8, 9, 12, 13, 2, 3, 6, 7, 10, 11, 14, 15 };
        const auto words = hn::LoadDup128(d8, kWords);
        const auto first = hn::BitCast(d64, hn::TableLookupBytes(hn::LoadU(d8, p), words));
        const auto second = hn::BitCast(d64, hn::TableLookupBytes(hn::LoadU(d8, p + hn::Lanes(d8)), words));
        const auto bg = hn::BitCast(d16, hn::InterleaveLower(d64, first, second));
        const auto ra = hn::BitCast(d16, hn::InterleaveUpper(d64, first, second));
        const auto low = hn::Set(d16, 0x00FF), high = hn::Set(d16, 0xFF00);
        b = hn::ShiftLeft<4>(hn::And(bg, low));
        g = hn::ShiftRight<4>(hn::And(bg, high));
        r = hn::ShiftLeft<4>(hn::And(ra, low));
        alpha = hn::And(ra, high);
    } else {
        hn::Vec<DBytes> b8, g8, r8;
        hn::LoadInterleaved4(DBytes {}, p, b8, g8, r8, alpha);
        b = hn::ShiftLeft<4>(hn::PromoteTo(d16, b8));
        g = hn::ShiftLeft<4>(hn::PromoteTo(d16, g8));
        r = hn::ShiftLeft<4>(hn::PromoteTo(d16, r8));
    }
}

HWY_INLINE hn::Vec<DBytes> bytes(V16 v)
{
    return hn::DemoteTo(DBytes {}, hn::BitCast(DI16 {}, v));
}

// Stores the bytes b, g, r (in 16-bit lanes) with the loaded alpha.
template <class A> HWY_INLINE void store(std::uint8_t* p, V16 b, V16 g, V16 r, A alpha)
{
    if constexpr (kSplitInBlocks) {
        const D8 d8;
        const D16 d16;
        const auto bg = hn::Or(b, hn::ShiftLeft<8>(g)), ra = hn::Or(r, alpha);
        hn::StoreU(hn::BitCast(d8, hn::InterleaveLower(d16, bg, ra)), d8, p);
        hn::StoreU(hn::BitCast(d8, hn::InterleaveUpper(d16, bg, ra)), d8, p + hn::Lanes(d8));
    } else {
        hn::StoreInterleaved4(bytes(b), bytes(g), bytes(r), alpha, DBytes {}, p);
    }
}

// One channel's estimates move by the weighted difference; returns the filtered bytes in 16 bits.
// The rounded high halves: diff × 128 k / 2^15 is diff × k / 256, and (s × 2048) / 2^15 is s / 16.
HWY_INLINE V16 step(std::uint16_t* s, V16 estimate, V16 diff, hn::Vec<DI16> weight)
{
    const D16 d16;
    const DI16 di16;
    estimate = hn::Add(estimate, hn::BitCast(d16, hn::MulFixedPoint15(hn::BitCast(di16, diff), weight)));
    hn::StoreU(estimate, d16, s);
    return hn::BitCast(d16, hn::MulFixedPoint15(hn::BitCast(di16, estimate), hn::Set(di16, 2048)));
}

// min(c × multiplier >> 3, 255) as the high half of (c << 8) × (multiplier << 5): at most 65025.
HWY_INLINE V16 gained(V16 c, V16 multiplier32)
{
    return hn::Min(hn::MulHigh(hn::ShiftLeft<8>(c), multiplier32), hn::Set(D16 {}, 255));
}

// One step: `lanes` pixels at p, their b, g and r estimates at s, s + lanes and s + 2 × lanes;
// the filtered bytes are added to the 16-bit sums.
template <bool Gain, int Filter>
HWY_INLINE void stepAt(std::uint8_t* p, std::uint16_t* s, const DenoiseParams& q, std::uint16_t multiplier32,
    V16& sumB, V16& sumG, V16& sumR)
{
    const D16 d16;
    const DI16 di16;
    const std::size_t lanes = hn::Lanes(d16);
    V16 curB, curG, curR;
    Alpha alpha;
    load(p, curB, curG, curR, alpha);
    const auto estimateB = hn::LoadU(d16, s);
    const auto estimateG = hn::LoadU(d16, s + lanes);
    const auto estimateR = hn::LoadU(d16, s + 2 * lanes);
    const auto diffB = hn::Sub(curB, estimateB);
    const auto diffG = hn::Sub(curG, estimateG);
    const auto diffR = hn::Sub(curR, estimateR);
    const auto sad = hn::BitCast(d16,
        hn::Add(hn::Abs(hn::BitCast(di16, diffB)),
            hn::Add(hn::Abs(hn::BitCast(di16, diffG)), hn::Abs(hn::BitCast(di16, diffR)))));
    const auto d = hn::Min(hn::SaturatedSub(sad, hn::Set(d16, q.threshold)), hn::Set(d16, q.span));
    const auto k
        = hn::Min(hn::Add(hn::MulHigh(d, hn::Set(d16, q.slope)), hn::Set(d16, q.kMin)), hn::Set(d16, 256));
    // 128 × 256 does not fit; 32767 gives exactly diff too.
    const auto weight = hn::BitCast(di16, hn::Min(hn::ShiftLeft<7>(k), hn::Set(d16, 32767)));
    auto b = step(s, estimateB, diffB, weight);
    auto g = step(s + lanes, estimateG, diffG, weight);
    auto r = step(s + 2 * lanes, estimateR, diffR, weight);
    sumB = hn::Add(sumB, b);
    sumG = hn::Add(sumG, g);
    sumR = hn::Add(sumR, r);
    if constexpr (Gain) {
        const auto m = hn::Set(d16, multiplier32);
        b = gained(b, m);
        g = gained(g, m);
        r = gained(r, m);
    }
    if constexpr (Filter != 0) {
        // (b + g + r) × 32 fits 16 bits; its high half times 683 is (b + g + r) × 683 >> 11.
        g = hn::MulHigh(hn::ShiftLeft<16 - kDivideBy3Shift>(hn::Add(hn::Add(b, g), r)),
            hn::Set(d16, std::uint16_t(kDivideBy3Multiplier)));
        b = r = Filter == 1 ? hn::Zero(d16) : g;
    }
    store(p, b, g, r, alpha);
}

// A row's last pixels, fewer than a step, take one step through zeroed copies of them and their
// estimates: zeros stay zero and add nothing to the sums. Out of line, so that the loop does not
// share its registers.
template <bool Gain, int Filter>
HWY_NOINLINE void tailStep(std::uint8_t* p, std::uint16_t* s, std::size_t rest, DenoiseParams q,
    std::uint16_t multiplier32, V16& sumB, V16& sumG, V16& sumR)
{
    const std::size_t lanes = hn::Lanes(D16 {});
    HWY_ALIGN std::uint8_t pixels[HWY_MAX_BYTES * 2] = {};
    HWY_ALIGN std::uint16_t estimates[3 * HWY_MAX_BYTES / 2] = {};
    std::memcpy(pixels, p, 4 * rest);
    for (std::size_t j = 0; j < rest; ++j)
        for (std::size_t c = 0; c < 3; ++c)
            estimates[c * lanes + laneOf(j, lanes)] = s[c * rest + j];
    stepAt<Gain, Filter>(pixels, estimates, q, multiplier32, sumB, sumG, sumR);
    std::memcpy(p, pixels, 4 * rest);
    for (std::size_t j = 0; j < rest; ++j)
        for (std::size_t c = 0; c < 3; ++c)
            s[c * rest + j] = estimates[c * lanes + laneOf(j, lanes)];
}

template <bool Gain, int Filter>
ChannelSums run(
    std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window, const DenoiseFrame& frame)
{
    // A copy: the state's stores could otherwise alias the parameters and reload them every step.
    const DenoiseParams q = frame.denoise;
    const auto multiplier32 = std::uint16_t(frame.enhance.multiplier << 5);
    const D16 d16;
    const std::size_t lanes = hn::Lanes(d16);
    const std::size_t width = window.x1 - window.x0;
    // The filtered bytes' sums: 16-bit lanes, widened into 64-bit ones before they overflow.
    auto sumB = hn::Zero(d16), sumG = sumB, sumR = sumB;
    auto totalB = hn::Zero(D64 {}), totalG = totalB, totalR = totalB;
    std::size_t stepsLeft = kStepsPer16BitSum;
    // Makes room in the sums for `steps` more steps.
    const auto reserve = [&](std::size_t steps) HWY_ATTR {
        if (stepsLeft < steps) {
            totalB = addWidened(totalB, sumB);
            totalG = addWidened(totalG, sumG);
            totalR = addWidened(totalR, sumR);
            sumB = sumG = sumR = hn::Zero(d16);
            stepsLeft = kStepsPer16BitSum;
        }
        stepsLeft -= steps;
    };
    for (std::size_t y = window.y0; y < window.y1; ++y) {
        std::uint8_t* p = base + y * bytesPerRow + 4 * window.x0;
        std::uint16_t* s = frame.state + (y - window.y0) * denoiseRowValues(width);
        // Runs of steps that the sums hold, so that the loop does not count them.
        for (std::size_t steps = width / lanes; steps != 0;) {
            const std::size_t count = HWY_MIN(steps, kStepsPer16BitSum);
            reserve(count);
            // Copies that the tail's call does not see, so that they stay in registers.
            auto b = sumB, g = sumG, r = sumR;
            for (std::size_t i = 0; i < count; ++i, p += 4 * lanes, s += 3 * lanes)
                stepAt<Gain, Filter>(p, s, q, multiplier32, b, g, r);
            sumB = b;
            sumG = g;
            sumR = r;
            steps -= count;
        }
        if (const std::size_t rest = width % lanes; rest != 0) {
            reserve(1);
            tailStep<Gain, Filter>(p, s, rest, q, multiplier32, sumB, sumG, sumR);
        }
    }
    return { sumOfLanes(addWidened(totalB, sumB)), sumOfLanes(addWidened(totalG, sumG)),
        sumOfLanes(addWidened(totalR, sumR)) };
}

// Each gain and tint has its own loop, so no step branches on them.
ChannelSums Denoise(
    std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window, const DenoiseFrame& frame)
{
    using Run = ChannelSums (*)(std::uint8_t*, std::size_t, const FrameWindow&, const DenoiseFrame&);
    static constexpr Run kRuns[2][3]
        = { { run<false, 0>, run<false, 1>, run<false, 2> }, { run<true, 0>, run<true, 1>, run<true, 2> } };
    return kRuns[frame.enhance.gain ? 1 : 0][frame.enhance.filter](base, bytesPerRow, window, frame);
}

} // namespace imaging::detail::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace imaging::detail {

HWY_EXPORT(KernelTargetName);
HWY_EXPORT(Denoise);

const char* denoiseTarget()
{
    return HWY_DYNAMIC_DISPATCH(KernelTargetName)();
}

ChannelSums denoise(
    std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window, const DenoiseFrame& frame)
{
    return HWY_DYNAMIC_DISPATCH(Denoise)(base, bytesPerRow, window, frame);
}

} // namespace imaging::detail
#endif
