// The AVX-512 path: sixteen pixels per step in 512-bit registers (needs AVX-512BW for byte work).
//
// Per step: the original b, g, r are gathered by a byte shuffle and summed with sum-of-absolute-
// differences against zero (64-bit lanes, no overflow); the gain widens to 16-bit lanes for the
// multiply, narrows with unsigned saturation and forces 255 where c >= threshold; the grey value
// comes from one multiply-add ((b+g) and r pairs, times 683) and a shift, and is spread into place
// by a shuffle; alpha is restored from the original bytes.

#include "imaging/EnhanceKernels.h"

// GCC 12's AVX-512 intrinsics build "undefined" vectors from self-initialised locals, which its
// own uninitialised-use warnings then report inside the header.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>

// Only this file's own functions are compiled for AVX-512BW; the headers above stay generic, so no
// shared inline function ends up with AVX-512 code on a machine without it.
#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw")

namespace imaging::detail {

namespace {

struct Constants {
    __m512i zero = _mm512_setzero_si512();
    // Per 128-bit lane (shuffles work lane by lane): the four b bytes, four zeros, the four g bytes, four zeros.
    __m512i gatherBG = _mm512_broadcast_i32x4(_mm_setr_epi8(0, 4, 8, 12, -1, -1, -1, -1, 1, 5, 9, 13, -1, -1, -1, -1));
    __m512i gatherR = _mm512_broadcast_i32x4(_mm_setr_epi8(2, 6, 10, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1));
    __m512i alpha = _mm512_set1_epi32(static_cast<int>(0xFF000000u));
    __m512i sumWeights = _mm512_set1_epi32(0x00010101); // bytes 1, 1, 1, 0
    __m512i divideBy3 = _mm512_set1_epi16(static_cast<short>(kDivideBy3Multiplier));
    __m512i toGreen = _mm512_broadcast_i32x4(_mm_setr_epi8(-1, 0, -1, -1, -1, 4, -1, -1, -1, 8, -1, -1, -1, 12, -1, -1));
    __m512i toGrey = _mm512_broadcast_i32x4(_mm_setr_epi8(0, 0, 0, -1, 4, 4, 4, -1, 8, 8, 8, -1, 12, 12, 12, -1));
    __m512i multiplier;
    __m512i threshold;

    explicit Constants(const KernelParams& params)
        : multiplier(_mm512_set1_epi16(static_cast<short>(params.multiplier)))
        , threshold(_mm512_set1_epi8(static_cast<char>(params.threshold)))
    {
    }
};

constexpr __mmask64 kAlphaBytes = 0x8888888888888888ull;

template <bool Gain, int Filter>
inline __m512i process(__m512i px, const Constants& k)
{
    __m512i v = px;
    if constexpr (Gain) {
        const __m512i lo = _mm512_srli_epi16(_mm512_mullo_epi16(_mm512_unpacklo_epi8(px, k.zero), k.multiplier), 3);
        const __m512i hi = _mm512_srli_epi16(_mm512_mullo_epi16(_mm512_unpackhi_epi8(px, k.zero), k.multiplier), 3);
        const __mmask64 saturated = _mm512_cmpge_epu8_mask(px, k.threshold);
        v = _mm512_mask_blend_epi8(saturated, _mm512_packus_epi16(lo, hi), _mm512_set1_epi8(-1));
    }
    if constexpr (Filter != 0) {
        const __m512i pairs = _mm512_maddubs_epi16(v, k.sumWeights); // b + g, r + 0
        const __m512i grey = _mm512_srli_epi32(_mm512_madd_epi16(pairs, k.divideBy3), kDivideBy3Shift);
        v = _mm512_shuffle_epi8(grey, Filter == 1 ? k.toGreen : k.toGrey); // alpha byte now 0
        return _mm512_or_si512(v, _mm512_and_si512(px, k.alpha));
    }
    if constexpr (Gain)
        return _mm512_mask_blend_epi8(kAlphaBytes, v, px);
    return v;
}

template <bool Gain, int Filter>
ChannelSums run(std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window, const KernelParams& params)
{
    const Constants k(params);
    __m512i sumBG = k.zero;
    __m512i sumR = k.zero;
    ChannelSums tail;
    const std::size_t count = window.x1 - window.x0;
    const std::size_t vectorCount = count & ~std::size_t { 15 };
    for (std::size_t y = window.y0; y < window.y1; ++y) {
        std::uint8_t* p = base + y * bytesPerRow + 4 * window.x0;
        std::uint8_t* const vectorEnd = p + 4 * vectorCount;
        for (; p != vectorEnd; p += 64) {
            const __m512i px = _mm512_loadu_si512(p);
            sumBG = _mm512_add_epi64(sumBG, _mm512_sad_epu8(_mm512_shuffle_epi8(px, k.gatherBG), k.zero));
            sumR = _mm512_add_epi64(sumR, _mm512_sad_epu8(_mm512_shuffle_epi8(px, k.gatherR), k.zero));
            if constexpr (Gain || Filter != 0)
                _mm512_storeu_si512(p, process<Gain, Filter>(px, k));
        }
        if (const std::size_t rest = count - vectorCount; rest > 0) {
            // The last pixels of the row through a lane mask: masked lanes are neither read nor
            // written (no fault past the row), and load as zeros, which add nothing to the sums.
            const auto lanes = static_cast<__mmask16>((1u << rest) - 1);
            const __m512i px = _mm512_maskz_loadu_epi32(lanes, p);
            sumBG = _mm512_add_epi64(sumBG, _mm512_sad_epu8(_mm512_shuffle_epi8(px, k.gatherBG), k.zero));
            sumR = _mm512_add_epi64(sumR, _mm512_sad_epu8(_mm512_shuffle_epi8(px, k.gatherR), k.zero));
            if constexpr (Gain || Filter != 0)
                _mm512_mask_storeu_epi32(p, lanes, process<Gain, Filter>(px, k));
        }
    }
    alignas(64) std::uint64_t bg[8];
    alignas(64) std::uint64_t r[8];
    _mm512_store_si512(bg, sumBG);
    _mm512_store_si512(r, sumR);
    tail.b += bg[0] + bg[2] + bg[4] + bg[6];
    tail.g += bg[1] + bg[3] + bg[5] + bg[7];
    tail.r += r[0] + r[2] + r[4] + r[6];
    return tail;
}

} // namespace

ChannelSums enhanceAvx512(std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window,
                        const KernelParams& params)
{
    return dispatchByGainAndFilter(params, [&](auto gain, auto filter) {
        return run<decltype(gain)::value, decltype(filter)::value>(base, bytesPerRow, window, params);
    });
}

} // namespace imaging::detail

#pragma GCC pop_options
#pragma GCC diagnostic pop
