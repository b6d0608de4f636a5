// Saving one 2592 × 1936 still, stage by stage (enhancement, JPEG encode, thumbnail, metadata,
// the atomic store alone, the album's whole write) and as the whole road of a photo; the same save
// of a night-mode stack of 8 stills (aligned, merged, then saved as one); and how long the viewer
// takes from the tap to showing the photo at full resolution.
//
// Budgets: the save at most 100 ms on one core, the viewer at most 300 ms.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <future>
#include <vector>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "../enhance/MemcpyTime.h"
#include "imaging/BurstAligner.h"
#include "imaging/BurstMerger.h"
#include "imaging/CpuFeatures.h"
#include "imaging/FramePipeline.h"
#include "imaging/NightVisionMode.h"
#include "imaging/ScopeGeometry.h"
#include "imaging/ScopeSettings.h"
#include "photos/ImageMetadataCategory.h"
#include "photos/PhotoViewer.h"
#include "platform/album/AlbumFolder.h"
#include "platform/album/AssetsLibrary.h"
#include "platform/album/ImagePropertyKeys.h"
#include "platform/album/JpegMetadata.h"
#include "platform/camera/SampleBuffer.h"
#include "platform/camera/SensorNoise.h"
#include "platform/core/FrameMemory.h"

namespace ip = platform::ImageProperty;

namespace {

const QSize kStill(2592, 1936);

// A dim night picture with some structure, so the JPEG encoder has real work.
QImage nightStill()
{
    QImage image(kStill, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int v = 12 + ((x * 7 + y * 13) % 23) + ((x / 64 + y / 64) % 2) * 10;
            row[x] = qRgb(v, v + 2, v + 1);
        }
    }
    return image;
}

const QImage& stillImage()
{
    static const QImage image = nightStill();
    return image;
}

platform::MetadataDictionary cameraAttachments()
{
    return { { ip::ExifDictionary,
        QVariantMap { { ip::ExifExposureTime, 1.0 / 15.0 }, { ip::ExifFNumber, 2.4 },
            { ip::ExifISOSpeedRatings, QVariantList { 1600 } } } } };
}

// The metadata of a portrait photo with a fix, as the still capture builds it.
platform::MetadataDictionary photoMetadata()
{
    photos::ImageMetadataCategory metadata;
    metadata.initWithImageSampleBuffer(cameraAttachments());
    metadata.setImageOrientation(3);
    metadata.setMake(QStringLiteral("Lumivue+"), QStringLiteral("Lumivue+"), QStringLiteral("Lumivue+"));
    metadata.setLocation(photos::Location { 51.5, -0.12, QDateTime::currentDateTimeUtc() });
    return metadata.dictionary();
}

struct Scope {
    imaging::ScopeSettings settings;
    imaging::ScopeGeometry geometry;
    imaging::FramePipeline pipeline { settings, geometry };

    Scope()
    {
        settings.setScopeNightVisionMode(imaging::NightVisionMode::Manual);
        settings.setScopeNightVisionLevel(8);
    }
    QImage quartzImageFromSampleBuffer(platform::SampleBuffer& buffer, bool isPreview)
    {
        return pipeline.quartzImageFromSampleBuffer(buffer, isPreview);
    }
};

platform::SampleBuffer freshStill()
{
    auto buffer = platform::SampleBuffer::fromImage(stillImage(), cameraAttachments());
    if (!buffer)
        std::abort();
    return std::move(buffer.value());
}

void BM_1_Enhancement(benchmark::State& state)
{
    Scope scope;
    for (auto _ : state) {
        state.PauseTiming();
        platform::SampleBuffer buffer = freshStill();
        state.ResumeTiming();
        benchmark::DoNotOptimize(scope.quartzImageFromSampleBuffer(buffer, false));
    }
}
BENCHMARK(BM_1_Enhancement)->Unit(benchmark::kMillisecond);

void BM_2_JpegEncode(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(platform::encodeJpeg(stillImage(), 92));
}
BENCHMARK(BM_2_JpegEncode)->Unit(benchmark::kMillisecond);

