#pragma once

// A tiny deterministic random source for the stand-in cameras: SplitMix64, so a frame's noise
// depends only on its seed and never on the library's generator or the platform.

#include <cstdint>

namespace platform::splitmix {

inline std::uint64_t next(std::uint64_t& state)
{
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// Uniform in [0, 1) with 53 bits.
inline double unit(std::uint64_t& state)
{
    return double(next(state) >> 11) * (1.0 / 9007199254740992.0);
}

} // namespace platform::splitmix
