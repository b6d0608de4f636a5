// What a synthetic camera frame costs the stream thread: rendering the scene at each preset, and
// the copy each video delegate gets.

#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include "platform/camera/SampleBuffer.h"
#include "platform/camera/StandInPresets.h"
#include "platform/camera/SyntheticScene.h"

namespace {

using platform::SessionPreset;

void renderFrame(benchmark::State& state)
{
    const QSize size = platform::standInVideoSize(static_cast<SessionPreset>(state.range(0)));
    platform::SyntheticScene scene(1);
    double t = 0;
    for (auto _ : state) {
        QImage frame = scene.render(t, size, false);
        benchmark::DoNotOptimize(frame.constBits());
        t += 0.05;
    }
    state.SetLabel(QStringLiteral("%1x%2").arg(size.width()).arg(size.height()).toStdString());
}

void delegateCopy(benchmark::State& state)
{
    const QSize size = platform::standInVideoSize(static_cast<SessionPreset>(state.range(0)));
    const QImage frame = platform::renderSyntheticScene(1, 0, size, false);
    for (auto _ : state) {
        auto buffer = platform::SampleBuffer::fromImage(frame);
        benchmark::DoNotOptimize(buffer.hasValue());
    }
    state.SetLabel(QStringLiteral("%1x%2").arg(size.width()).arg(size.height()).toStdString());
}

} // namespace

BENCHMARK(renderFrame)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(delegateCopy)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    // Text rendering needs an application object; no window is shown.
    qputenv(
        "QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
