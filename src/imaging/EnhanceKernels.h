#pragma once

// Internal to FrameEnhancer and the fused filter: the kernel (EnhanceSimd.cpp, one source for
// every instruction set) and its parameters.
//
// Gain without overflow: with m = level + 8 and T = ceil(2040 / m), c × m / 8 >= 255 exactly when
// c >= T. Below T, c × m < 2040, so the product fits 16 bits. Levels above 2032 behave like
// m = 2040 (every nonzero channel saturates), so the multiplier is capped there and never overflows.
// Grey: (b + g + r) / 3 == ((b + g + r) × 683) >> 11 for every sum up to 765.

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "imaging/FrameEnhancer.h"

namespace imaging::detail {

struct KernelParams {
    bool gain { false };
    std::uint16_t multiplier { 8 }; // min(level + 8, 2040)
    std::uint8_t threshold { 255 }; // ceil(2040 / multiplier); channels at or above it become 255
    std::int32_t filter { 0 }; // 0 none, 1 green, 2 grey (other values already mapped to 0)
};

// Internal linkage: the kernel sources include this too, and a shared inline copy must never be
// merged with one compiled for a wider CPU.
namespace {

inline KernelParams kernelParams(std::int32_t level, std::int32_t filter)
{
    KernelParams params;
    params.gain = level >= 1;
    if (params.gain) {
        const std::int64_t m = std::int64_t { level } + 8;
        params.multiplier = static_cast<std::uint16_t>(m > 2040 ? 2040 : m);
        params.threshold = static_cast<std::uint8_t>((2040 + params.multiplier - 1) / params.multiplier);
    }
    params.filter = (filter == 1 || filter == 2) ? filter : 0;
    return params;
}

constexpr std::uint32_t kDivideBy3Multiplier = 683;
constexpr int kDivideBy3Shift = 11;

// Picks the kernel instantiation for the gain and the filter once per call, so no pixel loop
// branches on them. `run` takes (std::bool_constant<Gain>, std::integral_constant<int, Filter>).
template <typename Run> ChannelSums dispatchByGainAndFilter(const KernelParams& params, Run&& run)
{
    using One = std::integral_constant<int, 1>;
    using Two = std::integral_constant<int, 2>;
    using None = std::integral_constant<int, 0>;
    if (params.gain) {
        switch (params.filter) {
        case 1:
            return run(std::true_type {}, One {});
        case 2:
            return run(std::true_type {}, Two {});
        default:
            return run(std::true_type {}, None {});
        }
    }
    switch (params.filter) {
    case 1:
        return run(std::false_type {}, One {});
    case 2:
        return run(std::false_type {}, Two {});
    default:
        return run(std::false_type {}, None {});
    }
}

} // namespace

// Enhances the window on the best instruction set the CPU runs; the sums are of its input.
ChannelSums enhance(
    std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window, const KernelParams& params);
// The Highway target enhance() dispatches to now ("AVX2", "NEON", ...).
const char* enhanceTarget();

} // namespace imaging::detail
