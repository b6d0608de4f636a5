// bench_frame_path: the cost of one camera frame on its way to the scope, for a 1920 × 1440
// Photo frame on a phone at scale 2 (scope radius 400 frame pixels), by stage:
//   delegate    the frame delegate: enhancement of the scope window plus the copy for the slot
//   enhance     the enhancement of the scope window alone (level 40, green)
//   draw        the picture-layer redraw: crop, turn, nearest-neighbour stretch into the
//               400 × 400-pixel layer, slot emptied
//   frame_path  all three in a row, as one frame takes them
//   denoise_window / denoise_frame  night mode's temporal filter on the scope window / the whole frame
//   frame_path_night  the frame path with night mode on (the filter fused with the enhancement)
//   delegate_recording  the frame delegate as the camera calls it, night mode off/on (first
//               argument), without and with a video recording (second): recording adds the
//               whole frame's copy into the encoder's buffer and its enhancement as a still there
// Each stage runs on one core; the budget for the whole path is 2 ms per frame.

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include "../enhance/MemcpyTime.h"
#include "imaging/CpuFeatures.h"
#include "imaging/FrameEnhancer.h"
#include "imaging/FramePipeline.h"
#include "imaging/ScopeCamera.h"
#include "imaging/ScopeGeometry.h"
#include "imaging/ScopeRenderer.h"
#include "imaging/ScopeSettings.h"
#include "imaging/TemporalDenoiser.h"
#include "platform/camera/SampleBuffer.h"
#include "platform/camera/StreamVideoDataOutput.h"
#include "platform/camera/VideoConnection.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1440;
constexpr std::int32_t kScaledRadius = 400; // 200 device pixels / previewScale 0.5

// The scope's parts as the camera screen wires them, without a camera.
struct Scope {
    imaging::ScopeSettings settings;
    imaging::ScopeGeometry geometry;
    imaging::FramePipeline pipeline { settings, geometry };
    imaging::ScopeCamera camera;
    imaging::ScopeRenderer renderer { settings, geometry, pipeline, camera };

    imaging::ImageSlot& qImage() { return pipeline.qImage(); }
    std::unique_ptr<imaging::ScopeImage> previewImageFromSampleBuffer(platform::SampleBuffer& frame)
    {
        return pipeline.previewImageFromSampleBuffer(frame);
    }
    QImage drawScope() { return renderer.renderScopeImage(2.0); }
};

struct Bench {
    Scope scope;
    QImage source;
    std::vector<std::uint8_t> frameBytes;

    Bench()
        : source(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied)
        , frameBytes(std::size_t(kWidth) * kHeight * 4)
    {
        for (int y = 0; y < kHeight; ++y) {
            auto* row = reinterpret_cast<QRgb*>(source.scanLine(y));
            for (int x = 0; x < kWidth; ++x)
                row[x] = qRgb((x * 7 + y) & 63, (x + y * 3) & 63, (x ^ y) & 63);
        }
        scope.geometry.setup(2.0f, false);
        scope.geometry.setScopeScreenScaledRadius(kScaledRadius);
        scope.settings.setScopeNightVisionMode(imaging::NightVisionMode::Manual);
        scope.settings.setScopeNightVisionLevel(40);
        scope.settings.setScopeNightVisionColorFilter(imaging::ColorFilter::Green);
    }
    // A fresh camera frame, as the camera delivers one to the delegate (not timed).
    platform::SampleBuffer frame()
    {
        std::memcpy(frameBytes.data(), source.constBits(), frameBytes.size());
        return std::move(*platform::SampleBuffer::fromMemory(frameBytes.data(), kWidth, kHeight, 4 * kWidth));
    }
};

Bench& bench()
{
    static Bench instance;
    return instance;
}

void BM_enhance(benchmark::State& state)
{
    Bench& b = bench();
    for (auto _ : state) {
        state.PauseTiming();
        platform::SampleBuffer frame = b.frame();
        state.ResumeTiming();
        platform::PixelBuffer& pixels = frame.imageBuffer();
        platform::PixelBuffer::ScopedLock lock(pixels);
        const auto window = imaging::ScopeGeometry::previewWindow(kWidth, kHeight, kScaledRadius, 0.0f);
        benchmark::DoNotOptimize(imaging::FrameEnhancer::enhance(
            pixels.baseAddress(), pixels.bytesPerRow(), window, 40, imaging::ColorFilter::Green));
    }
}

void BM_delegate(benchmark::State& state)
{
    Bench& b = bench();
    for (auto _ : state) {
        state.PauseTiming();
        platform::SampleBuffer frame = b.frame();
        state.ResumeTiming();
        benchmark::DoNotOptimize(b.scope.previewImageFromSampleBuffer(frame));
    }
}

