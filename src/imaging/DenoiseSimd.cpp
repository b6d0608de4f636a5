// The temporal filter with the enhancement fused in, written once for every instruction set
// (Highway compiles this file once per target; the rule is in DenoiseKernels.h).
//
// A step is as many pixels as a vector has 16-bit lanes: the interleaved load splits them into
// b, g, r and a bytes, and b, g and r each widen into a register of their own, so the weight k is
// computed once per lane and needs no spreading over a pixel's channels. The estimates are rows of
// b, of g and of r, loaded and stored as they are. A row's last pixels, fewer than a step, take one
// step through a copy.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "imaging/DenoiseSimd.cpp"
#include <hwy/foreach_target.h> // IWYU pragma: keep

#include <cstring>

#include <hwy/highway.h>

#include "imaging/DenoiseKernels.h"
#include "imaging/SimdSums-inl.h"

HWY_BEFORE_NAMESPACE();
namespace imaging::detail::HWY_NAMESPACE {

using DI16 = hn::RebindToSigned<D16>;
using DBytes = hn::Rebind<std::uint8_t, D16>;

// One channel's estimates move by the weighted difference; returns the filtered bytes in 16 bits.
HWY_INLINE V16 step(std::uint16_t* s, V16 estimate, V16 diff, V16 weight)
{
    const D16 d16;
    const DI16 di16;
    const auto move
        = hn::MulFixedPoint15(hn::BitCast(di16, hn::ShiftLeft<1>(diff)), hn::BitCast(di16, weight));
    estimate = hn::Add(estimate, hn::BitCast(d16, move));
    hn::StoreU(estimate, d16, s);
    return hn::ShiftRight<4>(hn::Add(estimate, hn::Set(d16, 8)));
}

HWY_INLINE V16 gained(V16 c, V16 threshold, V16 multiplier)
{
    return hn::Min(hn::ShiftRight<3>(hn::Mul(hn::Min(c, threshold), multiplier)), hn::Set(D16 {}, 255));
}

HWY_INLINE hn::Vec<DBytes> bytes(V16 v)
{
    return hn::DemoteTo(DBytes {}, hn::BitCast(DI16 {}, v));
}

template <bool Gain, int Filter>
ChannelSums run(
    std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window, const DenoiseFrame& frame)
{
    // Copies: the state's stores could otherwise alias the parameters and reload them every step.
    const DenoiseParams q = frame.denoise;
    const KernelParams e = frame.enhance;
    const D16 d16;
    const DI16 di16;
    const DBytes d8;
    const auto threshold = hn::Set(d16, q.threshold), span = hn::Set(d16, q.span);
    const auto slope = hn::Set(d16, q.slope), kMin = hn::Set(d16, q.kMin);
    const auto gainThreshold = hn::Set(d16, e.threshold), multiplier = hn::Set(d16, e.multiplier);
    const std::size_t lanes = hn::Lanes(d16);
    auto sumB = hn::Zero(d16), sumG = sumB, sumR = sumB;
    auto totalB = hn::Zero(D64 {}), totalG = totalB, totalR = totalB;
    std::size_t stepsLeft = kStepsPer16BitSum;
    ChannelSums sums;
    // One step: `lanes` pixels at p, their b, g and r estimates at sb, sg and sr.
    auto stepAt = [&](std::uint8_t* p, std::uint16_t* sb, std::uint16_t* sg, std::uint16_t* sr) HWY_ATTR {
        if (stepsLeft-- == 0) {
            totalB = addWidened(totalB, sumB);
            totalG = addWidened(totalG, sumG);
            totalR = addWidened(totalR, sumR);
            sumB = sumG = sumR = hn::Zero(d16);
            stepsLeft = kStepsPer16BitSum - 1;
        }
        hn::Vec<DBytes> b8, g8, r8, a8;
        hn::LoadInterleaved4(d8, p, b8, g8, r8, a8);
        const auto estimateB = hn::LoadU(d16, sb);
        const auto estimateG = hn::LoadU(d16, sg);
        const auto estimateR = hn::LoadU(d16, sr);
        const auto diffB = hn::Sub(hn::ShiftLeft<4>(hn::PromoteTo(d16, b8)), estimateB);
        const auto diffG = hn::Sub(hn::ShiftLeft<4>(hn::PromoteTo(d16, g8)), estimateG);
        const auto diffR = hn::Sub(hn::ShiftLeft<4>(hn::PromoteTo(d16, r8)), estimateR);
        const auto sad = hn::BitCast(d16,
            hn::Add(hn::Add(hn::Abs(hn::BitCast(di16, diffB)), hn::Abs(hn::BitCast(di16, diffG))),
                hn::Abs(hn::BitCast(di16, diffR))));
        const auto d = hn::Min(hn::SaturatedSub(sad, threshold), span);
        const auto k = hn::Min(hn::Add(hn::MulHigh(d, slope), kMin), hn::Set(d16, 256));
        const auto weight = hn::ShiftLeft<6>(k);
        auto b = step(sb, estimateB, diffB, weight);
        auto g = step(sg, estimateG, diffG, weight);
        auto r = step(sr, estimateR, diffR, weight);
        sumB = hn::Add(sumB, b);
        sumG = hn::Add(sumG, g);
        sumR = hn::Add(sumR, r);
        if constexpr (Gain) {
            b = gained(b, gainThreshold, multiplier);
            g = gained(g, gainThreshold, multiplier);
            r = gained(r, gainThreshold, multiplier);
        }
        if constexpr (Filter != 0) {
            // (b + g + r) × 32 fits 16 bits; its high half times 683 is (b + g + r) × 683 >> 11.
            g = hn::MulHigh(hn::ShiftLeft<16 - kDivideBy3Shift>(hn::Add(hn::Add(b, g), r)),
                hn::Set(d16, std::uint16_t(kDivideBy3Multiplier)));
            b = r = Filter == 1 ? hn::Zero(d16) : g;
        }
        hn::StoreInterleaved4(bytes(b), bytes(g), bytes(r), a8, d8, p);
    };
    const std::size_t width = window.x1 - window.x0;
    for (std::size_t y = window.y0; y < window.y1; ++y) {
        std::uint8_t* p = base + y * bytesPerRow + 4 * window.x0;
        std::uint16_t* s = frame.state + (y - window.y0) * denoiseRowValues(width);
        std::size_t x = 0;
        for (; x + lanes <= width; x += lanes, p += 4 * lanes)
            stepAt(p, s + x, s + width + x, s + 2 * width + x);
        // The row's last pixels, fewer than a step, take one step through zeroed copies of them
        // and their estimates: zeros stay zero and add nothing to the sums.
        if (const std::size_t rest = width - x; rest != 0) {
            HWY_ALIGN std::uint8_t pixels[HWY_MAX_BYTES * 2] = {};
            HWY_ALIGN std::uint16_t estimates[3][HWY_MAX_BYTES / 2] = {};
            std::memcpy(pixels, p, 4 * rest);
            for (std::size_t c = 0; c < 3; ++c)
                std::memcpy(estimates[c], s + c * width + x, rest * sizeof(std::uint16_t));
            stepAt(pixels, estimates[0], estimates[1], estimates[2]);
            std::memcpy(p, pixels, 4 * rest);
            for (std::size_t c = 0; c < 3; ++c)
                std::memcpy(s + c * width + x, estimates[c], rest * sizeof(std::uint16_t));
        }
    }
    sums.b += sumOfLanes(addWidened(totalB, sumB));
    sums.g += sumOfLanes(addWidened(totalG, sumG));
    sums.r += sumOfLanes(addWidened(totalR, sumR));
    return sums;
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
