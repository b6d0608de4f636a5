// The AVX2 path of the stack's passes: the SSE4.1 path's steps (see MergeSse41.cpp) on eight
// pixels a step. Each 256-bit half holds the b, g, r, a lanes of four pixels, two in each 128-bit
// lane, so the in-lane multiply-add and swap still sum a pixel's distance; the pack at the end
// interleaves the halves' 64-bit quarters, which one permute puts back in order. The pixels that
// do not fill a step take the SSE4.1 path.

#include "imaging/MergeKernels.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

// Only this file's own functions are compiled for AVX2; the shared header stays generic.
#pragma GCC push_options
#pragma GCC target("avx2")

namespace imaging::detail {

namespace {

struct Half {
    __m256i sum, low, high;
};

inline __m256i load256(const std::uint8_t* p)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

inline __m256i widen(const std::uint8_t* p)
{
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

// The rounded high half of a × b (unsigned 16-bit lanes): (a × b + 2^15) >> 16, exactly.
inline __m256i mulhiRound(__m256i a, __m256i b)
{
    return _mm256_add_epi16(_mm256_mulhi_epu16(a, b), _mm256_srli_epi16(_mm256_mullo_epi16(a, b), 15));
}

// The reciprocal of each lane's count (0 to 16), from two byte tables indexed by count & 15;
// entry 0 holds the reciprocal of 16 (a count of 0 takes the reference instead).
struct Reciprocals {
    __m256i lowBytes, highBytes;

    explicit Reciprocals(const MergeParams& params)
    {
        alignas(16) std::uint8_t lo[16], hi[16];
        for (std::size_t c = 0; c < 16; ++c) {
            const std::uint32_t r = c == 0 ? params.reciprocal[16] : c == 1 ? 65535 : params.reciprocal[c];
            lo[c] = std::uint8_t(r & 0xFF);
            hi[c] = std::uint8_t(r >> 8);
        }
        lowBytes = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(lo)));
        highBytes = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(hi)));
    }

    __m256i of(__m256i count) const
    {
        const __m256i index = _mm256_and_si256(count, _mm256_set1_epi16(15));
        const __m256i lo = _mm256_and_si256(_mm256_shuffle_epi8(lowBytes, index), _mm256_set1_epi16(0xFF));
        return _mm256_or_si256(lo, _mm256_slli_epi16(_mm256_shuffle_epi8(highBytes, index), 8));
    }
};

inline __m256i reference(const Half& h, int n, __m256i referenceReciprocal)
{
    const __m256i kept = n >= 3 ? _mm256_sub_epi16(_mm256_sub_epi16(h.sum, h.low), h.high) : h.sum;
    const __m256i kept16 = _mm256_slli_epi16(kept, 4);
    return n == 3 ? kept16 : mulhiRound(kept16, referenceReciprocal);
}

inline void agree(__m256i value, __m256i ref, __m256i threshold, __m256i& agreed, __m256i& rejected)
{
    const __m256i colour = _mm256_set1_epi64x(0x0000FFFFFFFFFFFFll);
    const __m256i d
        = _mm256_and_si256(_mm256_abs_epi16(_mm256_sub_epi16(_mm256_slli_epi16(value, 4), ref)), colour);
    __m256i distance = _mm256_madd_epi16(d, _mm256_set1_epi16(1)); // b + g, r per pixel
    distance = _mm256_add_epi32(distance, _mm256_shuffle_epi32(distance, _MM_SHUFFLE(2, 3, 0, 1)));
    const __m256i reject = _mm256_cmpgt_epi32(distance, threshold);
    agreed = _mm256_add_epi16(agreed, _mm256_andnot_si256(reject, value));
    rejected = _mm256_add_epi16(rejected, reject);
}

inline __m256i average(__m256i agreed, __m256i count, __m256i ref, const Reciprocals& reciprocals)
{
    const __m256i mean = mulhiRound(agreed, reciprocals.of(count));
    const __m256i fallback = _mm256_srli_epi16(_mm256_add_epi16(ref, _mm256_set1_epi16(8)), 4);
    return _mm256_blendv_epi8(mean, fallback, _mm256_cmpeq_epi16(count, _mm256_setzero_si256()));
}

} // namespace