void BM_draw(benchmark::State& state)
{
    Bench& b = bench();
    for (auto _ : state) {
        state.PauseTiming();
        platform::SampleBuffer frame = b.frame();
        b.scope.qImage().fill(b.scope.previewImageFromSampleBuffer(frame));
        state.ResumeTiming();
        benchmark::DoNotOptimize(b.scope.drawScope());
    }
}

void BM_frame_path(benchmark::State& state)
{
    Bench& b = bench();
    for (auto _ : state) {
        state.PauseTiming();
        platform::SampleBuffer frame = b.frame();
        state.ResumeTiming();
        b.scope.qImage().fill(b.scope.previewImageFromSampleBuffer(frame));
        benchmark::DoNotOptimize(b.scope.drawScope());
    }
}

// Argument: the index of the target in imaging::kernelTargets() (0 is the best, the one the app
// runs). The filter settles on the bench's still picture first, so the timed frames take the
// still path.
void denoise(benchmark::State& state, const imaging::FrameWindow& window)
{
    const std::int64_t target = imaging::kernelTargets().at(std::size_t(state.range(0)));
    const imaging::ScopedKernelTarget scope(target);
    Bench& b = bench();
    imaging::TemporalDenoiser denoiser;
    for (int i = 0; i < 4; ++i) {
        platform::SampleBuffer frame = b.frame();
        platform::PixelBuffer::ScopedLock lock(frame.imageBuffer());
        denoiser.filter(frame.imageBuffer().baseAddress(), frame.imageBuffer().bytesPerRow(), window);
    }
    qint64 kernelNanoseconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        platform::SampleBuffer frame = b.frame();
        state.ResumeTiming();
        platform::PixelBuffer& pixels = frame.imageBuffer();
        platform::PixelBuffer::ScopedLock lock(pixels);
        QElapsedTimer timer;
        timer.start();
        denoiser.filter(pixels.baseAddress(), pixels.bytesPerRow(), window);
        kernelNanoseconds += timer.nsecsElapsed();
    }
    state.SetLabel(imaging::kernelTargetName(target));
    if (state.iterations() > 0)
        state.counters["vs_memcpy"] = double(kernelNanoseconds) * 1e-9 / double(state.iterations())
            / memcpySeconds(4 * window.pixelCount());
}

void everyTarget(benchmark::internal::Benchmark* b)
{
    b->DenseRange(0, int(imaging::kernelTargets().size()) - 1);
}

void BM_denoise_window(benchmark::State& state)
{
    denoise(state, imaging::ScopeGeometry::previewWindow(kWidth, kHeight, kScaledRadius, 0.0f));
}

void BM_denoise_frame(benchmark::State& state)
{
    denoise(state, imaging::FrameWindow { 0, 0, kWidth, kHeight });
}

// The same road with night mode on: the pipeline filters and brightens the window in one pass.
void BM_frame_path_night(benchmark::State& state)
{
    Bench& b = bench();
    b.scope.settings.setNightMode(true);
    for (auto _ : state) {
        state.PauseTiming();
        platform::SampleBuffer frame = b.frame();
        state.ResumeTiming();
        b.scope.qImage().fill(b.scope.previewImageFromSampleBuffer(frame));
        benchmark::DoNotOptimize(b.scope.drawScope());
    }
    b.scope.settings.setNightMode(false);
}

// An encoder's input buffer, without the encoder (its cost is bench_video's).
struct BufferSink final : imaging::VideoFrameSink {
    std::vector<std::uint8_t> pixels;
    bool writeFrame(std::size_t width, std::size_t height, const Fill& fill) override
    {
        pixels.resize(4 * width * height);
        fill(pixels.data(), 4 * width);
        return true;
    }
};

void BM_delegate_recording(benchmark::State& state)
{
    Bench& b = bench();
    b.scope.settings.setNightMode(state.range(0) != 0);
    if (state.range(1) != 0)
        b.scope.pipeline.setVideoSink(std::make_shared<BufferSink>());
    platform::StreamVideoDataOutput output;
    platform::VideoConnection connection;
    for (auto _ : state) {
        state.PauseTiming();
        platform::SampleBuffer frame = b.frame();
        state.ResumeTiming();
        b.scope.pipeline.captureOutput(output, frame, connection);
        state.PauseTiming();
        b.scope.qImage().take();
        state.ResumeTiming();
    }
    b.scope.pipeline.setVideoSink(nullptr);
    b.scope.settings.setNightMode(false);
}

} // namespace

BENCHMARK(BM_delegate_recording)
    ->ArgsProduct({ { 0, 1 }, { 0, 1 } })
    ->ArgNames({ "night", "recording" })
    ->Unit(benchmark::kMicrosecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(BM_denoise_window)
    ->Apply(everyTarget)
    ->Unit(benchmark::kMicrosecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(BM_denoise_frame)->Arg(0)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_frame_path_night)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_delegate)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_enhance)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_draw)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_frame_path)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime()->UseRealTime();

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
