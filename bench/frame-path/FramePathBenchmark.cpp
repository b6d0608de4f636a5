// bench_frame_path: the cost of one camera frame on its way to the scope, for a 1920 × 1440
// Photo frame on a phone at scale 2 (scope radius 400 frame pixels), by stage:
//   delegate    the frame delegate: enhancement of the scope window plus the copy for the slot
//   enhance     the enhancement of the scope window alone (level 40, green)
//   draw        the picture-layer redraw: crop, turn, nearest-neighbour stretch into the
//               400 × 400-pixel layer, slot emptied
//   frame_path  all three in a row, as one frame takes them
//   denoise_window / denoise_frame  night mode's temporal filter on the scope window / the whole frame
//   frame_path_night  the frame path with night mode on: the delegate's enhancement replaced by
//               the filter with the enhancement fused in (TemporalDenoiser::filterAndEnhance), as
//               the pipeline calls it, then the same copy for the slot and the same draw
//   frame_path_mirror  the same road with FrameEnhancer::enhance in place of the fused call: it
//               must cost what frame_path does, or the night case's ratio would be unfair
// Each stage runs on one core; the budget for the whole path is 2 ms per frame.

#include <cstring>
#include <memory>

#include <QColorSpace>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include "imaging/FrameEnhancer.h"
#include "imaging/FramePipeline.h"
#include "imaging/ScopeCamera.h"
#include "imaging/ScopeGeometry.h"
#include "imaging/ScopeImage.h"
#include "imaging/ScopeRenderer.h"
#include "imaging/ScopeSettings.h"
#include "imaging/TemporalDenoiser.h"
#include "platform/camera/PixelBuffer.h"
#include "platform/camera/SampleBuffer.h"
#include "platform/graphics/Layer.h"

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
    const std::shared_ptr<platform::Layer>& scopeImageLayer() const { return renderer.scopeImageLayer(); }
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
        scope.renderer.setupScopeLayers(nullptr, QRectF(0, 0, 320, 480));
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
        b.scope.scopeImageLayer()->setNeedsDisplay();
        state.ResumeTiming();
        b.scope.scopeImageLayer()->displayIfNeeded();
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
        b.scope.scopeImageLayer()->setNeedsDisplay();
        b.scope.scopeImageLayer()->displayIfNeeded();
    }
}

// The filter settles on the bench's still picture first, so the timed frames take the still path.
void denoise(benchmark::State& state, const imaging::FrameWindow& window)
{
    const auto path = static_cast<imaging::KernelPath>(state.range(0));
    if (!imaging::TemporalDenoiser::isSupported(path)) {
        state.SkipWithError("path not supported on this CPU");
        return;
    }
    Bench& b = bench();
    imaging::TemporalDenoiser denoiser;
    for (int i = 0; i < 4; ++i) {
        platform::SampleBuffer frame = b.frame();
        platform::PixelBuffer::ScopedLock lock(frame.imageBuffer());
        denoiser.filter(path, frame.imageBuffer().baseAddress(), frame.imageBuffer().bytesPerRow(), window);
    }
    for (auto _ : state) {
        state.PauseTiming();
        platform::SampleBuffer frame = b.frame();
        state.ResumeTiming();
        platform::PixelBuffer& pixels = frame.imageBuffer();
        platform::PixelBuffer::ScopedLock lock(pixels);
        denoiser.filter(path, pixels.baseAddress(), pixels.bytesPerRow(), window);
    }
    state.SetLabel(imaging::FrameEnhancer::name(path));
}

void BM_denoise_window(benchmark::State& state)
{
    denoise(state, imaging::ScopeGeometry::previewWindow(kWidth, kHeight, kScaledRadius, 0.0f));
}

void BM_denoise_frame(benchmark::State& state)
{
    denoise(state, imaging::FrameWindow { 0, 0, kWidth, kHeight });
}