void mergeSpanAvx2(
    const std::uint8_t* const* rows, std::size_t pixels, const MergeParams& params, std::uint8_t* dst)
{
    const int n = params.frames;
    const Reciprocals reciprocals(params);
    const __m256i referenceReciprocal
        = _mm256_set1_epi16(short(params.reciprocal[std::size_t(n >= 3 ? n - 2 : n)]));
    const __m256i threshold = _mm256_set1_epi32(params.threshold16);
    const __m256i frames = _mm256_set1_epi16(short(n));
    const __m256i alpha = _mm256_set1_epi32(int(0xFF000000u));
    const __m256i zero = _mm256_setzero_si256();

    std::size_t x = 0;
    for (; x + 8 <= pixels; x += 8) {
        const std::size_t j = x * 4;
        Half lo { widen(rows[0] + j), {}, {} };
        Half hi { widen(rows[0] + j + 16), {}, {} };
        lo.low = lo.high = lo.sum;
        hi.low = hi.high = hi.sum;
        for (int i = 1; i < n; ++i) {
            const __m256i vlo = widen(rows[i] + j), vhi = widen(rows[i] + j + 16);
            lo.sum = _mm256_add_epi16(lo.sum, vlo);
            lo.low = _mm256_min_epu16(lo.low, vlo);
            lo.high = _mm256_max_epu16(lo.high, vlo);
            hi.sum = _mm256_add_epi16(hi.sum, vhi);
            hi.low = _mm256_min_epu16(hi.low, vhi);
            hi.high = _mm256_max_epu16(hi.high, vhi);
        }
        const __m256i refLo = reference(lo, n, referenceReciprocal);
        const __m256i refHi = reference(hi, n, referenceReciprocal);

        __m256i agreedLo = zero, agreedHi = zero, rejectedLo = zero, rejectedHi = zero;
        for (int i = 0; i < n; ++i) {
            agree(widen(rows[i] + j), refLo, threshold, agreedLo, rejectedLo);
            agree(widen(rows[i] + j + 16), refHi, threshold, agreedHi, rejectedHi);
        }
        const __m256i outLo = average(agreedLo, _mm256_add_epi16(frames, rejectedLo), refLo, reciprocals);
        const __m256i outHi = average(agreedHi, _mm256_add_epi16(frames, rejectedHi), refHi, reciprocals);
        const __m256i packed
            = _mm256_permute4x64_epi64(_mm256_packus_epi16(outLo, outHi), _MM_SHUFFLE(3, 1, 2, 0));
        _mm256_storeu_si256(
            reinterpret_cast<__m256i*>(dst + j), _mm256_blendv_epi8(packed, load256(rows[0] + j), alpha));
    }
    if (x < pixels) {
        const std::uint8_t* rest[kMergeMaxFrames];
        for (int i = 0; i < n; ++i)
            rest[i] = rows[i] + x * 4;
        mergeSpanSse41(rest, pixels - x, params, dst + x * 4);
    }
}

void lumaRowAvx2(const std::uint8_t* bgra, std::size_t pixels, std::uint8_t* luma)
{
    const __m256i weights = _mm256_set1_epi32(0x00010201); // b × 1 + g × 2, r × 1 + a × 0
    const __m256i two = _mm256_set1_epi16(2);
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    std::size_t x = 0;
    for (; x + 32 <= pixels; x += 32) {
        const std::uint8_t* p = bgra + x * 4;
        // Each sum's 128-bit lanes hold pixels 0-3 and 8-11 (4-7 and 12-15) of its sixteen.
        const __m256i first = _mm256_hadd_epi16(
            _mm256_maddubs_epi16(load256(p), weights), _mm256_maddubs_epi16(load256(p + 32), weights));
        const __m256i second = _mm256_hadd_epi16(
            _mm256_maddubs_epi16(load256(p + 64), weights), _mm256_maddubs_epi16(load256(p + 96), weights));
        const __m256i a = _mm256_srli_epi16(_mm256_add_epi16(first, two), 2);
        const __m256i b = _mm256_srli_epi16(_mm256_add_epi16(second, two), 2);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(luma + x),
            _mm256_permutevar8x32_epi32(_mm256_packus_epi16(a, b), order));
    }
    lumaRowSse41(bgra + x * 4, pixels - x, luma + x);
}

std::uint32_t rowDifferenceAvx2(const std::uint8_t* a, const std::uint8_t* b, std::size_t count)
{
    __m256i total = _mm256_setzero_si256();
    std::size_t x = 0;
    for (; x + 32 <= count; x += 32)
        total = _mm256_add_epi64(total, _mm256_sad_epu8(load256(a + x), load256(b + x)));
    // Each 64-bit lane holds at most 255 × count, well inside its low 32 bits.
    const __m128i half = _mm_add_epi32(_mm256_castsi256_si128(total), _mm256_extracti128_si256(total, 1));
    const auto sum = std::uint32_t(_mm_cvtsi128_si32(half)) + std::uint32_t(_mm_extract_epi32(half, 2));
    return sum + rowDifferenceSse41(a + x, b + x, count - x);
}

} // namespace imaging::detail

#pragma GCC pop_options

#else

namespace imaging::detail {

void mergeSpanAvx2(
    const std::uint8_t* const* rows, std::size_t pixels, const MergeParams& params, std::uint8_t* dst)
{
    mergeSpanPortable(rows, pixels, params, dst);
}

void lumaRowAvx2(const std::uint8_t* bgra, std::size_t pixels, std::uint8_t* luma)
{
    lumaRowPortable(bgra, pixels, luma);
}

std::uint32_t rowDifferenceAvx2(const std::uint8_t* a, const std::uint8_t* b, std::size_t count)
{
    return rowDifferencePortable(a, b, count);
}

} // namespace imaging::detail

#endif
