// The AVX2 path of the temporal filter with the enhancement fused in: sixteen pixels a step, as
// sixteen 16-bit lanes per channel (b, g and r each in a register of their own, so the weight k
// is computed once per lane and needs no spreading over a pixel's channels).
//
// Bytes to lanes: one byte shuffle per 128-bit half gathers a group of four pixels into
// b b b b g g g g r r r r a a a a; a 32-bit unpack of the two registers' groups and an 8-bit
// unpack with zero leave pixels 0-3, 8-11 | 4-7, 12-15 in the channel registers, the state's
// order (DenoiseKernels.h). The 16-bit unpack of (b | g << 8) and (r | a << 8) at the end undoes
// exactly that order.

#include "imaging/DenoiseKernels.h"

#if defined(__x86_64__) || defined(__i386__)

#include <algorithm>

#include <immintrin.h>

// Only this file's own functions are compiled for AVX2; the shared headers stay generic.
#pragma GCC push_options
#pragma GCC target("avx2")

namespace imaging::detail {

namespace {

// Steps whose filtered bytes the 16-bit sums hold: 256 × 255 < 65536.
constexpr std::size_t kStepsPerFlush = 256;

struct Constants {
    __m256i zero = _mm256_setzero_si256();
    __m256i byChannel = _mm256_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15, //
        0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
    __m256i low16 = _mm256_set1_epi32(0xFFFF);
    __m256i eight = _mm256_set1_epi16(8);
    __m256i full = _mm256_set1_epi16(256);
    __m256i max = _mm256_set1_epi16(255);
    __m256i divideBy3 = _mm256_set1_epi16(static_cast<short>(kDivideBy3Multiplier));
    __m256i kMin;
    __m256i threshold;
    __m256i span;
    __m256i slope;
    __m256i multiplier;
    __m256i clamp;

    Constants(const DenoiseParams& q, const KernelParams& e)
        : kMin(_mm256_set1_epi16(static_cast<short>(q.kMin)))
        , threshold(_mm256_set1_epi16(static_cast<short>(q.threshold)))
        , span(_mm256_set1_epi16(static_cast<short>(q.span)))
        , slope(_mm256_set1_epi16(static_cast<short>(q.slope)))
        , multiplier(_mm256_set1_epi16(static_cast<short>(e.multiplier)))
        , clamp(_mm256_set1_epi16(static_cast<short>(e.threshold)))
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

    void add(__m256i b, __m256i g, __m256i r)
    {
        if (m_stepsLeft == 0)
            flush();
        --m_stepsLeft;
        m_b = _mm256_add_epi16(m_b, b);
        m_g = _mm256_add_epi16(m_g, g);
        m_r = _mm256_add_epi16(m_r, r);
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

    void widen(__m256i& lanes16, __m256i& lanes64) const
    {
        // Unsigned: a lane holds up to 65280, which a signed multiply-add would read as negative.
        const __m256i pairs = _mm256_add_epi32(
            _mm256_and_si256(lanes16, m_k.low16), _mm256_srli_epi32(lanes16, 16)); // at most 2 × 65280
        lanes64 = _mm256_add_epi64(lanes64, _mm256_cvtepu32_epi64(_mm256_castsi256_si128(pairs)));
        lanes64 = _mm256_add_epi64(lanes64, _mm256_cvtepu32_epi64(_mm256_extracti128_si256(pairs, 1)));
        lanes16 = m_k.zero;
    }

    static std::uint64_t horizontal(__m256i lanes)
    {
        alignas(32) std::uint64_t words[4];
        _mm256_store_si256(reinterpret_cast<__m256i*>(words), lanes);
        return words[0] + words[1] + words[2] + words[3];
    }

    const Constants& m_k;
    __m256i m_b { m_k.zero }, m_g { m_k.zero }, m_r { m_k.zero };
    __m256i m_b64 { m_k.zero }, m_g64 { m_k.zero }, m_r64 { m_k.zero };
    std::size_t m_stepsLeft { kStepsPerFlush };
};

// One channel's estimates move by the weighted difference; returns the filtered bytes, 16-bit.
inline __m256i step(std::uint16_t* s, __m256i estimate, __m256i diff, __m256i weight, const Constants& k)
{
    estimate = _mm256_add_epi16(estimate, _mm256_mulhrs_epi16(_mm256_slli_epi16(diff, 1), weight));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(s), estimate);
    return _mm256_srli_epi16(_mm256_add_epi16(estimate, k.eight), 4);
}

inline __m256i gained(__m256i c, const Constants& k)
{
    return _mm256_min_epu16(
        _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_min_epu16(c, k.clamp), k.multiplier), 3), k.max);
}

