// lumivue-enhance: runs the camera's night-vision routine on a picture file.

#include <cstdio>
#include <vector>

#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>

#include "EnhanceOptions.h"
#include "imaging/BurstMerger.h"
#include "imaging/CpuFeatures.h"
#include "imaging/FramePipeline.h"
#include "imaging/ScopeGeometry.h"
#include "imaging/ScopeSettings.h"
#include "platform/camera/SampleBuffer.h"
#include "platform/core/ImageFileCheck.h"

namespace {

constexpr int kExitWriteFailed = 1;
constexpr int kExitBadInput = 2;
constexpr int kStackMaxShift = 16; // pixels: hand shake between the shots of one scene

int failWith(int status, const QString& message)
{
    std::fprintf(stderr, "lumivue-enhance: %s\n", qPrintable(message));
    return status;
}

QImage readPicture(const QString& path, QString* error)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        *error = QStringLiteral("%1: no such file").arg(path);
        return {};
    }
    if (!info.isFile() || !info.isReadable()) {
        *error = QStringLiteral("%1: not a readable file").arg(path);
        return {};
    }
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    const QByteArray format = reader.format();
    if (format != "png" && format != "jpeg") {
        *error = QStringLiteral("%1: not a PNG or JPEG picture").arg(path);
        return {};
    }
    // Before the decoder sees it: a damaged file can make libpng allocate gigabytes.
    if (const auto damage = platform::imageFileDamage(path)) {
        *error = QStringLiteral("%1: the file is damaged: %2").arg(path, *damage);
        return {};
    }
    QImage image = reader.read();
    if (image.isNull())
        *error = QStringLiteral("%1: cannot decode the picture: %2").arg(path, reader.errorString());
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv); // finds the image-format plugins; no display needed
    QStringList arguments = app.arguments();
    arguments.removeFirst();

    QString error;
    const auto options = EnhanceOptions::parse(arguments, &error);
    if (!options)
        return failWith(kExitBadInput, error);
    if (options->help) {
        std::fputs(qPrintable(EnhanceOptions::usage()), stdout);
        return 0;
    }
    if (options->version) {
        std::puts("lumivue-enhance " LUMIVUE_VERSION);
        return 0;
    }
    if (options->kernels) {
        std::puts(imaging::kernelReport().c_str());
        return 0;
    }

    std::vector<QImage> pictures;
    for (const QString& input : options->inputs) {
        QImage picture = readPicture(input, &error);
        if (picture.isNull())
            return failWith(kExitBadInput, error);
        if (picture.width() <= 0 || picture.height() <= 0)
            return failWith(kExitBadInput, QStringLiteral("%1: the picture is empty").arg(input));
        if (!pictures.empty() && picture.size() != pictures.front().size())
            return failWith(kExitBadInput,
                QStringLiteral("%1: %2 x %3 pixels, not the %4 x %5 of %6")
                    .arg(input)
                    .arg(picture.width())
                    .arg(picture.height())
                    .arg(pictures.front().width())
                    .arg(pictures.front().height())
                    .arg(options->input));
        pictures.push_back(std::move(picture));
    }
    std::vector<QPoint> offsets;
    const QImage picture
        = options->stack ? imaging::BurstMerger::stack(pictures, kStackMaxShift, &offsets) : pictures.front();
    if (picture.isNull())
        return failWith(kExitBadInput, QStringLiteral("the pictures could not be merged"));
    auto sample = platform::SampleBuffer::fromImage(picture);
    if (!sample)
        return failWith(kExitBadInput, QStringLiteral("%1: %2").arg(options->input, sample.error()));

    imaging::ScopeSettings settings;
    settings.setZoom(options->zoom);
    settings.setScopeNightVisionMode(options->mode);
    settings.setScopeNightVisionLevel(options->level);
    settings.setScopeNightVisionColorFilter(options->filter);
    settings.setScopeNightVisionThread(options->threshold);
    imaging::ScopeGeometry geometry;
    geometry.setScopeScreenScaledRadius(options->radius);
    imaging::FramePipeline scope(settings, geometry);
    scope.setScopeImageLevel(options->sceneLevel);

    const std::size_t width = sample->imageBuffer().width();
    const std::size_t height = sample->imageBuffer().height();
    const QImage result = scope.quartzImageFromSampleBuffer(*sample, options->preview);
    if (result.isNull())
        return failWith(kExitWriteFailed, QStringLiteral("no image could be made of the processed picture"));
    const imaging::FrameWindow window = options->preview
        ? imaging::ScopeGeometry::previewWindow(width, height, options->radius, options->zoom)
        : imaging::FrameWindow { 0, 0, width, height };

    QSaveFile file(options->output); // a temporary file beside OUT, renamed over it on commit
    if (!file.open(QIODevice::WriteOnly))
        return failWith(kExitWriteFailed, QStringLiteral("%1: %2").arg(options->output, file.errorString()));
    QImageWriter writer(&file, options->outputFormat);
    if (options->outputFormat == "jpeg")
        writer.setQuality(95);
    if (!writer.write(
            options->outputFormat == "jpeg" ? result.convertToFormat(QImage::Format_RGB32) : result)) {
        file.cancelWriting();
        return failWith(
            kExitWriteFailed, QStringLiteral("%1: %2").arg(options->output, writer.errorString()));
    }
    if (!file.commit())
        return failWith(kExitWriteFailed, QStringLiteral("%1: %2").arg(options->output, file.errorString()));

    const imaging::pixel light = scope.imageLight();
    std::printf("{\"level\":%d,\"imageLight\":{\"r\":%d,\"g\":%d,\"b\":%d},\"scopeImageLevel\":%d,"
                "\"window\":[%zu,%zu,%zu,%zu]",
        settings.scopeNightVisionLevel(), light.r, light.g, light.b, scope.scopeImageLevel(), window.x0,
        window.y0, window.x1, window.y1);
    if (options->stack) {
        std::printf(",\"frames\":%zu,\"offsets\":[", offsets.size());
        for (std::size_t i = 0; i < offsets.size(); ++i)
            std::printf("%s[%d,%d]", i ? "," : "", offsets[i].x(), offsets[i].y());
        std::printf("]");
    }
    std::printf("}\n");
    return 0;
}
