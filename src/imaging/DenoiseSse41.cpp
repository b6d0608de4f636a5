// The SSE4.1 path of the temporal filter with the enhancement fused in: a block of sixteen pixels
// as two halves of eight 16-bit lanes per channel. The low half takes pixels 0-3 and 8-11, the
// high half 4-7 and 12-15, which is the state's lane order (DenoiseKernels.h): a byte shuffle
// gathers each group of four pixels into b b b b g g g g r r r r a a a a, 32-bit and 8-bit unpacks
// make the channel lanes, and the 16-bit unpack of (b | g << 8) and (r | a << 8) undoes them.

#include "imaging/DenoiseKernels.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

// Only this file's own functions are compiled for SSE4.1; the shared headers stay generic.
#pragma GCC push_options
#pragma GCC target("sse4.1")

namespace imaging::detail {

namespace {

// Steps whose filtered bytes the 16-bit sums hold: 256 × 255 < 65536 (two halves a step).
constexpr std::size_t kStepsPerFlush = 128;

struct Constants {
    __m128i zero = _mm_setzero_si128();
    __m128i byChannel = _mm_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
    __m128i low16 = _mm_set1_epi32(0xFFFF);
    __m128i eight = _mm_set1_epi16(8);
    __m128i full = _mm_set1_epi16(256);
    __m128i max = _mm_set1_epi16(255);
    __m128i divideBy3 = _mm_set1_epi16(static_cast<short>(kDivideBy3Multiplier));
    __m128i kMin;
    __m128i threshold;
    __m128i span;
    __m128i slope;
    __m128i multiplier;
    __m128i clamp;

    Constants(const DenoiseParams& q, const KernelParams& e)
        : kMin(_mm_set1_epi16(static_cast<short>(q.kMin)))
        , threshold(_mm_set1_epi16(static_cast<short>(q.threshold)))
        , span(_mm_set1_epi16(static_cast<short>(q.span)))
        , slope(_mm_set1_epi16(static_cast<short>(q.slope)))
        , multiplier(_mm_set1_epi16(static_cast<short>(e.multiplier)))
        , clamp(_mm_set1_epi16(static_cast<short>(e.threshold)))
    {
    }
};

// The filtered bytes' sums: 16-bit lanes in the loop, 64-bit lanes for the total.
class Sums {
public:
    explicit Sums(const Constants& k)
        : m_k(k)
    {
    }

    void reserve()
    {
        if (m_stepsLeft == 0)
            flush();
        --m_stepsLeft;
    }

    void add(__m128i b, __m128i g, __m128i r)
    {
        m_b = _mm_add_epi16(m_b, b);
        m_g = _mm_add_epi16(m_g, g);
        m_r = _mm_add_epi16(m_r, r);
    }

    ChannelSums total()
    {
        flush();
        return { horizontal(m_b64), horizontal(m_g64), horizontal(m_r64) };
    }

private:
    void flush()
    {
        widen(m_b, m_b64);
        widen(m_g, m_g64);
        widen(m_r, m_r64);
        m_stepsLeft = kStepsPerFlush;
    }

    void widen(__m128i& lanes16, __m128i& lanes64) const
    {
        // Unsigned: a lane holds up to 65280, which a signed multiply-add would read as negative.
        const __m128i pairs = _mm_add_epi32(_mm_and_si128(lanes16, m_k.low16), _mm_srli_epi32(lanes16, 16));
        lanes64 = _mm_add_epi64(lanes64, _mm_cvtepu32_epi64(pairs));
        lanes64 = _mm_add_epi64(lanes64, _mm_cvtepu32_epi64(_mm_srli_si128(pairs, 8)));
        lanes16 = m_k.zero;
    }

    static std::uint64_t horizontal(__m128i lanes)
    {
        return static_cast<std::uint64_t>(_mm_cvtsi128_si64(lanes))
            + static_cast<std::uint64_t>(_mm_extract_epi64(lanes, 1));
    }

