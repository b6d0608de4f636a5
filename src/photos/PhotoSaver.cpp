#include "photos/PhotoSaver.h"

#include <utility>

#include <QMetaObject>
#include <QObject>

#include "imaging/FramePipeline.h"
#include "photos/ImageMetadataCategory.h"
#include "photos/LastPhoto.h"
#include "photos/LifetimeGate.h"
#include "platform/album/AssetsLibrary.h"
#include "platform/camera/CaptureConnection.h"
#include "platform/camera/SampleBuffer.h"
#include "platform/camera/StillImageOutput.h"
#include "platform/core/Log.h"

namespace photos {

namespace {

enum DeviceOrientation { Portrait = 1, PortraitUpsideDown = 2, LandscapeLeft = 3, LandscapeRight = 4 };
enum ImageOrientation { Up = 0, Down = 1, Left = 2, Right = 3 };

} // namespace

PhotoSaver::PhotoSaver(imaging::FramePipeline& pipeline, LastPhoto& lastPhoto)
    : m_pipeline(pipeline)
    , m_lastPhoto(lastPhoto)
    , m_mainThread(std::make_unique<QObject>())
    , m_stillGate(std::make_shared<LifetimeGate>())
{
}

PhotoSaver::~PhotoSaver()
{
    shutdown();
}

void PhotoSaver::shutdown()
{
    LUMIVUE_CHECK_THREAD(m_mainThreadChecker);
    // No still is processed from here on: one being processed finishes first.
    m_stillGate->close();
    // The album finishes and delivers what it started; the deliveries still post here, and are
    // dropped below.
    m_lastPhoto.shutdown();
    m_mainThread.reset();
}

void PhotoSaver::onMainThread(std::function<void()> work)
{
    // m_mainThread is only reset after the still gate is closed and the album has drained, so
    // nobody posts while it goes away.
    if (QObject* context = m_mainThread.get())
        QMetaObject::invokeMethod(context, std::move(work), Qt::QueuedConnection);
}

void PhotoSaver::stopTakingPicture()
{
    m_pipeline.setTakingPicture(false);
    onMainThread([this] { emit stillHandedOn(); });
}

int PhotoSaver::imageOrientationForDeviceOrientation(int deviceOrientation)
{
    switch (deviceOrientation) {
    case Portrait:
        return Right;
    case PortraitUpsideDown:
        return Left;
    case LandscapeLeft:
        return Up;
    case LandscapeRight:
        return Down;
    default:
        return Right;
    }
}

void PhotoSaver::captureStillImage(
    const std::shared_ptr<platform::StillImageOutput>& output, const StillRequest& request)
{
    LUMIVUE_CHECK_THREAD(m_mainThreadChecker);
    platform::logLine(platform::lcPhotos(), QStringLiteral("Capture start"));
    std::shared_ptr<platform::CaptureConnection> videoConnection;
    if (output) {
        for (const auto& connection : output->connections()) {
            if (connection && connection->carries(platform::MediaType::Video)) {
                videoConnection = connection;
                break;
            }
        }
    }
    if (!videoConnection) {
        // Nothing can be taken: the shutter must not stay disabled.
        stopTakingPicture();
        return;
    }

    m_pipeline.setTakingPicture(true);
    platform::logLine(
        platform::lcPhotos(), QStringLiteral("Capture call captureStillImageAsynchronouslyFromConnection"));
    output->captureStillImageAsynchronously(videoConnection,
        [this, gate = m_stillGate, request](
            std::shared_ptr<platform::SampleBuffer> frame, const QString& error) {
            const LifetimeGate::Pass pass(*gate);
            if (!pass)
                return; // the screen is going away
            processStill(request, frame, error);
        });
}

// The camera's still thread.
void PhotoSaver::processStill(
    const StillRequest& request, const std::shared_ptr<platform::SampleBuffer>& frame, const QString& error)
{
    platform::logLine(platform::lcPhotos(), QStringLiteral("Capture got sample bufer"));
    if (!error.isEmpty() || !frame) {
        stopTakingPicture();
        return;
    }
    platform::logLine(platform::lcPhotos(), QStringLiteral("Capture process sample buffer"));
    const QImage image = m_pipeline.quartzImageFromSampleBuffer(*frame, false);
    ImageMetadataCategory metadata;
    metadata.initWithImageSampleBuffer(frame->attachments());
    platform::logLine(platform::lcPhotos(), QStringLiteral("Capture start save to Album"));
    if (image.isNull()) {
        stopTakingPicture();
        return;
    }

    switch (request.deviceOrientation) {
    case Portrait:
        platform::logLine(platform::lcPhotos(), QStringLiteral("Device orientation Portrait"));
        break;
    case PortraitUpsideDown:
        platform::logLine(platform::lcPhotos(), QStringLiteral("Device orientation PortraitUpsideDown"));
        break;
    case LandscapeLeft:
        platform::logLine(platform::lcPhotos(), QStringLiteral("Device orientation LandscapeLeft"));
        break;
    case LandscapeRight:
        platform::logLine(platform::lcPhotos(), QStringLiteral("Device orientation LandscapeRight"));
        break;
    default:
        // The owner logs the orientation now, not the one held: the device orientation is a
        // main-thread value, so it is read there.
        onMainThread([this] { emit orientationUnknownAtTap(); });
        break;
    }
    metadata.setImageOrientation(imageOrientationForDeviceOrientation(request.deviceOrientation));
    metadata.setMake(kMakeModelSoftware, kMakeModelSoftware, kMakeModelSoftware);
    metadata.setLocation(request.location);

    saveToAlbum(image, metadata.dictionary());
    // The write runs on by itself: the shutter and the preview are free again now.
    stopTakingPicture();
}

void PhotoSaver::saveToAlbum(const QImage& image, const platform::MetadataDictionary& metadata)
{
    auto completion
        = [this](const platform::AssetURL& url, const std::optional<platform::AlbumError>& error) {
              if (error) {
                  const QString message = error->description();
                  onMainThread([this, message] { emit saveFailed(message); });
                  return;
              }
              platform::log(platform::lcPhotos(), "asset URL:%s", qUtf8Printable(url.toString()));
              m_lastPhoto.photoAdded(url);
              onMainThread([this, url] { emit photoSaved(url); });
          };
    m_lastPhoto.withAlbum([&](platform::AssetsLibrary& album) {
        album.writeImageToSavedPhotosAlbum(image, metadata, completion);
    });
}

} // namespace photos