template <bool Gain, int Filter>
inline void block(std::uint8_t* p, std::uint16_t* s, const Constants& k, Sums& sums)
{
    const __m256i first
        = _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), k.byChannel);
    const __m256i second
        = _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32)), k.byChannel);
    const __m256i bg = _mm256_unpacklo_epi32(first, second);
    const __m256i ra = _mm256_unpackhi_epi32(first, second);
    const __m256i alpha = _mm256_unpackhi_epi8(k.zero, ra); // a << 8

    const __m256i curB = _mm256_slli_epi16(_mm256_unpacklo_epi8(bg, k.zero), 4);
    const __m256i curG = _mm256_slli_epi16(_mm256_unpackhi_epi8(bg, k.zero), 4);
    const __m256i curR = _mm256_slli_epi16(_mm256_unpacklo_epi8(ra, k.zero), 4);
    const __m256i estimateB = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s));
    const __m256i estimateG = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 16));
    const __m256i estimateR = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 32));
    const __m256i diffB = _mm256_sub_epi16(curB, estimateB);
    const __m256i diffG = _mm256_sub_epi16(curG, estimateG);
    const __m256i diffR = _mm256_sub_epi16(curR, estimateR);
    const __m256i sad = _mm256_add_epi16(
        _mm256_add_epi16(_mm256_abs_epi16(diffB), _mm256_abs_epi16(diffG)), _mm256_abs_epi16(diffR));
    const __m256i d = _mm256_min_epu16(_mm256_subs_epu16(sad, k.threshold), k.span);
    const __m256i weight = _mm256_slli_epi16(
        _mm256_min_epu16(_mm256_add_epi16(_mm256_mulhi_epu16(d, k.slope), k.kMin), k.full), 6);
    __m256i b = step(s, estimateB, diffB, weight, k);
    __m256i g = step(s + 16, estimateG, diffG, weight, k);
    __m256i r = step(s + 32, estimateR, diffR, weight, k);
    sums.add(b, g, r);

    if constexpr (Gain) {
        b = gained(b, k);
        g = gained(g, k);
        r = gained(r, k);
    }
    if constexpr (Filter != 0) {
        // (b + g + r) × 32 fits 16 bits; its high half times 683 is (b + g + r) × 683 >> 11.
        const __m256i grey = _mm256_mulhi_epu16(
            _mm256_slli_epi16(_mm256_add_epi16(_mm256_add_epi16(b, g), r), 16 - kDivideBy3Shift),
            k.divideBy3);
        g = grey;
        b = r = Filter == 1 ? k.zero : grey;
    }
    const __m256i outBg = _mm256_or_si256(b, _mm256_slli_epi16(g, 8));
    const __m256i outRa = _mm256_or_si256(r, alpha);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm256_unpacklo_epi16(outBg, outRa));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + 32), _mm256_unpackhi_epi16(outBg, outRa));
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
        for (std::size_t i = 0; i < blocks; ++i, p += 4 * kDenoiseBlock, s += kDenoiseBlockValues)
            block<Gain, Filter>(p, s, k, sums);
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

ChannelSums denoiseAvx2(
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

ChannelSums denoiseAvx2(
    std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window, const DenoiseFrame& frame)
{
    return denoisePortable(base, bytesPerRow, window, frame);
}

} // namespace imaging::detail

#endif
