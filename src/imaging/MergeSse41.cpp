// The SSE4.1 path of the stack's passes. The merge takes four pixels a step as two halves of
// eight 16-bit lanes (b, g, r, a of two pixels each) and keeps everything in registers: one pass
// over the frames for the sums, lows and highs, a second for the agreement (the frames' bytes
// are still in L1 then). A pixel's distance is summed across its lanes with a multiply-add and a
// swap of 32-bit halves, which leaves it, and the mask of the comparison, in all of its lanes.
// The last pixels of a span that do not fill a step take the portable path.

#include "imaging/MergeKernels.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

// Only this file's own functions are compiled for SSE4.1; the shared header stays generic.
#pragma GCC push_options
#pragma GCC target("sse4.1")

namespace imaging::detail {

namespace {

struct Half {
    __m128i sum, low, high;
};

// The rounded high half of a × b (unsigned 16-bit lanes): (a × b + 2^15) >> 16, exactly.
inline __m128i mulhiRound(__m128i a, __m128i b)
{
    return _mm_add_epi16(_mm_mulhi_epu16(a, b), _mm_srli_epi16(_mm_mullo_epi16(a, b), 15));
}

// The reciprocal of each lane's count (0 to 16): two byte tables indexed by count & 15, where
// entry 0 holds the reciprocal of 16 (a count of 0 takes the reference instead).
struct Reciprocals {
    __m128i lowBytes, highBytes;

    explicit Reciprocals(const MergeParams& params)
    {
        alignas(16) std::uint8_t lo[16], hi[16];
        for (std::size_t c = 0; c < 16; ++c) {
            const std::uint32_t r = c == 0 ? params.reciprocal[16] : c == 1 ? 65535 : params.reciprocal[c];
            lo[c] = std::uint8_t(r & 0xFF);
            hi[c] = std::uint8_t(r >> 8);
        }
        lowBytes = _mm_load_si128(reinterpret_cast<const __m128i*>(lo));
        highBytes = _mm_load_si128(reinterpret_cast<const __m128i*>(hi));
    }

    __m128i of(__m128i count) const
    {
        const __m128i index = _mm_and_si128(count, _mm_set1_epi16(15));
        const __m128i lo = _mm_and_si128(_mm_shuffle_epi8(lowBytes, index), _mm_set1_epi16(0xFF));
        return _mm_or_si128(lo, _mm_slli_epi16(_mm_shuffle_epi8(highBytes, index), 8));
    }
};

inline __m128i reference(const Half& h, int n, __m128i referenceReciprocal)
{
    const __m128i kept = n >= 3 ? _mm_sub_epi16(_mm_sub_epi16(h.sum, h.low), h.high) : h.sum;
    const __m128i kept16 = _mm_slli_epi16(kept, 4);
    return n == 3 ? kept16 : mulhiRound(kept16, referenceReciprocal);
}

// Adds the frame's lanes that agree with the reference to agreed; rejected gains -1 in the lanes
// of each pixel that does not.
inline void agree(__m128i value, __m128i ref, __m128i threshold, __m128i& agreed, __m128i& rejected)
{
    const __m128i colour = _mm_set_epi16(0, -1, -1, -1, 0, -1, -1, -1);
    const __m128i d = _mm_and_si128(_mm_abs_epi16(_mm_sub_epi16(_mm_slli_epi16(value, 4), ref)), colour);
    __m128i distance = _mm_madd_epi16(d, _mm_set1_epi16(1)); // b + g, r per pixel
    distance = _mm_add_epi32(distance, _mm_shuffle_epi32(distance, _MM_SHUFFLE(2, 3, 0, 1)));
    const __m128i reject = _mm_cmpgt_epi32(distance, threshold);
    agreed = _mm_add_epi16(agreed, _mm_andnot_si128(reject, value));
    rejected = _mm_add_epi16(rejected, reject);
}

inline __m128i average(__m128i agreed, __m128i count, __m128i ref, const Reciprocals& reciprocals)
{
    const __m128i mean = mulhiRound(agreed, reciprocals.of(count));
    const __m128i fallback = _mm_srli_epi16(_mm_add_epi16(ref, _mm_set1_epi16(8)), 4);
    return _mm_blendv_epi8(mean, fallback, _mm_cmpeq_epi16(count, _mm_setzero_si128()));
}

} // namespace

void mergeSpanSse41(
    const std::uint8_t* const* rows, std::size_t pixels, const MergeParams& params, std::uint8_t* dst)
{
    const int n = params.frames;
    const Reciprocals reciprocals(params);
    const __m128i referenceReciprocal
        = _mm_set1_epi16(short(params.reciprocal[std::size_t(n >= 3 ? n - 2 : n)]));
    const __m128i threshold = _mm_set1_epi32(params.threshold16);
    const __m128i frames = _mm_set1_epi16(short(n));
    const __m128i alpha = _mm_set1_epi32(int(0xFF000000u));
    const __m128i zero = _mm_setzero_si128();

    std::size_t x = 0;
    for (; x + 4 <= pixels; x += 4) {
        const std::size_t j = x * 4;
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[0] + j));
        Half lo { _mm_cvtepu8_epi16(first), {}, {} };
        Half hi { _mm_unpackhi_epi8(first, zero), {}, {} };
        lo.low = lo.high = lo.sum;
        hi.low = hi.high = hi.sum;
        for (int i = 1; i < n; ++i) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[i] + j));
            const __m128i vlo = _mm_cvtepu8_epi16(v), vhi = _mm_unpackhi_epi8(v, zero);
            lo.sum = _mm_add_epi16(lo.sum, vlo);
            lo.low = _mm_min_epu16(lo.low, vlo);
            lo.high = _mm_max_epu16(lo.high, vlo);
            hi.sum = _mm_add_epi16(hi.sum, vhi);
            hi.low = _mm_min_epu16(hi.low, vhi);
            hi.high = _mm_max_epu16(hi.high, vhi);
        }
        const __m128i refLo = reference(lo, n, referenceReciprocal);
        const __m128i refHi = reference(hi, n, referenceReciprocal);

        __m128i agreedLo = zero, agreedHi = zero, rejectedLo = zero, rejectedHi = zero;
        for (int i = 0; i < n; ++i) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[i] + j));
            agree(_mm_cvtepu8_epi16(v), refLo, threshold, agreedLo, rejectedLo);
            agree(_mm_unpackhi_epi8(v, zero), refHi, threshold, agreedHi, rejectedHi);
        }
        const __m128i outLo = average(agreedLo, _mm_add_epi16(frames, rejectedLo), refLo, reciprocals);
        const __m128i outHi = average(agreedHi, _mm_add_epi16(frames, rejectedHi), refHi, reciprocals);
        const __m128i out = _mm_blendv_epi8(_mm_packus_epi16(outLo, outHi), first, alpha);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + j), out);
    }
    if (x < pixels) {
        const std::uint8_t* rest[kMergeMaxFrames];
        for (int i = 0; i < n; ++i)
            rest[i] = rows[i] + x * 4;
        mergeSpanPortable(rest, pixels - x, params, dst + x * 4);
    }
}

