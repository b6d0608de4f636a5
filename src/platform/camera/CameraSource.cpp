#include "platform/camera/CameraSource.h"

#include <algorithm>

#include <QCameraDevice>
#include <QMediaDevices>

#include "platform/camera/ImageFileFrameSource.h"
#include "platform/camera/QtCameraFrameSource.h"
#include "platform/camera/SensorNoise.h"
#include "platform/camera/SteadyFrameClock.h"
#include "platform/camera/StreamBackend.h"
#include "platform/camera/StreamCaptureDevice.h"
#include "platform/camera/SyntheticFrameSource.h"

namespace platform {

Expected<CameraSource> CameraSource::parse(const QString& text)
{
    if (text == QLatin1String("synthetic"))
        return CameraSource(Kind::Synthetic, {}, -1);
    if (text.startsWith(QLatin1String("image:"))) {
        const QString path = text.mid(6);
        if (path.isEmpty())
            return Expected<CameraSource>::failure(
                QStringLiteral("camera \"image:\" needs a file path: image:PATH"));
        return CameraSource(Kind::ImageFile, path, -1);
    }
    if (text == QLatin1String("qt"))
        return CameraSource(Kind::QtCamera, {}, -1);
    if (text.startsWith(QLatin1String("qt:"))) {
        bool ok = false;
        const int index = text.mid(3).toInt(&ok);
        if (!ok || index < 0)
            return Expected<CameraSource>::failure(
                QStringLiteral("camera \"%1\": the index must be a number from 0").arg(text));
        return CameraSource(Kind::QtCamera, {}, index);
    }
    return Expected<CameraSource>::failure(
        QStringLiteral("unknown camera \"%1\" (use synthetic, image:PATH, qt or qt:INDEX)").arg(text));
}

CameraSource CameraSource::defaultSource()
{
    if (!QMediaDevices::videoInputs().isEmpty())
        return CameraSource(Kind::QtCamera, {}, -1);
    return CameraSource(Kind::Synthetic, {}, -1);
}

QString CameraSource::toString() const
{
    switch (m_kind) {
    case Kind::Synthetic:
        return QStringLiteral("synthetic");
    case Kind::ImageFile:
        return QStringLiteral("image:") + m_path;
    case Kind::QtCamera:
        return m_index < 0 ? QStringLiteral("qt") : QStringLiteral("qt:%1").arg(m_index);
    }
    return {};
}

void CameraSource::setSensorNoise(int sigma, int shake)
{
    m_noiseSigma = std::clamp(sigma, 0, SensorNoise::kMaxSigma);
    m_noiseShake = std::clamp(shake, 0, SensorNoise::kMaxShake);
}

Expected<std::shared_ptr<CaptureBackend>> CameraSource::makeBackend(
    std::shared_ptr<FrameClock> clock, std::uint32_t seed) const
{
    using Result = Expected<std::shared_ptr<CaptureBackend>>;
    if (!clock)
        clock = std::make_shared<SteadyFrameClock>();
    switch (m_kind) {
    case Kind::Synthetic: {
        std::vector<std::shared_ptr<StreamCaptureDevice>> devices {
            std::make_shared<StreamCaptureDevice>(
                QStringLiteral("Synthetic Back Camera"), CaptureDevicePosition::Back, true, clock, 0),
            std::make_shared<StreamCaptureDevice>(
                QStringLiteral("Synthetic Front Camera"), CaptureDevicePosition::Front, false, clock, 1),
        };
        return std::shared_ptr<CaptureBackend>(std::make_shared<StreamBackend>(std::move(devices),
            std::make_shared<SyntheticFrameSource>(seed, SensorNoise(m_noiseSigma, m_noiseShake, seed)),
            clock));
    }
    case Kind::ImageFile: {
        auto source = ImageFileFrameSource::open(m_path, SensorNoise(m_noiseSigma, m_noiseShake, seed));
        if (!source)
            return Result::failure(source.error());
        std::vector<std::shared_ptr<StreamCaptureDevice>> devices {
            std::make_shared<StreamCaptureDevice>(
                QStringLiteral("Image File Camera"), CaptureDevicePosition::Back, false, clock, 0),
            std::make_shared<StreamCaptureDevice>(
                QStringLiteral("Image File Front Camera"), CaptureDevicePosition::Front, false, clock, 1),
        };
        return std::shared_ptr<CaptureBackend>(
            std::make_shared<StreamBackend>(std::move(devices), std::move(source.value()), clock));
    }
    case Kind::QtCamera: {
        auto source = QtCameraFrameSource::open(m_index, clock);
        if (!source)
            return Result::failure(source.error());
        auto devices = source.value()->devices();
        return std::shared_ptr<CaptureBackend>(
            std::make_shared<StreamBackend>(std::move(devices), std::move(source.value()), clock));
    }
    }
    return Result::failure(QStringLiteral("unknown camera source"));
}

} // namespace platform
