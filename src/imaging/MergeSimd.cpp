// The stack's per-pixel passes, written once for every instruction set (Highway compiles this file
// once per target; the merge's rule is in MergeKernels.h).
//
// Merge: a step widens twice as many channel bytes as a vector has 16-bit lanes (b, g, r, a of
// half as many pixels) from each frame. A pixel's distance is its lanes' sum: pairs of 16-bit
// lanes added into 32-bit ones, then each 32-bit lane added to its neighbour, so the comparison
// marks all four lanes of a pixel at once and a reject adds -1 (65535) to each. The reciprocal of
// each lane's count comes from two 16-entry byte tables. The pixels after the last whole step go
// through one more step on copies, so no row is read or written past its end.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "imaging/MergeSimd.cpp"
#include <hwy/foreach_target.h> // IWYU pragma: keep

#include <cstring>

#include <hwy/highway.h>

#include "imaging/MergeKernels.h"
#include "imaging/SimdSums-inl.h"

HWY_BEFORE_NAMESPACE();
namespace imaging::detail::HWY_NAMESPACE {

using DI16 = hn::RebindToSigned<D16>;
using DI32 = hn::RebindToSigned<D32>;
using DBytes = hn::Rebind<std::uint8_t, D16>;

HWY_INLINE V16 widened(const std::uint8_t* p)
{
    return hn::PromoteTo(D16 {}, hn::LoadU(DBytes {}, p));
}

// Operations that x86 has as one instruction each and Highway 1.0 lacks: the sums of |a - b|
// over each 8 bytes, multiply-adds of byte pairs and of 16-bit pairs, and the pack of 16-bit
// lanes into bytes (per 128-bit block: the first vector's eight, then the second's).
#undef IMAGING_X86_OP
#if HWY_ARCH_X86 && HWY_TARGET <= HWY_SSE4
#if HWY_TARGET <= HWY_AVX3
#define IMAGING_X86_OP(op) _mm512_##op
#elif HWY_TARGET <= HWY_AVX2
#define IMAGING_X86_OP(op) _mm256_##op
#else
#define IMAGING_X86_OP(op) _mm_##op
#endif

HWY_INLINE V64 sumsOf8AbsDiff(hn::Vec<D8> a, hn::Vec<D8> b)
{
    return V64 { IMAGING_X86_OP(sad_epu8)(a.raw, b.raw) };
}

// b + g and r of each pixel's 16-bit lanes, in its two 32-bit lanes.
HWY_INLINE hn::Vec<D32> colourPairs(V16 v)
{
    const auto weights = hn::Set(D64 {}, 0x0000000100010001ull);
    return hn::Vec<D32> { IMAGING_X86_OP(madd_epi16)(v.raw, weights.raw) };
}

// b + 2g + r of each pixel (b, g, r, a bytes), in its 32-bit lane.
HWY_INLINE hn::Vec<DI32> weightedSum(const std::uint8_t* p)
{
    const auto weights = hn::Set(D32 {}, 0x00010201u);
    const auto pairs = IMAGING_X86_OP(maddubs_epi16)(hn::LoadU(D8 {}, p).raw, weights.raw);
    return hn::Vec<DI32> { IMAGING_X86_OP(madd_epi16)(pairs, hn::Set(DI16 {}, 1).raw) };
}

HWY_INLINE hn::Vec<D8> packBytes(hn::Vec<DI16> a, hn::Vec<DI16> b)
{
    return hn::Vec<D8> { IMAGING_X86_OP(packus_epi16)(a.raw, b.raw) };
}
#else
HWY_INLINE V64 sumsOf8AbsDiff(hn::Vec<D8> a, hn::Vec<D8> b)
{
    return hn::SumsOf8(hn::Or(hn::SaturatedSub(a, b), hn::SaturatedSub(b, a)));
}

HWY_INLINE hn::Vec<D32> colourPairs(V16 v)
{
    const auto pairs
        = hn::BitCast(D32 {}, hn::And(v, hn::BitCast(D16 {}, hn::Set(D64 {}, 0x0000FFFFFFFFFFFFull))));
    return hn::Add(low16(pairs), hn::ShiftRight<16>(pairs));
}
#endif

// The rounded high half of a × b: (a × b + 2^15) >> 16, exactly.
HWY_INLINE V16 mulHighRound(V16 a, V16 b)
{
    return hn::Add(hn::MulHigh(a, b), hn::ShiftRight<15>(hn::Mul(a, b)));
}

// The robust reference of each lane, in 1/16 levels, from its sum, lowest and highest value.
HWY_INLINE V16 referenceOf(V16 sum, V16 low, V16 high, const MergeParams& params)
{
    const int n = params.frames;
    const auto kept16 = hn::ShiftLeft<4>(n >= 3 ? hn::Sub(hn::Sub(sum, low), high) : sum);
    if (n == 3)
        return kept16;
    return mulHighRound(
        kept16, hn::Set(D16 {}, std::uint16_t(params.reciprocal[std::size_t(n >= 3 ? n - 2 : n)])));
}

// Adds v to agreed where its pixel is within the threshold of the reference, else -1 to rejected.
HWY_INLINE void agree(V16 v, V16 reference, hn::Vec<DI32> threshold, V16& agreed, V16& rejected)
{
    const D16 d16;
    const D32 d32;
    const auto d = hn::Abs(hn::BitCast(DI16 {}, hn::Sub(hn::ShiftLeft<4>(v), reference)));
    const auto halves = colourPairs(hn::BitCast(d16, d));
    const auto distance = hn::BitCast(DI32 {}, hn::Add(halves, hn::Reverse2(d32, halves)));
    const auto reject = hn::BitCast(d16, hn::VecFromMask(DI32 {}, hn::Gt(distance, threshold)));
    agreed = hn::Add(agreed, hn::AndNot(reject, v));
    rejected = hn::Add(rejected, reject);
}

// The merged bytes: the agreeing frames' mean, or the reference where none agrees; alpha from the
// first frame. The tables hold the low and high bytes of the reciprocal of each count & 15.
HWY_INLINE void store(V16 first, V16 reference, V16 agreed, V16 rejected, const MergeParams& params,
    hn::Vec<D8> lowBytes, hn::Vec<D8> highBytes, std::uint8_t* dst)
{
    const D16 d16;
    const auto count = hn::Add(hn::Set(d16, std::uint16_t(params.frames)), rejected);
    const auto index = hn::BitCast(D8 {}, hn::And(count, hn::Set(d16, 15)));
    const auto reciprocal
        = hn::Or(hn::And(hn::BitCast(d16, hn::TableLookupBytes(lowBytes, index)), hn::Set(d16, 0xFF)),
            hn::ShiftLeft<8>(hn::BitCast(d16, hn::TableLookupBytes(highBytes, index))));
    const auto fallback = hn::ShiftRight<4>(hn::Add(reference, hn::Set(d16, 8)));
    auto out = hn::IfThenElse(hn::Eq(count, hn::Zero(d16)), fallback, mulHighRound(agreed, reciprocal));
    const auto alpha = hn::BitCast(d16, hn::Set(D64 {}, 0xFFFF000000000000ull));
    out = hn::IfThenElse(hn::MaskFromVec(alpha), first, out);
    hn::StoreU(hn::DemoteTo(DBytes {}, hn::BitCast(DI16 {}, out)), DBytes {}, dst);
}

// Merges two vectors' worth of each row from byte `offset` into dst + offset: two independent
// chains per frame, which the CPU overlaps, and half the frame-pointer loads.
HWY_INLINE void mergeStep(const std::uint8_t* const* rows, std::size_t offset, const MergeParams& params,
    hn::Vec<D8> lowBytes, hn::Vec<D8> highBytes, std::uint8_t* dst)
{
    const std::size_t half = hn::Lanes(D16 {});
    const int n = params.frames;
    const auto firstA = widened(rows[0] + offset), firstB = widened(rows[0] + offset + half);
    auto sumA = firstA, lowA = firstA, highA = firstA, sumB = firstB, lowB = firstB, highB = firstB;
    for (int i = 1; i < n; ++i) {
        const auto a = widened(rows[i] + offset), b = widened(rows[i] + offset + half);
        sumA = hn::Add(sumA, a);
        lowA = hn::Min(lowA, a);
        highA = hn::Max(highA, a);
        sumB = hn::Add(sumB, b);
        lowB = hn::Min(lowB, b);
        highB = hn::Max(highB, b);
    }
    const auto referenceA = referenceOf(sumA, lowA, highA, params);
    const auto referenceB = referenceOf(sumB, lowB, highB, params);
    const auto threshold = hn::Set(DI32 {}, params.threshold16);
    auto agreedA = hn::Zero(D16 {}), rejectedA = agreedA, agreedB = agreedA, rejectedB = agreedA;
    for (int i = 0; i < n; ++i) {
        agree(widened(rows[i] + offset), referenceA, threshold, agreedA, rejectedA);
        agree(widened(rows[i] + offset + half), referenceB, threshold, agreedB, rejectedB);
    }
    store(firstA, referenceA, agreedA, rejectedA, params, lowBytes, highBytes, dst + offset);
    store(firstB, referenceB, agreedB, rejectedB, params, lowBytes, highBytes, dst + offset + half);
}

void MergeSpan(
    const std::uint8_t* const* rows, std::size_t pixels, const MergeParams& params, std::uint8_t* dst)
{
    const D8 d8;
    alignas(16) std::uint8_t low[16], high[16];
    for (std::size_t c = 0; c < 16; ++c) {
        // A count of 16 reads entry 0 (a count of 0 takes the reference instead).
        const std::uint32_t r = c == 0 ? params.reciprocal[16] : c == 1 ? 65535 : params.reciprocal[c];
        low[c] = std::uint8_t(r & 0xFF);
        high[c] = std::uint8_t(r >> 8);
    }
    const auto lowBytes = hn::LoadDup128(d8, low);
    const auto highBytes = hn::LoadDup128(d8, high);
    const std::size_t stepBytes = 2 * hn::Lanes(D16 {});
    std::size_t offset = 0;
    for (; offset + stepBytes <= 4 * pixels; offset += stepBytes)
        mergeStep(rows, offset, params, lowBytes, highBytes, dst);
    if (offset == 4 * pixels)
        return;
    const std::size_t rest = 4 * pixels - offset;
    alignas(64) std::uint8_t copies[(kMergeMaxFrames + 1) * HWY_MAX_BYTES] = {};
    const std::uint8_t* copied[kMergeMaxFrames] = {};
    for (int i = 0; i < params.frames; ++i) {
        std::memcpy(copies + std::size_t(i) * stepBytes, rows[i] + offset, rest);
        copied[i] = copies + std::size_t(i) * stepBytes;
    }
    std::uint8_t* out = copies + std::size_t(params.frames) * stepBytes;
    mergeStep(copied, 0, params, lowBytes, highBytes, out);
    std::memcpy(dst + offset, out, rest);
}

#ifdef IMAGING_X86_OP
// Four vectors of pixels a step. Their luma, packed per block, leaves 32-bit group k of block i
// (four pixels) holding group (blocks × k + i) of the step: one lane permutation puts them in
// order. The last step overlaps the one before (it writes the same bytes), so no pixel is left.
void LumaRow(const std::uint8_t* bgra, std::size_t pixels, std::uint8_t* luma)
{
    const D8 d8;
    const D32 d32;
    const DI16 di16;
    const std::size_t step = hn::Lanes(d8), blocks = step / 16;
    std::size_t x = 0;
    if (pixels >= step) {
        HWY_ALIGN std::int32_t order[HWY_MAX_BYTES / 4];
        for (std::size_t g = 0; g < hn::Lanes(d32); ++g)
            order[g] = std::int32_t(4 * (g % blocks) + g / blocks);
        const auto indices = hn::SetTableIndices(d32, order);
        const auto two = hn::Set(di16, 2);
        for (;; x += step) {
            x = HWY_MIN(x, pixels - step);
            const std::uint8_t* p = bgra + 4 * x;
            const auto low = hn::ReorderDemote2To(di16, weightedSum(p), weightedSum(p + step));
            const auto high
                = hn::ReorderDemote2To(di16, weightedSum(p + 2 * step), weightedSum(p + 3 * step));
            const auto packed
                = packBytes(hn::ShiftRight<2>(hn::Add(low, two)), hn::ShiftRight<2>(hn::Add(high, two)));
            hn::StoreU(
                hn::BitCast(d8, hn::TableLookupLanes(hn::BitCast(d32, packed), indices)), d8, luma + x);
            if (x + step == pixels)
                return;
        }
    }
    for (const std::uint8_t* p = bgra + 4 * x; x < pixels; ++x, p += 4)
        luma[x] = std::uint8_t((p[0] + 2 * p[1] + p[2] + 2) >> 2);
}
#else
void LumaRow(const std::uint8_t* bgra, std::size_t pixels, std::uint8_t* luma)
{
    const D16 d16;
    const DBytes d8;
    const std::size_t lanes = hn::Lanes(d16);
    std::size_t x = 0;
    for (; x + lanes <= pixels; x += lanes) {
        hn::Vec<DBytes> b, g, r, a;
        hn::LoadInterleaved4(d8, bgra + 4 * x, b, g, r, a);
        const auto sum = hn::Add(hn::Add(hn::PromoteTo(d16, b), hn::PromoteTo(d16, r)),
            hn::Add(hn::ShiftLeft<1>(hn::PromoteTo(d16, g)), hn::Set(d16, 2)));
        hn::StoreU(hn::DemoteTo(d8, hn::BitCast(DI16 {}, hn::ShiftRight<2>(sum))), d8, luma + x);
    }
    for (const std::uint8_t* p = bgra + 4 * x; x < pixels; ++x, p += 4)
        luma[x] = std::uint8_t((p[0] + 2 * p[1] + p[2] + 2) >> 2);
}
#endif

// The last bytes, fewer than a vector, take one step over the vector's worth that ends with them,
// the bytes before them masked out.
std::uint32_t RowDifference(const std::uint8_t* a, const std::uint8_t* b, std::size_t count)
{
    const D8 d8;
    const std::size_t lanes = hn::Lanes(d8);
    auto total = hn::Zero(D64 {});
    std::size_t x = 0;
    for (; x + lanes <= count; x += lanes)
        total = hn::Add(total, sumsOf8AbsDiff(hn::LoadU(d8, a + x), hn::LoadU(d8, b + x)));
    if (x != count && count >= lanes) {
        const auto seen = hn::FirstN(d8, lanes - (count - x));
        const std::size_t from = count - lanes;
        total = hn::Add(total,
            sumsOf8AbsDiff(hn::IfThenZeroElse(seen, hn::LoadU(d8, a + from)),
                hn::IfThenZeroElse(seen, hn::LoadU(d8, b + from))));
        x = count;
    }
    auto sum = std::uint32_t(sumOfLanes(total));
    for (; x < count; ++x)
        sum += std::uint32_t(a[x] > b[x] ? a[x] - b[x] : b[x] - a[x]);
    return sum;
}

} // namespace imaging::detail::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace imaging::detail {

