// Speed of the night-vision kernel next to memcpy and a plain in-place pass over the same bytes.
// The kernel is measured on every instruction set this CPU runs (its Highway targets, named in
// lower case: avx3 is AVX-512) on the still cases in the same run. Each case reports its
// GB/s and, as the counters "vs_memcpy" and "vs_rw_pass", its CPU time divided by that of memcpy
// and of the in-place read-and-write pass over the same number of bytes (below 1 is faster). The
// preview cases report theirs against memcpy of the window's bytes.

#include <cctype>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "imaging/CpuFeatures.h"
#include "imaging/FrameEnhancer.h"
#include "imaging/ScopeGeometry.h"

namespace {

using imaging::FrameEnhancer;
using imaging::FrameWindow;

constexpr std::size_t kStillWidth = 2592, kStillHeight = 1936;
constexpr std::size_t kPreviewWidth = 1280, kPreviewHeight = 720;
constexpr std::int32_t kPreviewRadius = 133; // a 266 × 266 window

std::vector<std::uint8_t> dimFrame(std::size_t width, std::size_t height)
{
    std::vector<std::uint8_t> frame(4 * width * height);
    std::mt19937 random(1);
    for (std::size_t i = 0; i < frame.size(); ++i)
        frame[i] = (i % 4 == 3) ? 255 : static_cast<std::uint8_t>(random() % 48);
    return frame;
}

// Seconds per pass of memcpy and of the read-and-write pass, measured once per byte count by
// their cases, which run first.
std::map<std::size_t, double>& memcpyTimes()
{
    static std::map<std::size_t, double> times;
    return times;
}

std::map<std::size_t, double>& readWriteTimes()
{
    static std::map<std::size_t, double> times;
    return times;
}

void reportRatio(benchmark::State& state, std::size_t bytes, double seconds)
{
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    if (state.iterations() == 0)
        return;
    const double perPass = seconds / static_cast<double>(state.iterations());
    if (const auto found = memcpyTimes().find(bytes); found != memcpyTimes().end())
        state.counters["vs_memcpy"] = perPass / found->second;
    if (const auto found = readWriteTimes().find(bytes); found != readWriteTimes().end())
        state.counters["vs_rw_pass"] = perPass / found->second;
}

// Thread CPU time, like the benchmark's own rates: on a shared machine wall time mostly measures
// the neighbours.
double cpuSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double elapsed(double start)
{
    return cpuSeconds() - start;
}

void memcpyFrame(benchmark::State& state, std::size_t bytes)
{
    std::vector<std::uint8_t> source(bytes, 7), target(bytes, 0);
    const double start = cpuSeconds();
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), bytes);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    memcpyTimes()[bytes] = elapsed(start) / static_cast<double>(state.iterations());
    reportRatio(state, bytes, elapsed(start));
}

void readWriteFrame(benchmark::State& state, std::size_t bytes)
{
    std::vector<std::uint8_t> frame(bytes, 7);
    const double start = cpuSeconds();
    for (auto _ : state) {
        auto* words = reinterpret_cast<volatile std::uint64_t*>(frame.data());
        for (std::size_t i = 0; i < bytes / 8; ++i)
            words[i] = words[i] + 1;
        benchmark::ClobberMemory();
    }
    readWriteTimes()[bytes] = elapsed(start) / static_cast<double>(state.iterations());
    reportRatio(state, bytes, elapsed(start));
}

void stillKernel(benchmark::State& state, std::int32_t level, std::int32_t filter, std::int64_t target)
{
    const imaging::ScopedKernelTarget scope(target);
    std::vector<std::uint8_t> frame = dimFrame(kStillWidth, kStillHeight);
    const FrameWindow whole { 0, 0, kStillWidth, kStillHeight };
    const double start = cpuSeconds();
    for (auto _ : state) {
        benchmark::DoNotOptimize(FrameEnhancer::enhance(frame.data(), 4 * kStillWidth, whole, level, filter));
        benchmark::ClobberMemory();
    }
    reportRatio(state, frame.size(), elapsed(start));
}

// The preview path: window choice and the kernel on the 266 × 266 centre of a 1280 × 720 frame.
// Cold: a 32 MB buffer is walked between iterations (outside the timing) so the window comes from
// memory, as it does for a fresh camera frame.
void previewWindow(benchmark::State& state, bool cold)
{
    std::vector<std::uint8_t> frame = dimFrame(kPreviewWidth, kPreviewHeight);
    std::vector<std::uint8_t> flush(32u << 20, 1);
    const FrameWindow window
        = imaging::ScopeGeometry::previewWindow(kPreviewWidth, kPreviewHeight, kPreviewRadius, 0.0f);
    const std::size_t windowBytes = 4 * window.pixelCount();
    std::uint64_t sink = 0;
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            for (std::size_t i = 0; i < flush.size(); i += 64)
                sink += ++flush[i];
            benchmark::DoNotOptimize(sink);
            state.ResumeTiming();
        }
        const FrameWindow w
            = imaging::ScopeGeometry::previewWindow(kPreviewWidth, kPreviewHeight, kPreviewRadius, 0.0f);
        benchmark::DoNotOptimize(FrameEnhancer::enhance(frame.data(), 4 * kPreviewWidth, w, 40, 1));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * windowBytes));
}

constexpr std::size_t kStillBytes = 4 * kStillWidth * kStillHeight;
constexpr std::size_t kWindowBytes = 4 * 266 * 266;

void registerAll()
{
    benchmark::RegisterBenchmark("still/memcpy", memcpyFrame, kStillBytes)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("still/read_write_pass", readWriteFrame, kStillBytes)
        ->Unit(benchmark::kMillisecond);
    struct Case {
        const char* name;
        std::int32_t level, filter;
    };
    // The best target first, down to the emulation.
    for (const std::int64_t target : imaging::kernelTargets()) {
        std::string name = imaging::kernelTargetName(target);
        for (char& c : name)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        for (const Case& c : { Case { "level40_rgb", 40, 0 }, Case { "level40_green", 40, 1 },
                 Case { "level40_bw", 40, 2 }, Case { "level0_green", 0, 1 } }) {
            benchmark::RegisterBenchmark(
                ("still/" + std::string(c.name) + "/" + name).c_str(), stillKernel, c.level, c.filter, target)
                ->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::RegisterBenchmark("window266/memcpy", memcpyFrame, kWindowBytes)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("window266/preview_warm", previewWindow, false)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("window266/preview_cold", previewWindow, true)
        ->Unit(benchmark::kMicrosecond);
}

} // namespace

int main(int argc, char** argv)
{
    registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
