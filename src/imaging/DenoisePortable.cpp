// The portable path of the temporal filter with the enhancement fused in: any CPU, and the one
// arm64 runs. A block of sixteen pixels is spread into 16-lane arrays per channel in the state's
// lane order, and every step after that is a loop over the 16 lanes with no branch, which the
// vectoriser turns into whole-register operations (the file is built with -O3). The pixels after
// the last whole block of a row take the per-pixel rule.

#include "imaging/DenoiseKernels.h"

namespace imaging::detail {

namespace {

constexpr std::size_t kLanes = kDenoiseBlock;
// Blocks whose filtered bytes the 32-bit sums hold: 2^19 × 16 × 255 < 2^32.
constexpr std::size_t kBlocksPerFlush = std::size_t { 1 } << 19;

template <bool Gain, int Filter>
void block(std::uint8_t* __restrict p, std::uint16_t* __restrict s, const DenoiseParams& q,
    const KernelParams& e, std::uint32_t (&sum)[3])
{
    std::uint16_t b[kLanes], g[kLanes], r[kLanes];
    for (std::size_t j = 0; j < kLanes; ++j) {
        const std::uint8_t* px = p + 4 * laneOf(j);
        b[j] = px[0];
        g[j] = px[1];
        r[j] = px[2];
    }
    for (std::size_t j = 0; j < kLanes; ++j) {
        const int diffB = (int { b[j] } << 4) - s[j];
        const int diffG = (int { g[j] } << 4) - s[kLanes + j];
        const int diffR = (int { r[j] } << 4) - s[2 * kLanes + j];
        const int k = weightOf(
            (diffB < 0 ? -diffB : diffB) + (diffG < 0 ? -diffG : diffG) + (diffR < 0 ? -diffR : diffR), q);
        b[j] = static_cast<std::uint16_t>(stepEstimate(s[j], diffB, k));
        g[j] = static_cast<std::uint16_t>(stepEstimate(s[kLanes + j], diffG, k));
        r[j] = static_cast<std::uint16_t>(stepEstimate(s[2 * kLanes + j], diffR, k));
    }
    for (std::size_t j = 0; j < kLanes; ++j) {
        sum[0] += b[j];
        sum[1] += g[j];
        sum[2] += r[j];
    }
    if constexpr (Gain) {
        // Clamped first, so the product stays below 4080 (EnhanceKernels.h).
        const std::uint16_t m = e.multiplier, t = e.threshold;
        for (std::size_t j = 0; j < kLanes; ++j) {
            const auto gain = [&](std::uint16_t c) {
                const unsigned v = (unsigned { c < t ? c : t } * m) >> 3;
                return static_cast<std::uint16_t>(v < 255 ? v : 255);
            };
            b[j] = gain(b[j]);
            g[j] = gain(g[j]);
            r[j] = gain(r[j]);
        }
    }
    if constexpr (Filter != 0) {
        for (std::size_t j = 0; j < kLanes; ++j) {
            const auto grey = static_cast<std::uint16_t>(
                ((unsigned { b[j] } + g[j] + r[j]) * kDivideBy3Multiplier) >> kDivideBy3Shift);
            g[j] = grey;
            b[j] = r[j] = Filter == 1 ? 0 : grey;
        }
    }
    for (std::size_t j = 0; j < kLanes; ++j) {
        std::uint8_t* px = p + 4 * laneOf(j);
        px[0] = static_cast<std::uint8_t>(b[j]);
        px[1] = static_cast<std::uint8_t>(g[j]);
        px[2] = static_cast<std::uint8_t>(r[j]);
    }
}

template <bool Gain, int Filter>
ChannelSums run(
    std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window, const DenoiseFrame& frame)
{
    ChannelSums sums;
    const std::size_t width = window.x1 - window.x0;
    const std::size_t blocks = width / kDenoiseBlock;
    const std::size_t rowValues = denoiseRowValues(width);
    for (std::size_t y = window.y0; y < window.y1; ++y) {
        std::uint8_t* p = base + y * bytesPerRow + 4 * window.x0;
        std::uint16_t* s = frame.state + (y - window.y0) * rowValues;
        for (std::size_t done = 0; done < blocks;) {
            const std::size_t count = blocks - done < kBlocksPerFlush ? blocks - done : kBlocksPerFlush;
            std::uint32_t sum[3] = { 0, 0, 0 };
            for (std::size_t i = 0; i < count; ++i, p += 4 * kDenoiseBlock, s += kDenoiseBlockValues)
                block<Gain, Filter>(p, s, frame.denoise, frame.enhance, sum);
            sums.b += sum[0];
            sums.g += sum[1];
            sums.r += sum[2];
            done += count;
        }
        for (std::size_t x = 0; x < width % kDenoiseBlock; ++x)
            denoisePixel<Gain, Filter>(p + 4 * x, s + laneOf(x), frame.denoise, frame.enhance, sums);
    }
    return sums;
}

} // namespace

ChannelSums denoisePortable(
    std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window, const DenoiseFrame& frame)
{
    return dispatchByGainAndFilter(frame.enhance, [&](auto gain, auto filter) {
        return run<decltype(gain)::value, decltype(filter)::value>(base, bytesPerRow, window, frame);
    });
}

} // namespace imaging::detail