HWY_EXPORT(MergeSpan);
HWY_EXPORT(LumaRow);
HWY_EXPORT(RowDifference);
HWY_EXPORT(KernelTargetName);

MergeParams mergeParams(int frames, int threshold)
{
    MergeParams params;
    params.frames = frames;
    params.threshold16 = threshold * 16;
    for (int i = 1; i <= kMergeMaxFrames; ++i)
        params.reciprocal[std::size_t(i)] = std::uint32_t((65536 + i / 2) / i);
    return params;
}

void mergeSpan(
    const std::uint8_t* const* rows, std::size_t pixels, const MergeParams& params, std::uint8_t* dst)
{
    HWY_DYNAMIC_DISPATCH(MergeSpan)(rows, pixels, params, dst);
}

void lumaRow(const std::uint8_t* bgra, std::size_t pixels, std::uint8_t* luma)
{
    HWY_DYNAMIC_DISPATCH(LumaRow)(bgra, pixels, luma);
}

std::uint32_t rowDifference(const std::uint8_t* a, const std::uint8_t* b, std::size_t count)
{
    return HWY_DYNAMIC_DISPATCH(RowDifference)(a, b, count);
}

// The aligner's sums are in this source too, so they always run on the merge's target.
const char* mergeTarget()
{
    return HWY_DYNAMIC_DISPATCH(KernelTargetName)();
}

const char* alignTarget()
{
    return mergeTarget();
}

} // namespace imaging::detail
#endif
