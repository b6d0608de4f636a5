#include "platform/camera/ImageFileFrameSource.h"

#include <QDateTime>
#include <QFileInfo>
#include <QImageReader>
#include <QTransform>

#include "platform/camera/ExposureSettings.h"
#include "platform/camera/SampleBuffer.h"
#include "platform/camera/SensorOrientation.h"
#include "platform/camera/StandInPresets.h"
#include "platform/core/ImageFileCheck.h"

namespace platform {

Expected<std::shared_ptr<ImageFileFrameSource>> ImageFileFrameSource::open(
    const QString& path, SensorNoise noise)
{
    using Result = Expected<std::shared_ptr<ImageFileFrameSource>>;
    if (path.isEmpty())
        return Result::failure(QStringLiteral("image camera needs a file: image:PATH"));
    if (!QFileInfo(path).isFile())
        return Result::failure(QStringLiteral("cannot read image \"%1\": no such file").arg(path));
    // Before the decoder sees it: a damaged file can make libpng allocate gigabytes.
    if (const auto damage = imageFileDamage(path))
        return Result::failure(
            QStringLiteral("cannot read image \"%1\": the file is damaged: %2").arg(path, *damage));
    QImageReader reader(path);
    reader.setAutoTransform(true); // honour the photo's EXIF orientation
    QImage photo = reader.read();
    if (photo.isNull())
        return Result::failure(
            QStringLiteral("cannot read image \"%1\": %2").arg(path, reader.errorString()));
    const bool transparent = photo.hasAlphaChannel();
    photo = photo.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (transparent) {
        // Seen against black, as a camera would: premultiplied colour stays, alpha becomes opaque.
        for (int y = 0; y < photo.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(photo.scanLine(y));
            for (int x = 0; x < photo.width(); ++x)
                row[x] |= 0xff000000u;
        }
    }
    return std::make_shared<ImageFileFrameSource>(std::move(photo), std::move(noise));
}

QImage ImageFileFrameSource::aspectFill(const QImage& photo, QSize size)
{
    if (photo.isNull() || size.isEmpty())
        return {};
    // The photo fills the upright (portrait) picture and is laid into the frame as a sensor delivers it.
    const QSize upright = uprightSceneSize(size);
    const QImage scaled = photo.scaled(upright, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    const QRect crop((scaled.width() - upright.width()) / 2, (scaled.height() - upright.height()) / 2,
        upright.width(), upright.height());
    return scaled.copy(crop)
        .transformed(QTransform().rotate(-90))
        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage ImageFileFrameSource::withNoise(const QImage& picture)
{
    return m_noise.isIdentity() ? picture : m_noise.apply(picture, m_frameNumber++);
}

QImage ImageFileFrameSource::videoFrame(
    const StreamCaptureDevice& device, SessionPreset preset, FrameClock::Duration time)
{
    (void)device;
    (void)time;
    const QSize size = standInVideoSize(preset);
    if (m_videoFrame.size() != size)
        m_videoFrame = aspectFill(m_photo, size);
    return withNoise(m_videoFrame); // shared without noise; the session copies it for delegates
}

Expected<std::shared_ptr<SampleBuffer>> ImageFileFrameSource::stillFrame(
    const StreamCaptureDevice& device, SessionPreset preset, FrameClock::Duration time)
{
    (void)device;
    (void)time;
    const QSize size = standInStillSize(preset);
    ExposureSettings settings;
    settings.exposureTime = 1.0 / 60.0;
    settings.iso = 200;
    auto frame = SampleBuffer::fromImage(
        withNoise(aspectFill(m_photo, size)), settings.attachments(size, QDateTime::currentDateTime()));
    if (!frame)
        return Expected<std::shared_ptr<SampleBuffer>>::failure(frame.error());
    return std::make_shared<SampleBuffer>(std::move(frame.value()));
}

} // namespace platform
