// The SSE4.1 path of the temporal filter: two pixels per step, their eight channels in 16-bit
// lanes. The weight k is computed once per pixel and spread over its four lanes.

#include "imaging/DenoiseKernels.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

// Only this file's own functions are compiled for SSE4.1; the shared header stays generic.
#pragma GCC push_options
#pragma GCC target("sse4.1")

namespace imaging::detail {

namespace {

struct Constants {
    __m128i sadWeights = _mm_setr_epi16(1, 1, 1, 0, 1, 1, 1, 0);
    __m128i eight = _mm_set1_epi16(8);
    __m128i full = _mm_set1_epi16(256);
    __m128i kMin;
    __m128i threshold;
    __m128i span;
    __m128i slope;

    explicit Constants(const DenoiseParams& q)
        : kMin(_mm_set1_epi16(static_cast<short>(q.kMin)))
        , threshold(_mm_set1_epi16(static_cast<short>(q.threshold)))
        , span(_mm_set1_epi16(static_cast<short>(q.span)))
        , slope(_mm_set1_epi16(static_cast<short>(q.slope)))
    {
    }
};

// px: the pixels' bytes widened to 16 bits; s: their estimates, updated. Returns the output, 16-bit.
inline __m128i step(__m128i px, __m128i& s, const Constants& k)
{
    const __m128i diff = _mm_sub_epi16(_mm_slli_epi16(px, 4), s);
    const __m128i pairs = _mm_madd_epi16(_mm_abs_epi16(diff), k.sadWeights); // b + g, r per pixel
    const __m128i sad32 = _mm_add_epi32(pairs, _mm_shuffle_epi32(pairs, _MM_SHUFFLE(2, 3, 0, 1)));
    const __m128i sad = _mm_or_si128(sad32, _mm_slli_epi32(sad32, 16)); // in all four lanes
    const __m128i d = _mm_min_epu16(_mm_subs_epu16(sad, k.threshold), k.span);
    const __m128i weight = _mm_min_epu16(_mm_add_epi16(_mm_mulhi_epu16(d, k.slope), k.kMin), k.full);
    s = _mm_add_epi16(s, _mm_mulhrs_epi16(_mm_slli_epi16(diff, 1), _mm_slli_epi16(weight, 6)));
    const __m128i out = _mm_srli_epi16(_mm_add_epi16(s, k.eight), 4);
    return _mm_blend_epi16(out, px, 0x88); // alpha lanes from the frame
}

} // namespace

void denoiseSse41(std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window,
    std::uint16_t* state, const DenoiseParams& params)
{
    const Constants k(params);
    const std::size_t width = window.x1 - window.x0;
    const std::size_t pairs = width / 2;
    for (std::size_t y = window.y0; y < window.y1; ++y) {
        std::uint8_t* p = base + y * bytesPerRow + 4 * window.x0;
        std::uint16_t* s = state + (y - window.y0) * width * 4;
        for (std::size_t i = 0; i < pairs; ++i, p += 8, s += 8) {
            const __m128i px = _mm_cvtepu8_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
            __m128i estimate = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
            const __m128i out = step(px, estimate, k);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(s), estimate);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_packus_epi16(out, out));
        }
        if (width % 2)
            denoisePixel(p, s, params);
    }
}

} // namespace imaging::detail

#pragma GCC pop_options

#else

namespace imaging::detail {

void denoiseSse41(std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window,
    std::uint16_t* state, const DenoiseParams& params)
{
    denoisePortable(base, bytesPerRow, window, state, params);
}

} // namespace imaging::detail

#endif
