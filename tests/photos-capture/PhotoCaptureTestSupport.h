#pragma once

// The photo parts on a scripted camera: stills from a pattern with the camera's EXIF attachments,
// no video frames (the clock never moves), an album in a temporary folder, wired as the camera
// screen wires them, with what would reach the screen's controls recorded.

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QImage>

#include "imaging/FramePipeline.h"
#include "imaging/ScopeCamera.h"
#include "imaging/ScopeGeometry.h"
#include "imaging/ScopeSettings.h"
#include "photos/LastPhoto.h"
#include "photos/PhotoSaver.h"
#include "platform/album/ImagePropertyKeys.h"
#include "platform/camera/FrameSource.h"
#include "platform/camera/SampleBuffer.h"
#include "platform/camera/SensorNoise.h"
#include "platform/core/AlertPresenter.h"
#include "platform/core/Log.h"
#include "support/LogCapture.h"
#include "support/ScriptedCamera.h"
#include "support/WaitUntil.h"

namespace capturetest {

using testing_support::LogCapture;
using testing_support::waitUntil;

// Left half dark red, right half dark blue, so a turned or mirrored photo is told apart.
inline QImage stillPicture(QSize size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(qRgb(40, 10, 10));
    for (int y = 0; y < size.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = size.width() / 2; x < size.width(); ++x)
            row[x] = qRgb(10, 10, 40);
    }
    return image;
}

// What a camera attaches to a still: its exposure in an EXIF group of the other map form (a
// camera's read-only copy arrives as one), and a GPS group of its own that a fix replaces.
inline platform::MetadataDictionary cameraAttachments()
{
    namespace ip = platform::ImageProperty;
    return { { ip::ExifDictionary,
                 QVariantHash { { ip::ExifExposureTime, 1.0 / 15.0 }, { ip::ExifFNumber, 2.4 },
                     { ip::ExifISOSpeedRatings, QVariantList { 1600 } } } },
        { ip::GPSDictionary, QVariantMap { { ip::GPSAltitude, 30.0 } } } };
}

// Stills of stillPicture(size), or of `scene` when set. The fields that are not atomic are set
// while no still is being taken.
class StillSource final : public platform::FrameSource {
public:
    std::atomic<int> failFrom { 0 }; // the still (1 = first asked for) from which all fail; 0 none
    std::atomic<int> taken { 0 }; // stills asked for
    QSize size { 320, 240 };
    QImage scene;
    std::optional<platform::SensorNoise> noise; // applied with the still's number (0-based)
    std::function<void()> onStill; // on the still thread, as each still is asked for

    QImage videoFrame(const platform::StreamCaptureDevice&, platform::SessionPreset,
        platform::FrameClock::Duration) override
    {
        return {};
    }
    platform::Expected<std::shared_ptr<platform::SampleBuffer>> stillFrame(
        const platform::StreamCaptureDevice&, platform::SessionPreset,
        platform::FrameClock::Duration) override
    {
        using Result = platform::Expected<std::shared_ptr<platform::SampleBuffer>>;
        const int number = taken.fetch_add(1);
        if (onStill)
            onStill();
        if (failFrom.load() > 0 && number + 1 >= failFrom.load())
            return Result::failure(QStringLiteral("the camera is busy"));
        QImage picture = scene.isNull() ? stillPicture(size) : scene;
        if (noise)
            picture = noise->apply(picture, std::uint64_t(number));
        auto buffer = platform::SampleBuffer::fromImage(picture, cameraAttachments());
        if (!buffer)
            return Result::failure(buffer.error());
        return std::make_shared<platform::SampleBuffer>(std::move(buffer.value()));
    }
};

// The parts the screen owns for photos, and what the screen does with their signals: the shutter
// (shutterEnabled), the album control's thumbnails and the error alert. Main thread.
class TestCapture {
public:
    imaging::ScopeSettings settings;
    imaging::ScopeGeometry geometry;
    imaging::FramePipeline pipeline { settings, geometry };
    imaging::ScopeCamera camera;
    photos::LastPhoto lastPhoto;
    photos::PhotoSaver saver { settings, pipeline, lastPhoto };

    int orientation { 1 };
    std::optional<photos::Location> fix;
    std::vector<bool> shutterEnabled;
    std::vector<QImage> thumbnails;

    TestCapture()
    {
        QObject::connect(&saver, &photos::PhotoSaver::stillHandedOn, &saver, [this] {
            m_shutterPressed = false;
            shutterEnabled.push_back(true);
        });
        QObject::connect(&saver, &photos::PhotoSaver::saveFailed, &saver, [](const QString& message) {
            platform::presentAlert(QStringLiteral("Error!"), message, QStringLiteral("OK"));
        });
        QObject::connect(&saver, &photos::PhotoSaver::orientationUnknownAtTap, &saver,
            [this] { platform::log("Device orientation unknown %d", orientation); });
        QObject::connect(&lastPhoto, &photos::LastPhoto::thumbnailChanged, &lastPhoto,
            [this](const QImage& image) { thumbnails.push_back(image); });
    }
    ~TestCapture()
    {
        saver.shutdown();
        camera.shutdown();
    }

    // The screen's set-up of the photo parts on `backend`, saving into `album`.
    void load(std::shared_ptr<platform::CaptureBackend> backend, const QString& album)
    {
        camera.setCaptureBackend(std::move(backend));
        lastPhoto.setAlbumDirectory(album);
        camera.setupCaptureSessionVideo(&pipeline);
        pipeline.setSession(camera.session());
        camera.startRunning();
    }
    void setNightMode(bool on, int stackFrames)
    {
        settings.setNightMode(on);
        settings.setStackFrames(stackFrames);
    }
    bool isTakingPicture() const { return pipeline.isTakingPicture(); }
    platform::AssetURL lastImageURL() const { return lastPhoto.lastImageURL(); }

    // The shutter's action, as the screen takes it.
    void takePicture()
    {
        if (m_shutterPressed)
            return;
        m_shutterPressed = true;
        shutterEnabled.push_back(false);
        saver.captureStillImage(camera.stillImageOutput(), { orientation, fix });
    }

private:
    bool m_shutterPressed { false };
};

// A back camera without a torch over `source`; `cameras` false gives a session without any camera
// (and so a still output without a video connection).
inline std::shared_ptr<platform::CaptureBackend> makeBackend(
    std::shared_ptr<platform::FrameSource> source, bool cameras = true)
{
    using Cameras = std::vector<testing_support::CameraSetup>;
    return testing_support::ScriptedCamera(std::move(source),
        cameras ? Cameras { { platform::CaptureDevicePosition::Back, false } } : Cameras {})
        .backend;
}

class AlertCapture {
public:
    AlertCapture()
        : m_previous(
            platform::setAlertPresenter([this](const QString&, const QString&, const QString&) { ++alerts; }))
    {
    }
    ~AlertCapture() { platform::setAlertPresenter(m_previous); }
    int alerts { 0 }; // main thread

private:
    platform::AlertPresenterFunction m_previous;
};

} // namespace capturetest