void BM_3_Thumbnail(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(platform::makeThumbnailJpeg(stillImage()));
}
BENCHMARK(BM_3_Thumbnail)->Unit(benchmark::kMillisecond);

void BM_4_Metadata(benchmark::State& state)
{
    const QByteArray jpeg = platform::encodeJpeg(stillImage(), 92);
    const QByteArray thumbnail = platform::makeThumbnailJpeg(stillImage());
    for (auto _ : state) {
        const platform::MetadataDictionary metadata = photoMetadata();
        QByteArray bytes = jpeg;
        if (platform::writeJpegMetadata(bytes, metadata, kStill, thumbnail))
            state.SkipWithError("metadata could not be written");
    }
}
BENCHMARK(BM_4_Metadata)->Unit(benchmark::kMillisecond);

// The album folder's atomic store of encoded bytes alone: temporary file, fsync, rename, folder fsync.
void BM_5_AtomicStore(benchmark::State& state)
{
    QTemporaryDir dir;
    const platform::AlbumFolder folder(dir.path(), platform::AlbumFolder::Creation::Never);
    const QByteArray jpeg = platform::encodeJpeg(stillImage(), 92);
    for (auto _ : state)
        if (folder.store(jpeg).error)
            state.SkipWithError("store failed");
}
BENCHMARK(BM_5_AtomicStore)->Unit(benchmark::kMillisecond)->UseRealTime();

// The album's whole write: encode, thumbnail, metadata, temporary file, fsync, rename.
void BM_5_AlbumWrite(benchmark::State& state)
{
    QTemporaryDir dir;
    platform::AssetsLibrary library(dir.path());
    const platform::MetadataDictionary metadata = photoMetadata();
    for (auto _ : state) {
        std::promise<bool> done;
        library.writeImageToSavedPhotosAlbum(stillImage(), metadata,
            [&](const platform::AssetURL&, const std::optional<platform::AlbumError>& e) {
                done.set_value(!e);
            });
        if (!done.get_future().get())
            state.SkipWithError("album write failed");
    }
}
BENCHMARK(BM_5_AlbumWrite)->Unit(benchmark::kMillisecond)->UseRealTime();

// The whole save of one still, one step after the other on one core at a time: enhancement,
// metadata, album write until the photo is in place.
void BM_6_WholeSave(benchmark::State& state)
{
    QTemporaryDir dir;
    platform::AssetsLibrary library(dir.path());
    Scope scope;
    for (auto _ : state) {
        state.PauseTiming();
        platform::SampleBuffer buffer = freshStill();
        state.ResumeTiming();
        const QImage image = scope.quartzImageFromSampleBuffer(buffer, false);
        photos::ImageMetadataCategory metadata;
        metadata.initWithImageSampleBuffer(buffer.attachments());
        metadata.setImageOrientation(3);
        metadata.setMake(QStringLiteral("Lumivue+"), QStringLiteral("Lumivue+"), QStringLiteral("Lumivue+"));
        metadata.setLocation(photos::Location { 51.5, -0.12, QDateTime::currentDateTimeUtc() });
        std::promise<bool> done;
        library.writeImageToSavedPhotosAlbum(image, metadata.dictionary(),
            [&](const platform::AssetURL&, const std::optional<platform::AlbumError>& e) {
                done.set_value(!e);
            });
        if (!done.get_future().get())
            state.SkipWithError("album write failed");
    }
}
BENCHMARK(BM_6_WholeSave)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

// Eight shots of the still with sensor noise and a hand shake of up to 3 pixels, as a burst gives them.
const std::vector<QImage>& burst()
{
    static const std::vector<QImage> frames = [] {
        const platform::SensorNoise noise(8, 3, 17);
        std::vector<QImage> shots;
        for (std::uint64_t i = 0; i < 8; ++i)
            shots.push_back(noise.apply(stillImage(), i));
        return shots;
    }();
    return frames;
}