// The delegate's work as FramePipeline does it (level, window, enhancement, measurement, the copy
// of the square the scope can show), with the enhancement step chosen by the caller: the
// pipeline's own code cannot take the night call before it is wired in.
template <typename Enhance>
std::unique_ptr<imaging::ScopeImage> previewImage(
    Scope& scope, platform::SampleBuffer& frame, Enhance&& enhance)
{
    platform::PixelBuffer& buffer = frame.imageBuffer();
    platform::PixelBuffer::ScopedLock lock(buffer);
    const std::size_t width = buffer.width(), height = buffer.height(), bytesPerRow = buffer.bytesPerRow();
    const std::int32_t level = imaging::ScopeSettings::levelForMode(scope.settings.scopeNightVisionMode(),
        scope.settings.scopeNightVisionLevel(), scope.pipeline.scopeImageLevel(),
        scope.settings.scopeNightVisionThread());
    const imaging::FrameWindow window = imaging::ScopeGeometry::previewWindow(
        width, height, scope.geometry.scopeScreenScaledRadius(), scope.settings.zoom());
    const imaging::ChannelSums sums = enhance(
        buffer.baseAddress(), bytesPerRow, window, level, scope.settings.scopeNightVisionColorFilter());
    const std::size_t count = window.pixelCount();
    if (count > 0)
        scope.pipeline.setScopeImageLevel(std::int32_t(sums.b / count + sums.g / count + sums.r / count));

    const imaging::FrameWindow region = imaging::ScopeGeometry::previewWindow(
        width, height, scope.geometry.scopeScreenScaledRadius(), 0.0f);
    auto image = std::make_unique<imaging::ScopeImage>();
    image->frameSize = QSize(int(width), int(height));
    image->origin = QPoint(int(region.x0), int(region.y0));
    image->pixels
        = QImage(int(region.x1 - region.x0), int(region.y1 - region.y0), QImage::Format_ARGB32_Premultiplied);
    for (std::size_t y = region.y0; y < region.y1; ++y)
        std::memcpy(image->pixels.scanLine(int(y - region.y0)),
            buffer.baseAddress() + y * bytesPerRow + 4 * region.x0, 4 * (region.x1 - region.x0));
    image->pixels.setColorSpace(*imaging::FramePipeline::sharedColorSpace());
    return image;
}

template <typename Enhance> void mirroredFramePath(benchmark::State& state, Enhance&& enhance)
{
    Bench& b = bench();
    for (auto _ : state) {
        state.PauseTiming();
        platform::SampleBuffer frame = b.frame();
        state.ResumeTiming();
        b.scope.qImage().fill(previewImage(b.scope, frame, enhance));
        b.scope.scopeImageLayer()->setNeedsDisplay();
        b.scope.scopeImageLayer()->displayIfNeeded();
    }
}

void BM_frame_path_night(benchmark::State& state)
{
    imaging::TemporalDenoiser denoiser;
    mirroredFramePath(state,
        [&](std::uint8_t* base, std::size_t bytesPerRow, const imaging::FrameWindow& window,
            std::int32_t level, std::int32_t filter) {
            return denoiser.filterAndEnhance(base, bytesPerRow, window, level, filter);
        });
}

void BM_frame_path_mirror(benchmark::State& state)
{
    mirroredFramePath(state,
        [](std::uint8_t* base, std::size_t bytesPerRow, const imaging::FrameWindow& window,
            std::int32_t level, std::int32_t filter) {
            return imaging::FrameEnhancer::enhance(base, bytesPerRow, window, level, filter);
        });
}

} // namespace

// Argument: the path (0 portable, 1 SSE4.1, 2 AVX2).
BENCHMARK(BM_denoise_window)
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMicrosecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(BM_denoise_frame)
    ->Arg(int(imaging::TemporalDenoiser::bestPath()))
    ->Unit(benchmark::kMicrosecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(BM_frame_path_night)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_frame_path_mirror)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime()->UseRealTime();
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
