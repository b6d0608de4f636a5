// The SSE4.1 path: four pixels per step in 128-bit registers.
//
// Per step, about fourteen vector operations and no compare:
// - sums: b and r (the even bytes) and g (the odd bytes) are added as 16-bit lanes, which hold
//   256 steps without overflow; they are widened into 64-bit lanes once per 256 steps;
// - gain: channels are first clamped to the threshold, so the product never passes 16 bits and
//   the packing's unsigned saturation gives exactly 255 for every clamped channel; one unsigned
//   high multiply of c << 8 by m << 5 gives (c × m) >> 3 with no separate shift. Alpha's
//   multiplier is 256 and its clamp 255, so alpha passes the gain unchanged;
// - grey: one byte multiply-add ((b + g) and r pairs) and one 16-bit multiply-add by 683 << 5
//   leave (b + g + r) / 3 in byte 2 of each pixel, from where one shuffle spreads it; alpha is
//   blended back from the original bytes.

#include "imaging/EnhanceKernels.h"

#include <algorithm>

#include <immintrin.h>

// Only this file's own functions are compiled for SSE4.1; the headers above stay generic, so no
// shared inline function ends up with SSE4.1 code on a machine without it.
#pragma GCC push_options
#pragma GCC target("sse4.1")

namespace imaging::detail {

namespace {

constexpr std::size_t kPixelsPerStep = 4;
// Steps whose channels the 16-bit sums hold: 256 × 255 < 65536.
constexpr std::size_t kStepsPerFlush = 256;

struct Constants {
    __m128i zero = _mm_setzero_si128();
    __m128i evenBytes = _mm_set1_epi16(0x00FF);
    __m128i low32 = _mm_set1_epi64x(0xFFFFFFFFll);
    __m128i low16 = _mm_set1_epi32(0xFFFF);
    __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    __m128i greyWeights = _mm_set1_epi32(0x00010101); // bytes 1, 1, 1, 0
    // (x × 683) >> 11 == (x × 21856) >> 16: the quotient lands in byte 2 of the 32-bit lane.
    __m128i divideBy3 = _mm_set1_epi16(static_cast<short>(kDivideBy3Multiplier << (16 - kDivideBy3Shift)));
    __m128i toGreen = _mm_setr_epi8(-1, 2, -1, -1, -1, 6, -1, -1, -1, 10, -1, -1, -1, 14, -1, -1);
    __m128i toGrey = _mm_setr_epi8(2, 2, 2, -1, 6, 6, 6, -1, 10, 10, 10, -1, 14, 14, 14, -1);
    __m128i multiplier; // 16-bit lanes b, g, r: m << 5; alpha: 256
    __m128i clamp; // bytes b, g, r: the threshold; alpha: 255

    explicit Constants(const KernelParams& params)
        : multiplier(_mm_set1_epi64x(
            static_cast<long long>((std::uint64_t { 256 } << 48) | (std::uint64_t { params.multiplier } << 37)
                | (std::uint64_t { params.multiplier } << 21) | (std::uint64_t { params.multiplier } << 5))))
        , clamp(_mm_set1_epi32(
              static_cast<int>(0xFF000000u | (std::uint32_t { params.threshold } * 0x010101u))))
    {
    }
};

template <bool Gain, int Filter> inline __m128i process(__m128i px, const Constants& k)
{
    __m128i v = px;
    if constexpr (Gain) {
        const __m128i c = _mm_min_epu8(px, k.clamp);
        const __m128i lo = _mm_mulhi_epu16(_mm_unpacklo_epi8(k.zero, c), k.multiplier);
        const __m128i hi = _mm_mulhi_epu16(_mm_unpackhi_epi8(k.zero, c), k.multiplier);
        v = _mm_packus_epi16(lo, hi);
    }
    if constexpr (Filter != 0) {
        const __m128i pairs = _mm_maddubs_epi16(v, k.greyWeights); // b + g, r + 0
        const __m128i grey = _mm_madd_epi16(pairs, k.divideBy3);
        v = _mm_shuffle_epi8(grey, Filter == 1 ? k.toGreen : k.toGrey); // alpha byte now 0
        v = _mm_blendv_epi8(v, px, k.alpha);
    }
    return v;
}

// The window's channel sums: 16-bit lanes for the hot loop, 64-bit lanes for the total.
class Sums {
public:
    explicit Sums(const Constants& k)
        : m_k(k)
    {
    }

