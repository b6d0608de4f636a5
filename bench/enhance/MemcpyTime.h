#pragma once

// The yardstick of the kernels' vs_memcpy in the frame-path and save-photo benchmarks: the seconds
// of one memcpy of `bytes`, timed over a few passes.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include <QElapsedTimer>

#include <benchmark/benchmark.h>

inline double memcpySeconds(std::size_t bytes)
{
    std::vector<std::uint8_t> from(bytes, 7), to(bytes);
    constexpr int kPasses = 20;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kPasses; ++i) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    return double(timer.nsecsElapsed()) * 1e-9 / kPasses;
}
