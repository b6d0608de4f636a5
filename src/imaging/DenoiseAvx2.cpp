// The AVX2 path of the temporal filter: four pixels per step, their sixteen channels in 16-bit
// lanes. The weight k is computed once per pixel and spread over its four lanes.

#include "imaging/DenoiseKernels.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

// Only this file's own functions are compiled for AVX2; the shared header stays generic.
#pragma GCC push_options
#pragma GCC target("avx2")

namespace imaging::detail {

namespace {

struct Constants {
    __m256i sadWeights = _mm256_setr_epi16(1, 1, 1, 0, 1, 1, 1, 0, 1, 1, 1, 0, 1, 1, 1, 0);
    __m256i eight = _mm256_set1_epi16(8);
    __m256i full = _mm256_set1_epi16(256);
    __m256i kMin;
    __m256i threshold;
    __m256i span;
    __m256i slope;

    explicit Constants(const DenoiseParams& q)
        : kMin(_mm256_set1_epi16(static_cast<short>(q.kMin)))
        , threshold(_mm256_set1_epi16(static_cast<short>(q.threshold)))
        , span(_mm256_set1_epi16(static_cast<short>(q.span)))
        , slope(_mm256_set1_epi16(static_cast<short>(q.slope)))
    {
    }
};

// px: the pixels' bytes widened to 16 bits; s: their estimates, updated. Returns the output, 16-bit.
inline __m256i step(__m256i px, __m256i& s, const Constants& k)
{
    const __m256i diff = _mm256_sub_epi16(_mm256_slli_epi16(px, 4), s);
    const __m256i pairs = _mm256_madd_epi16(_mm256_abs_epi16(diff), k.sadWeights); // b + g, r per pixel
    const __m256i sad32 = _mm256_add_epi32(pairs, _mm256_shuffle_epi32(pairs, _MM_SHUFFLE(2, 3, 0, 1)));
    const __m256i sad = _mm256_or_si256(sad32, _mm256_slli_epi32(sad32, 16)); // in all four lanes
    const __m256i d = _mm256_min_epu16(_mm256_subs_epu16(sad, k.threshold), k.span);
    const __m256i weight = _mm256_min_epu16(_mm256_add_epi16(_mm256_mulhi_epu16(d, k.slope), k.kMin), k.full);
    s = _mm256_add_epi16(s, _mm256_mulhrs_epi16(_mm256_slli_epi16(diff, 1), _mm256_slli_epi16(weight, 6)));
    const __m256i out = _mm256_srli_epi16(_mm256_add_epi16(s, k.eight), 4);
    return _mm256_blend_epi16(out, px, 0x88); // alpha lanes from the frame
}

} // namespace

void denoiseAvx2(std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window, std::uint16_t* state,
    const DenoiseParams& params)
{
    const Constants k(params);
    const std::size_t width = window.x1 - window.x0;
    const std::size_t quads = width / 4;
    for (std::size_t y = window.y0; y < window.y1; ++y) {
        std::uint8_t* p = base + y * bytesPerRow + 4 * window.x0;
        std::uint16_t* s = state + (y - window.y0) * width * 4;
        std::size_t i = 0;
        // Two independent groups per step, so one's multiplies overlap the other's shuffles.
        for (; i + 2 <= quads; i += 2, p += 32, s += 32) {
            const __m256i pxA = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
            const __m256i pxB
                = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)));
            __m256i estimateA = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s));
            __m256i estimateB = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 16));
            const __m256i outA = step(pxA, estimateA, k);
            const __m256i outB = step(pxB, estimateB, k);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(s), estimateA);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(s + 16), estimateB);
            // packus works within 128-bit lanes: A0 B0 A1 B1 in 64-bit pieces, put back in order.
            const __m256i bytes
                = _mm256_permute4x64_epi64(_mm256_packus_epi16(outA, outB), _MM_SHUFFLE(3, 1, 2, 0));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), bytes);
        }
        for (; i < quads; ++i, p += 16, s += 16) {
            const __m256i px = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
            __m256i estimate = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s));
            const __m256i out = step(px, estimate, k);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(s), estimate);
            const __m128i bytes
                = _mm_packus_epi16(_mm256_castsi256_si128(out), _mm256_extracti128_si256(out, 1));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p), bytes);
        }
        for (std::size_t x = 4 * quads; x < width; ++x, p += 4, s += 4)
            denoisePixel(p, s, params);
    }
}

} // namespace imaging::detail

#pragma GCC pop_options

#else

namespace imaging::detail {

void denoiseAvx2(std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window, std::uint16_t* state,
    const DenoiseParams& params)
{
    denoisePortable(base, bytesPerRow, window, state, params);
}

} // namespace imaging::detail

#endif
