// The portable path: runs on any CPU and finishes the rows of the vector paths.
//
// Written for the compiler's vectoriser: one 32-bit lane per pixel, every step a shift, mask,
// multiply or min (no branch in the inner loop), restrict-qualified rows, and per-row sums in
// 32-bit lanes that are folded into the 64-bit totals once a row. The gain clamps the channel to
// the threshold first, so the product stays below 2040 + 2040 and fits a 16-bit lane as well.

#include "imaging/EnhanceKernels.h"

#include <cstring>

namespace imaging::detail {

namespace {

// A row's 32-bit sums hold at most this many pixels (255 × 2^24 < 2^32).
constexpr std::size_t kPixelsPerSumBlock = std::size_t { 1 } << 24;

// Signed 16-bit on purpose: every value fits, and the baseline x86-64 instruction set has a
// 16-bit multiply and a signed 16-bit min but neither a 32-bit multiply nor an unsigned min.
inline std::uint32_t gained(std::uint32_t c, std::int16_t multiplier, std::int16_t threshold)
{
    const auto c16 = static_cast<std::int16_t>(c);
    const std::int16_t clamped = c16 < threshold ? c16 : threshold;
    const auto value = static_cast<std::int16_t>(static_cast<std::int16_t>(clamped * multiplier) >> 3);
    return static_cast<std::uint32_t>(value < 255 ? value : 255);
}

// (x × 683) >> 11 as the high half of a 16 × 16-bit product: x × 32 still fits 16 bits, and
// the baseline instruction set has that multiply (a full 32-bit one it lacks).
inline std::uint32_t divideBy3(std::uint32_t sum)
{
    const auto scaled = static_cast<std::uint16_t>(sum << (16 - kDivideBy3Shift));
    return (std::uint32_t { scaled } * static_cast<std::uint16_t>(kDivideBy3Multiplier)) >> 16;
}

template <bool Gain, int Filter>
void runBlock(std::uint8_t* __restrict row, std::size_t count, const KernelParams& params, ChannelSums& sums)
{
    const auto multiplier = static_cast<std::int16_t>(params.multiplier);
    const auto threshold = static_cast<std::int16_t>(params.threshold);
    std::uint32_t sumB = 0, sumG = 0, sumR = 0;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t w;
        std::memcpy(&w, row + 4 * i, 4); // little-endian: b, g, r, a from the low byte up
        std::uint32_t b = w & 0xFF, g = (w >> 8) & 0xFF, r = (w >> 16) & 0xFF;
        sumB += b;
        sumG += g;
        sumR += r;
        if constexpr (!Gain && Filter == 0)
            continue;
        if constexpr (Gain) {
            b = gained(b, multiplier, threshold);
            g = gained(g, multiplier, threshold);
            r = gained(r, multiplier, threshold);
        }
        if constexpr (Filter != 0) {
            const std::uint32_t grey = divideBy3(b + g + r);
            g = grey;
            b = r = Filter == 1 ? 0 : grey;
        }
        const std::uint32_t out = (w & 0xFF000000u) | (r << 16) | (g << 8) | b;
        std::memcpy(row + 4 * i, &out, 4);
    }
    sums.b += sumB;
    sums.g += sumG;
    sums.r += sumR;
}

template <bool Gain, int Filter>
ChannelSums run(
    std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window, const KernelParams& params)
{
    ChannelSums sums;
    const std::size_t count = window.x1 - window.x0;
    for (std::size_t y = window.y0; y < window.y1; ++y) {
        std::uint8_t* row = base + y * bytesPerRow + 4 * window.x0;
        for (std::size_t done = 0; done < count; done += kPixelsPerSumBlock) {
            const std::size_t block = count - done < kPixelsPerSumBlock ? count - done : kPixelsPerSumBlock;
            runBlock<Gain, Filter>(row + 4 * done, block, params, sums);
        }
    }
    return sums;
}

} // namespace

ChannelSums enhancePortable(
    std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window, const KernelParams& params)
{
    return dispatchByGainAndFilter(params, [&](auto gain, auto filter) {
        return run<decltype(gain)::value, decltype(filter)::value>(base, bytesPerRow, window, params);
    });
}

} // namespace imaging::detail
