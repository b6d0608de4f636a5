// Per-target helpers shared by the kernel sources (included once per Highway target, hence the
// toggled guard instead of #pragma once).

#if defined(IMAGING_SIMD_SUMS_INL_H) == defined(HWY_TARGET_TOGGLE)
#ifdef IMAGING_SIMD_SUMS_INL_H
#undef IMAGING_SIMD_SUMS_INL_H
#else
#define IMAGING_SIMD_SUMS_INL_H
#endif

#include <cstddef>
#include <cstdint>

#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace imaging::detail::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using D8 = hn::ScalableTag<std::uint8_t>;
using D16 = hn::ScalableTag<std::uint16_t>;
using D32 = hn::ScalableTag<std::uint32_t>;
using D64 = hn::ScalableTag<std::uint64_t>;
using V16 = hn::Vec<D16>;
using V64 = hn::Vec<D64>;

// 16-bit lanes that each gain at most 255 a step hold this many steps.
constexpr std::size_t kStepsPer16BitSum = 256;

// The low 16 bits of each 32-bit lane.
HWY_INLINE hn::Vec<D32> low16(hn::Vec<D32> v)
{
    return hn::And(v, hn::Set(D32 {}, 0xFFFFu));
}

// Adds the 32-bit lanes `lanes` (each under 2^31) into the 64-bit lanes `total`.
HWY_INLINE V64 addWidened(V64 total, hn::Vec<D32> lanes)
{
    const D64 d64;
    const auto words = hn::BitCast(d64, lanes);
    return hn::Add(total, hn::Add(hn::And(words, hn::Set(d64, 0xFFFFFFFFu)), hn::ShiftRight<32>(words)));
}

// The same for 16-bit lanes, paired up on the way.
HWY_INLINE V64 addWidened(V64 total, V16 lanes)
{
    const auto pairs = hn::BitCast(D32 {}, lanes);
    return addWidened(total, hn::Add(low16(pairs), hn::ShiftRight<16>(pairs)));
}

HWY_INLINE std::uint64_t sumOfLanes(V64 v)
{
    return hn::GetLane(hn::SumOfLanes(D64 {}, v));
}

// The target this copy of a kernel source is compiled for: each source exports its own, so that
// CpuFeatures.h reports where each kernel really runs.
static const char* KernelTargetName()
{
    return hwy::TargetName(HWY_TARGET);
}

} // namespace imaging::detail::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#endif