// The alignment and merge alone, as BurstMerger::stack runs them, on each instruction set of the
// per-pixel passes (the index in imaging::kernelTargets(); 0 is the best, the one the app runs).
// vs_memcpy: against one memcpy of the whole burst's bytes.
void BM_8_StackMerge(benchmark::State& state)
{
    const std::int64_t target = imaging::kernelTargets().at(std::size_t(state.range(0)));
    const imaging::ScopedKernelTarget scope(target);
    state.SetLabel(imaging::kernelTargetName(target));
    const std::vector<QImage>& frames = burst();
    QElapsedTimer timer;
    timer.start();
    for (auto _ : state) {
        imaging::BurstAligner aligner(16);
        aligner.setReference(frames[0]);
        std::vector<QPoint> offsets(frames.size());
        for (std::size_t i = 1; i < frames.size(); ++i)
            offsets[i] = aligner.offsetOf(frames[i]);
        benchmark::DoNotOptimize(imaging::BurstMerger::merge(frames, offsets));
    }
    if (state.iterations() > 0)
        state.counters["vs_memcpy"] = double(timer.nsecsElapsed()) * 1e-9 / double(state.iterations())
            / memcpySeconds(frames.size() * std::size_t(frames[0].sizeInBytes()));
}
BENCHMARK(BM_8_StackMerge)
    ->ArgName("target")
    ->Apply(
        [](benchmark::internal::Benchmark* b) { b->DenseRange(0, int(imaging::kernelTargets().size()) - 1); })
    ->Unit(benchmark::kMillisecond);

// The whole save of a stack of 8: alignment and merge, then the same road as BM_6_WholeSave.
void BM_9_StackedSave(benchmark::State& state)
{
    QTemporaryDir dir;
    platform::AssetsLibrary library(dir.path());
    Scope scope;
    for (auto _ : state) {
        const QImage merged = imaging::BurstMerger::stack(burst());
        auto buffer = platform::SampleBuffer::fromImage(merged, cameraAttachments());
        if (!buffer) {
            state.SkipWithError("no sample buffer of the merged picture");
            break;
        }
        const QImage image = scope.quartzImageFromSampleBuffer(*buffer, false);
        photos::ImageMetadataCategory metadata;
        metadata.initWithImageSampleBuffer(buffer->attachments());
        metadata.setImageOrientation(3);
        metadata.setMake(QStringLiteral("Lumivue+"), QStringLiteral("Lumivue+"), QStringLiteral("Lumivue+"));
        metadata.setLocation(photos::Location { 51.5, -0.12, QDateTime::currentDateTimeUtc() });
        std::promise<bool> done;
        library.writeImageToSavedPhotosAlbum(image, metadata.dictionary(),
            [&](const platform::AssetURL&, const std::optional<platform::AlbumError>& e) {
                done.set_value(!e);
            });
        if (!done.get_future().get())
            state.SkipWithError("album write failed");
    }
}
BENCHMARK(BM_9_StackedSave)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

// From the tap on the album control to the photo for the screen: the album decodes the photo at
// the screen's size and turns it on its thread, and the GUI thread gets it.
// Seven repetitions of at least a second each, so the median is steady on a shared machine.
void BM_7_ViewerShowsPhoto(benchmark::State& state)
{
    QTemporaryDir dir;
    platform::AssetURL url;
    {
        platform::AssetsLibrary library(dir.path());
        std::promise<platform::AssetURL> written;
        library.writeImageToSavedPhotosAlbum(stillImage(), photoMetadata(),
            [&](const platform::AssetURL& u, const std::optional<platform::AlbumError>&) {
                written.set_value(u);
            });
        url = written.get_future().get();
    }
    for (auto _ : state) {
        photos::PhotoViewer viewer;
        viewer.setAlbumDirectory(dir.path());
        viewer.setImageUrl(url.toString());
        QElapsedTimer limit;
        limit.start();
        while (viewer.loading() && limit.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (viewer.image().isNull())
            state.SkipWithError("the viewer did not show the photo");
    }
}
BENCHMARK(BM_7_ViewerShowsPhoto)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->MinTime(1.0)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv)
{
    // The figures must not depend on the shell: no display is needed, whatever the session has,
    // and the stills reuse their memory as the app's do.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    platform::reuseFrameMemory();
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
