// The AVX2 path: eight pixels per step in 256-bit registers.
//
// Per step: the original b, g, r are gathered by a byte shuffle and summed with sum-of-absolute-
// differences against zero (64-bit lanes, no overflow); the gain widens to 16-bit lanes for the
// multiply, narrows with unsigned saturation and forces 255 where c >= threshold; the grey value
// comes from one multiply-add ((b+g) and r pairs, times 683) and a shift, and is spread into place
// by a shuffle; alpha is restored from the original bytes.

#include "imaging/EnhanceKernels.h"

#include <immintrin.h>

// Only this file's own functions are compiled for AVX2; the headers above stay generic, so no
// shared inline function ends up with AVX2 code on a machine without it.
#pragma GCC push_options
#pragma GCC target("avx2")

namespace imaging::detail {

namespace {

struct Constants {
    __m256i zero = _mm256_setzero_si256();
    // Per 128-bit lane: the four b bytes, four zeros, the four g bytes, four zeros.
    __m256i gatherBG = _mm256_setr_epi8(0, 4, 8, 12, -1, -1, -1, -1, 1, 5, 9, 13, -1, -1, -1, -1, //
                                        0, 4, 8, 12, -1, -1, -1, -1, 1, 5, 9, 13, -1, -1, -1, -1);
    __m256i gatherR = _mm256_setr_epi8(2, 6, 10, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, //
                                       2, 6, 10, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    __m256i alpha = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    __m256i sumWeights = _mm256_set1_epi32(0x00010101); // bytes 1, 1, 1, 0
    __m256i divideBy3 = _mm256_set1_epi16(static_cast<short>(kDivideBy3Multiplier));
    __m256i toGreen = _mm256_setr_epi8(-1, 0, -1, -1, -1, 4, -1, -1, -1, 8, -1, -1, -1, 12, -1, -1, //
                                       -1, 0, -1, -1, -1, 4, -1, -1, -1, 8, -1, -1, -1, 12, -1, -1);
    __m256i toGrey = _mm256_setr_epi8(0, 0, 0, -1, 4, 4, 4, -1, 8, 8, 8, -1, 12, 12, 12, -1, //
                                      0, 0, 0, -1, 4, 4, 4, -1, 8, 8, 8, -1, 12, 12, 12, -1);
    __m256i laneIndex = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    __m256i multiplier;
    __m256i threshold;

    explicit Constants(const KernelParams& params)
        : multiplier(_mm256_set1_epi16(static_cast<short>(params.multiplier)))
        , threshold(_mm256_set1_epi8(static_cast<char>(params.threshold)))
    {
    }
};

template <bool Gain, int Filter>
inline __m256i process(__m256i px, const Constants& k)
{
    __m256i v = px;
    if constexpr (Gain) {
        const __m256i lo = _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(px, k.zero), k.multiplier), 3);
        const __m256i hi = _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(px, k.zero), k.multiplier), 3);
        const __m256i saturated = _mm256_cmpeq_epi8(_mm256_max_epu8(px, k.threshold), px);
        v = _mm256_or_si256(_mm256_packus_epi16(lo, hi), saturated);
    }
    if constexpr (Filter != 0) {
        const __m256i pairs = _mm256_maddubs_epi16(v, k.sumWeights); // b + g, r + 0
        const __m256i grey = _mm256_srli_epi32(_mm256_madd_epi16(pairs, k.divideBy3), kDivideBy3Shift);
        v = _mm256_shuffle_epi8(grey, Filter == 1 ? k.toGreen : k.toGrey); // alpha byte now 0
        return _mm256_or_si256(v, _mm256_and_si256(px, k.alpha));
    }
    if constexpr (Gain)
        return _mm256_blendv_epi8(v, px, k.alpha);
    return v;
}

template <bool Gain, int Filter>
ChannelSums run(std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window, const KernelParams& params)
{
    const Constants k(params);
    __m256i sumBG = k.zero;
    __m256i sumR = k.zero;
    ChannelSums tail;
    const std::size_t count = window.x1 - window.x0;
    const std::size_t vectorCount = count & ~std::size_t { 7 };
    for (std::size_t y = window.y0; y < window.y1; ++y) {
        std::uint8_t* p = base + y * bytesPerRow + 4 * window.x0;
        std::uint8_t* const vectorEnd = p + 4 * vectorCount;
        for (; p != vectorEnd; p += 32) {
            const __m256i px = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
            sumBG = _mm256_add_epi64(sumBG, _mm256_sad_epu8(_mm256_shuffle_epi8(px, k.gatherBG), k.zero));
            sumR = _mm256_add_epi64(sumR, _mm256_sad_epu8(_mm256_shuffle_epi8(px, k.gatherR), k.zero));
            if constexpr (Gain || Filter != 0)
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), process<Gain, Filter>(px, k));
        }
        if (const std::size_t rest = count - vectorCount; rest > 0) {
            // The last pixels of the row through a lane mask: masked lanes are neither read nor
            // written (no fault past the row), and load as zeros, which add nothing to the sums.
            const __m256i lanes = _mm256_cmpgt_epi32(_mm256_set1_epi32(static_cast<int>(rest)), k.laneIndex);
            const __m256i px = _mm256_maskload_epi32(reinterpret_cast<const int*>(p), lanes);
            sumBG = _mm256_add_epi64(sumBG, _mm256_sad_epu8(_mm256_shuffle_epi8(px, k.gatherBG), k.zero));
            sumR = _mm256_add_epi64(sumR, _mm256_sad_epu8(_mm256_shuffle_epi8(px, k.gatherR), k.zero));
            if constexpr (Gain || Filter != 0)
                _mm256_maskstore_epi32(reinterpret_cast<int*>(p), lanes, process<Gain, Filter>(px, k));
        }
    }
    alignas(32) std::uint64_t bg[4];
    alignas(32) std::uint64_t r[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(bg), sumBG);
    _mm256_store_si256(reinterpret_cast<__m256i*>(r), sumR);
    tail.b += bg[0] + bg[2];
    tail.g += bg[1] + bg[3];
    tail.r += r[0] + r[2];
    return tail;
}

} // namespace

ChannelSums enhanceAvx2(std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window,
                        const KernelParams& params)
{
    return dispatchByGainAndFilter(params, [&](auto gain, auto filter) {
        return run<decltype(gain)::value, decltype(filter)::value>(base, bytesPerRow, window, params);
    });
}

} // namespace imaging::detail

#pragma GCC pop_options
