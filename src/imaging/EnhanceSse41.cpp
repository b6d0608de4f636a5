// The SSE4.1 path: four pixels per step in 128-bit registers.
//
// Per step: the original b, g, r are gathered by a byte shuffle and summed with sum-of-absolute-
// differences against zero (64-bit lanes, no overflow); the gain widens to 16-bit lanes for the
// multiply, narrows with unsigned saturation and forces 255 where c >= threshold; the grey value
// comes from one multiply-add ((b+g) and r pairs, times 683) and a shift, and is spread into place
// by a shuffle; alpha is restored from the original bytes.

#include "imaging/EnhanceKernels.h"

#include <immintrin.h>

// Only this file's own functions are compiled for SSE4.1; the headers above stay generic, so no
// shared inline function ends up with SSE4.1 code on a machine without it.
#pragma GCC push_options
#pragma GCC target("sse4.1")

namespace imaging::detail {

namespace {

struct Constants {
    __m128i zero = _mm_setzero_si128();
    // The four b bytes, four zeros, the four g bytes, four zeros.
    __m128i gatherBG = _mm_setr_epi8(0, 4, 8, 12, -1, -1, -1, -1, 1, 5, 9, 13, -1, -1, -1, -1);
    __m128i gatherR = _mm_setr_epi8(2, 6, 10, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    __m128i sumWeights = _mm_set1_epi32(0x00010101); // bytes 1, 1, 1, 0
    __m128i divideBy3 = _mm_set1_epi16(static_cast<short>(kDivideBy3Multiplier));
    __m128i toGreen = _mm_setr_epi8(-1, 0, -1, -1, -1, 4, -1, -1, -1, 8, -1, -1, -1, 12, -1, -1);
    __m128i toGrey = _mm_setr_epi8(0, 0, 0, -1, 4, 4, 4, -1, 8, 8, 8, -1, 12, 12, 12, -1);
    __m128i multiplier;
    __m128i threshold;

    explicit Constants(const KernelParams& params)
        : multiplier(_mm_set1_epi16(static_cast<short>(params.multiplier)))
        , threshold(_mm_set1_epi8(static_cast<char>(params.threshold)))
    {
    }
};

template <bool Gain, int Filter>
inline __m128i process(__m128i px, const Constants& k)
{
    __m128i v = px;
    if constexpr (Gain) {
        const __m128i lo = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(px, k.zero), k.multiplier), 3);
        const __m128i hi = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(px, k.zero), k.multiplier), 3);
        const __m128i saturated = _mm_cmpeq_epi8(_mm_max_epu8(px, k.threshold), px);
        v = _mm_or_si128(_mm_packus_epi16(lo, hi), saturated);
    }
    if constexpr (Filter != 0) {
        const __m128i pairs = _mm_maddubs_epi16(v, k.sumWeights); // b + g, r + 0
        const __m128i grey = _mm_srli_epi32(_mm_madd_epi16(pairs, k.divideBy3), kDivideBy3Shift);
        v = _mm_shuffle_epi8(grey, Filter == 1 ? k.toGreen : k.toGrey); // alpha byte now 0
        return _mm_or_si128(v, _mm_and_si128(px, k.alpha));
    }
    if constexpr (Gain)
        return _mm_blendv_epi8(v, px, k.alpha);
    return v;
}

template <bool Gain, int Filter>
ChannelSums run(std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window, const KernelParams& params)
{
    const Constants k(params);
    __m128i sumBG = k.zero;
    __m128i sumR = k.zero;
    ChannelSums tail;
    const std::size_t count = window.x1 - window.x0;
    const std::size_t vectorCount = count & ~std::size_t { 3 };
    for (std::size_t y = window.y0; y < window.y1; ++y) {
        std::uint8_t* p = base + y * bytesPerRow + 4 * window.x0;
        std::uint8_t* const vectorEnd = p + 4 * vectorCount;
        for (; p != vectorEnd; p += 16) {
            const __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            sumBG = _mm_add_epi64(sumBG, _mm_sad_epu8(_mm_shuffle_epi8(px, k.gatherBG), k.zero));
            sumR = _mm_add_epi64(sumR, _mm_sad_epu8(_mm_shuffle_epi8(px, k.gatherR), k.zero));
            if constexpr (Gain || Filter != 0)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(p), process<Gain, Filter>(px, k));
        }
        for (std::size_t x = vectorCount; x < count; ++x, p += 4)
            enhancePixel<Gain, Filter>(p, params, tail);
    }
    alignas(16) std::uint64_t bg[2];
    alignas(16) std::uint64_t r[2];
    _mm_store_si128(reinterpret_cast<__m128i*>(bg), sumBG);
    _mm_store_si128(reinterpret_cast<__m128i*>(r), sumR);
    tail.b += bg[0];
    tail.g += bg[1];
    tail.r += r[0];
    return tail;
}

} // namespace

ChannelSums enhanceSse41(std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window,
                        const KernelParams& params)
{
    return dispatchByGainAndFilter(params, [&](auto gain, auto filter) {
        return run<decltype(gain)::value, decltype(filter)::value>(base, bytesPerRow, window, params);
    });
}

} // namespace imaging::detail

#pragma GCC pop_options