    // How many of `wanted` steps may be added before the next flush (at least one).
    std::size_t reserve(std::size_t wanted)
    {
        if (m_stepsLeft == 0)
            flush();
        const std::size_t steps = std::min(wanted, m_stepsLeft);
        m_stepsLeft -= steps;
        return steps;
    }

    void add(__m128i px)
    {
        m_evens = _mm_add_epi16(m_evens, _mm_and_si128(px, m_k.evenBytes));
        m_odds = _mm_add_epi16(m_odds, _mm_srli_epi16(px, 8));
    }

    // The vector sums plus those of the pixels done one by one.
    ChannelSums total(const ChannelSums& scalar)
    {
        flush();
        return { scalar.b + horizontal(m_b), scalar.g + horizontal(m_g), scalar.r + horizontal(m_r) };
    }

private:
    // Each 32-bit lane is one pixel slot: b | r << 16 in the evens, g | a << 16 in the odds.
    void flush()
    {
        m_b = _mm_add_epi64(m_b, widen(_mm_and_si128(m_evens, m_k.low16)));
        m_r = _mm_add_epi64(m_r, widen(_mm_srli_epi32(m_evens, 16)));
        m_g = _mm_add_epi64(m_g, widen(_mm_and_si128(m_odds, m_k.low16)));
        m_evens = m_odds = m_k.zero;
        m_stepsLeft = kStepsPerFlush;
    }

    __m128i widen(__m128i lanes32) const
    {
        return _mm_add_epi64(_mm_and_si128(lanes32, m_k.low32), _mm_srli_epi64(lanes32, 32));
    }

    static std::uint64_t horizontal(__m128i lanes)
    {
        alignas(16) std::uint64_t words[2];
        _mm_store_si128(reinterpret_cast<__m128i*>(words), lanes);
        return words[0] + words[1];
    }

    const Constants& m_k;
    __m128i m_evens { m_k.zero };
    __m128i m_odds { m_k.zero };
    __m128i m_b { m_k.zero };
    __m128i m_g { m_k.zero };
    __m128i m_r { m_k.zero };
    std::size_t m_stepsLeft { kStepsPerFlush };
};

template <bool Gain, int Filter>
ChannelSums run(
    std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window, const KernelParams& params)
{
    constexpr bool kWrites = Gain || Filter != 0;
    const Constants k(params);
    Sums sums(k);
    ChannelSums tail;
    const std::size_t count = window.x1 - window.x0;
    const std::size_t steps = count / kPixelsPerStep;
    const std::size_t rest = count % kPixelsPerStep;
    for (std::size_t y = window.y0; y < window.y1; ++y) {
        std::uint8_t* p = base + y * bytesPerRow + 4 * window.x0;
        for (std::size_t left = steps; left > 0;) {
            const std::size_t block = sums.reserve(left);
            left -= block;
            for (std::uint8_t* const end = p + 4 * kPixelsPerStep * block; p != end;
                 p += 4 * kPixelsPerStep) {
                const __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
                sums.add(px);
                if constexpr (kWrites)
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), process<Gain, Filter>(px, k));
            }
        }
        // SSE4.1 has no masked load or store: the last pixels of the row go the per-pixel way.
        for (std::size_t x = 0; x < rest; ++x, p += 4)
            enhancePixel<Gain, Filter>(p, params, tail);
    }
    return sums.total(tail);
}

} // namespace

ChannelSums enhanceSse41(
    std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window, const KernelParams& params)
{
    return dispatchByGainAndFilter(params, [&](auto gain, auto filter) {
        return run<decltype(gain)::value, decltype(filter)::value>(base, bytesPerRow, window, params);
    });
}

} // namespace imaging::detail

#pragma GCC pop_options
