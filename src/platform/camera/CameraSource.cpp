#include "platform/camera/CameraSource.h"

#include <algorithm>

#include "platform/camera/GstCameraCatalog.h"
#include "platform/camera/GstCameraFrameSource.h"
#include "platform/camera/ImageFileFrameSource.h"
#include "platform/camera/SensorNoise.h"
#include "platform/camera/SteadyFrameClock.h"
#include "platform/camera/StreamBackend.h"
#include "platform/camera/StreamCaptureDevice.h"
#include "platform/camera/SyntheticFrameSource.h"
#include "platform/core/Log.h"

namespace platform {

Expected<CameraSource> CameraSource::parse(const QString& text)
{
    if (text == QLatin1String("synthetic"))
        return CameraSource(Kind::Synthetic, QString());
    if (text.startsWith(QLatin1String("image:"))) {
        const QString path = text.mid(6);
        if (path.isEmpty())
            return Expected<CameraSource>::failure(
                QStringLiteral("camera \"image:\" needs a file path: image:PATH"));
        return CameraSource(Kind::ImageFile, path);
    }
    for (const auto& [prefix, kind] : { std::pair { QStringLiteral("pipewire"), Kind::PipeWire },
             std::pair { QStringLiteral("v4l2"), Kind::V4l2 } }) {
        if (text == prefix)
            return CameraSource(kind, QString());
        if (text.startsWith(prefix + QLatin1Char(':')) && text.size() > prefix.size() + 1)
            return CameraSource(kind, text.mid(prefix.size() + 1));
    }
    return Expected<CameraSource>::failure(
        QStringLiteral("unknown camera \"%1\" (use synthetic, image:PATH, pipewire[:NAME] or v4l2[:NAME]; "
                       "--list-cameras shows the cameras found)")
            .arg(text));
}

CameraSource CameraSource::defaultSource()
{
    auto found = GstCameraCatalog::probe();
    if (!found) {
        log(lcCamera(), "No real camera: %s; showing the synthetic camera", qUtf8Printable(found.error()));
        return CameraSource(Kind::Synthetic, QString());
    }
    if (found->empty()) {
        log(lcCamera(), "No real camera found; showing the synthetic camera");
        return CameraSource(Kind::Synthetic, QString());
    }
    const Kind kind = found->front().api == CameraInfo::Api::V4l2 ? Kind::V4l2 : Kind::PipeWire;
    return CameraSource(kind, std::move(found.value()));
}

QString CameraSource::toString() const
{
    switch (m_kind) {
    case Kind::Synthetic:
        return QStringLiteral("synthetic");
    case Kind::ImageFile:
        return QStringLiteral("image:") + m_path;
    case Kind::PipeWire:
    case Kind::V4l2: {
        const QString api = m_kind == Kind::PipeWire ? QStringLiteral("pipewire") : QStringLiteral("v4l2");
        return m_path.isEmpty() ? api : api + QLatin1Char(':') + m_path;
    }
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
    case Kind::PipeWire:
    case Kind::V4l2:
        return makeRealBackend(std::move(clock));
    }
    return Result::failure(QStringLiteral("unknown camera source"));
}

Expected<std::shared_ptr<CaptureBackend>> CameraSource::makeRealBackend(
    std::shared_ptr<FrameClock> clock) const
{
    using Result = Expected<std::shared_ptr<CaptureBackend>>;
    std::vector<CameraInfo> cameras = m_found;
    if (cameras.empty()) {
        auto found = GstCameraCatalog::probe();
        if (!found)
            return Result::failure(found.error());
        const auto api = m_kind == Kind::V4l2 ? CameraInfo::Api::V4l2 : CameraInfo::Api::PipeWire;
        for (CameraInfo& camera : found.value()) {
            const bool named = m_path.isEmpty() || camera.name == m_path || camera.id == m_path;
            if (camera.api == api && named)
                cameras.push_back(std::move(camera));
        }
        // An empty list is not an error here: the screen says "No camera found".
        if (cameras.empty())
            log(lcCamera(), "No camera found for --camera %s", qUtf8Printable(toString()));
    }
    auto source = std::make_shared<GstCameraFrameSource>(std::move(cameras), m_rotation, clock);
    auto devices = source->devices();
    auto status = [weak = std::weak_ptr<GstCameraFrameSource>(source)] {
        auto own = weak.lock();
        return own ? own->status() : QString();
    };
    auto backend = std::make_shared<StreamBackend>(std::move(devices), std::move(source), std::move(clock));
    backend->setStatusSource(std::move(status));
    return std::shared_ptr<CaptureBackend>(std::move(backend));
}

} // namespace platform