void lumaRowSse41(const std::uint8_t* bgra, std::size_t pixels, std::uint8_t* luma)
{
    const __m128i weights = _mm_set1_epi32(0x00010201); // b × 1 + g × 2, r × 1 + a × 0
    const __m128i two = _mm_set1_epi16(2);
    std::size_t x = 0;
    for (; x + 8 <= pixels; x += 8) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bgra + x * 4));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bgra + x * 4 + 16));
        const __m128i sums = _mm_hadd_epi16(_mm_maddubs_epi16(a, weights), _mm_maddubs_epi16(b, weights));
        const __m128i y = _mm_srli_epi16(_mm_add_epi16(sums, two), 2);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(luma + x), _mm_packus_epi16(y, y));
    }
    lumaRowPortable(bgra + x * 4, pixels - x, luma + x);
}

std::uint32_t rowDifferenceSse41(const std::uint8_t* a, const std::uint8_t* b, std::size_t count)
{
    __m128i total = _mm_setzero_si128();
    std::size_t x = 0;
    for (; x + 16 <= count; x += 16)
        total = _mm_add_epi64(total,
            _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + x)),
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + x))));
    // Each 64-bit lane holds at most 255 × count, well inside its low 32 bits.
    const auto sum = std::uint32_t(_mm_cvtsi128_si32(total)) + std::uint32_t(_mm_extract_epi32(total, 2));
    return sum + rowDifferencePortable(a + x, b + x, count - x);
}

} // namespace imaging::detail

#pragma GCC pop_options

#else

namespace imaging::detail {

void mergeSpanSse41(
    const std::uint8_t* const* rows, std::size_t pixels, const MergeParams& params, std::uint8_t* dst)
{
    mergeSpanPortable(rows, pixels, params, dst);
}

void lumaRowSse41(const std::uint8_t* bgra, std::size_t pixels, std::uint8_t* luma)
{
    lumaRowPortable(bgra, pixels, luma);
}

std::uint32_t rowDifferenceSse41(const std::uint8_t* a, const std::uint8_t* b, std::size_t count)
{
    return rowDifferencePortable(a, b, count);
}

} // namespace imaging::detail

#endif
