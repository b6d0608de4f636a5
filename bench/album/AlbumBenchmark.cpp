// Saving one 2592×1936 photo, stage by stage: JPEG encode, EXIF thumbnail, metadata written into
// the encoded bytes, the atomic write into the album folder, and the whole save through the
// library (all stages plus the hand-over to the album thread).

#include <future>
#include <random>

#include <QCoreApplication>
#include <QDateTime>
#include <QImage>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "platform/album/AlbumFolder.h"
#include "platform/album/AssetsLibrary.h"
#include "platform/album/ImagePropertyKeys.h"
#include "platform/album/JpegMetadata.h"

namespace ip = platform::ImageProperty;

namespace {

// A dim scene with structure and sensor-like noise, so the encoder has real work to do.
const QImage& photo()
{
    static const QImage image = [] {
        QImage img(2592, 1936, QImage::Format_ARGB32_Premultiplied);
        std::mt19937 noise(7);
        for (int y = 0; y < img.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
            for (int x = 0; x < img.width(); ++x) {
                const int base = (x / 7 + y / 5) % 64 + int(noise() % 24);
                row[x] = qRgb(base, base + 10, base / 2);
            }
        }
        return img;
    }();
    return image;
}

platform::MetadataDictionary metadata()
{
    return {
        { ip::Orientation, 6 },
        { ip::TIFFDictionary,
            QVariantMap { { ip::TIFFMake, "Lumivue+" }, { ip::TIFFModel, "Lumivue+" },
                { ip::TIFFSoftware, "Lumivue+" } } },
        { ip::ExifDictionary,
            QVariantMap { { ip::ExifExposureTime, 1.0 / 15.0 }, { ip::ExifFNumber, 2.4 },
                { ip::ExifISOSpeedRatings, QVariantList { 800 } } } },
        { ip::GPSDictionary,
            QVariantMap { { ip::GPSLatitude, 33.9f }, { ip::GPSLatitudeRef, "S" },
                { ip::GPSLongitude, 151.2f }, { ip::GPSLongitudeRef, "E" },
                { ip::GPSTimeStamp, QDateTime::currentDateTimeUtc() } } },
    };
}

void BM_EncodeJpeg(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(platform::encodeJpeg(photo(), 92));
}
BENCHMARK(BM_EncodeJpeg)->Unit(benchmark::kMillisecond);

void BM_Thumbnail(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(platform::makeThumbnailJpeg(photo()));
}
BENCHMARK(BM_Thumbnail)->Unit(benchmark::kMillisecond);

void BM_WriteMetadata(benchmark::State& state)
{
    const QByteArray encoded = platform::encodeJpeg(photo(), 92);
    const QByteArray thumbnail = platform::makeThumbnailJpeg(photo());
    const platform::MetadataDictionary dictionary = metadata();
    for (auto _ : state) {
        QByteArray jpeg = encoded;
        if (platform::writeJpegMetadata(jpeg, dictionary, photo().size(), thumbnail))
            state.SkipWithError("metadata write failed");
        benchmark::DoNotOptimize(jpeg);
    }
}
BENCHMARK(BM_WriteMetadata)->Unit(benchmark::kMillisecond);

void BM_AtomicStore(benchmark::State& state)
{
    QTemporaryDir dir;
    const platform::AlbumFolder folder(dir.path(), platform::AlbumFolder::Creation::Never);
    const QByteArray jpeg = platform::encodeJpeg(photo(), 92);
    for (auto _ : state)
        if (folder.store(jpeg).error)
            state.SkipWithError("store failed");
}
BENCHMARK(BM_AtomicStore)->Unit(benchmark::kMillisecond);

void BM_WholeSave(benchmark::State& state)
{
    QTemporaryDir dir;
    platform::AssetsLibrary library(dir.path());
    const platform::MetadataDictionary dictionary = metadata();
    for (auto _ : state) {
        std::promise<bool> done;
        library.writeImageToSavedPhotosAlbum(photo(), dictionary,
            [&](const platform::AssetURL&, const std::optional<platform::AlbumError>& error) {
                done.set_value(!error);
            });
        if (!done.get_future().get())
            state.SkipWithError("save failed");
    }
}
BENCHMARK(BM_WholeSave)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv); // image format plugins
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