    const Constants& m_k;
    __m128i m_b { m_k.zero }, m_g { m_k.zero }, m_r { m_k.zero };
    __m128i m_b64 { m_k.zero }, m_g64 { m_k.zero }, m_r64 { m_k.zero };
    std::size_t m_stepsLeft { kStepsPerFlush };
};

inline __m128i step(std::uint16_t* s, __m128i estimate, __m128i diff, __m128i weight, const Constants& k)
{
    estimate = _mm_add_epi16(estimate, _mm_mulhrs_epi16(_mm_slli_epi16(diff, 1), weight));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(s), estimate);
    return _mm_srli_epi16(_mm_add_epi16(estimate, k.eight), 4);
}

inline __m128i gained(__m128i c, const Constants& k)
{
    return _mm_min_epu16(_mm_srli_epi16(_mm_mullo_epi16(_mm_min_epu16(c, k.clamp), k.multiplier), 3), k.max);
}

// Eight lanes: the four pixels at a and the four at b (16 bytes each); s: their b estimates.
template <bool Gain, int Filter>
inline void half(std::uint8_t* a, std::uint8_t* b, std::uint16_t* s, const Constants& k, Sums& sums)
{
    const __m128i first = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a)), k.byChannel);
    const __m128i second
        = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b)), k.byChannel);
    const __m128i bg = _mm_unpacklo_epi32(first, second);
    const __m128i ra = _mm_unpackhi_epi32(first, second);
    const __m128i alpha = _mm_unpackhi_epi8(k.zero, ra); // a << 8

    const __m128i estimateB = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    const __m128i estimateG = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16));
    const __m128i estimateR = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 32));
    const __m128i diffB = _mm_sub_epi16(_mm_slli_epi16(_mm_unpacklo_epi8(bg, k.zero), 4), estimateB);
    const __m128i diffG = _mm_sub_epi16(_mm_slli_epi16(_mm_unpackhi_epi8(bg, k.zero), 4), estimateG);
    const __m128i diffR = _mm_sub_epi16(_mm_slli_epi16(_mm_unpacklo_epi8(ra, k.zero), 4), estimateR);
    const __m128i sad
        = _mm_add_epi16(_mm_add_epi16(_mm_abs_epi16(diffB), _mm_abs_epi16(diffG)), _mm_abs_epi16(diffR));
    const __m128i d = _mm_min_epu16(_mm_subs_epu16(sad, k.threshold), k.span);
    const __m128i weight
        = _mm_slli_epi16(_mm_min_epu16(_mm_add_epi16(_mm_mulhi_epu16(d, k.slope), k.kMin), k.full), 6);
    __m128i outB = step(s, estimateB, diffB, weight, k);
    __m128i outG = step(s + 16, estimateG, diffG, weight, k);
    __m128i outR = step(s + 32, estimateR, diffR, weight, k);
    sums.add(outB, outG, outR);

    if constexpr (Gain) {
        outB = gained(outB, k);
        outG = gained(outG, k);
        outR = gained(outR, k);
    }
    if constexpr (Filter != 0) {
        const __m128i grey = _mm_mulhi_epu16(
            _mm_slli_epi16(_mm_add_epi16(_mm_add_epi16(outB, outG), outR), 16 - kDivideBy3Shift),
            k.divideBy3);
        outG = grey;
        outB = outR = Filter == 1 ? k.zero : grey;
    }
    const __m128i outBg = _mm_or_si128(outB, _mm_slli_epi16(outG, 8));
    const __m128i outRa = _mm_or_si128(outR, alpha);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(a), _mm_unpacklo_epi16(outBg, outRa));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(b), _mm_unpackhi_epi16(outBg, outRa));
}

template <bool Gain, int Filter>
ChannelSums run(
    std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window, const DenoiseFrame& frame)
{
    const Constants k(frame.denoise, frame.enhance);
    Sums sums(k);
    ChannelSums tail;
    const std::size_t width = window.x1 - window.x0;
    const std::size_t blocks = width / kDenoiseBlock;
    const std::size_t rowValues = denoiseRowValues(width);
    for (std::size_t y = window.y0; y < window.y1; ++y) {
        std::uint8_t* p = base + y * bytesPerRow + 4 * window.x0;
        std::uint16_t* s = frame.state + (y - window.y0) * rowValues;
        for (std::size_t i = 0; i < blocks; ++i, p += 4 * kDenoiseBlock, s += kDenoiseBlockValues) {
            sums.reserve();
            half<Gain, Filter>(p, p + 32, s, k, sums);
            half<Gain, Filter>(p + 16, p + 48, s + 8, k, sums);
        }
        for (std::size_t x = 0; x < width % kDenoiseBlock; ++x)
            denoisePixel<Gain, Filter>(p + 4 * x, s + laneOf(x), frame.denoise, frame.enhance, tail);
    }
    ChannelSums total = sums.total();
    total.b += tail.b;
    total.g += tail.g;
    total.r += tail.r;
    return total;
}

} // namespace

ChannelSums denoiseSse41(
    std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window, const DenoiseFrame& frame)
{
    return dispatchByGainAndFilter(frame.enhance, [&](auto gain, auto filter) {
        return run<decltype(gain)::value, decltype(filter)::value>(base, bytesPerRow, window, frame);
    });
}

} // namespace imaging::detail

#pragma GCC pop_options

#else

namespace imaging::detail {

ChannelSums denoiseSse41(
    std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window, const DenoiseFrame& frame)
{
    return denoisePortable(base, bytesPerRow, window, frame);
}

} // namespace imaging::detail

#endif
