// PhotoCapture: the shutter, the still request, and enhancing and saving the still.

#include "photos/PhotoCapture.h"

#include <utility>

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>

#include "analytics/TallyAPI.h"
#include "photos/ImageMetadataCategory.h"
#include "photos/LifetimeGate.h"
#include "photos/ViewImageController.h"
#include "platform/album/AssetsLibrary.h"
#include "platform/camera/CaptureConnection.h"
#include "platform/camera/SampleBuffer.h"
#include "platform/camera/StillImageOutput.h"
#include "platform/core/AlertPresenter.h"
#include "platform/core/Log.h"

namespace photos {

namespace {

enum DeviceOrientation { Portrait = 1, PortraitUpsideDown = 2, LandscapeLeft = 3, LandscapeRight = 4 };
enum ImageOrientation { Up = 0, Down = 1, Left = 2, Right = 3 };

} // namespace

PhotoCapture::PhotoCapture()
    : m_mainThread(std::make_unique<QObject>())
    , m_stillGate(std::make_shared<LifetimeGate>())
    , m_album(std::make_unique<platform::AssetsLibrary>())
{
}

PhotoCapture::~PhotoCapture()
{
    shutdownPhotoCapture();
}

void PhotoCapture::shutdownPhotoCapture()
{
    // No still is processed from here on: one being processed finishes first.
    m_stillGate->close();
    std::unique_ptr<platform::AssetsLibrary> album;
    {
        std::scoped_lock lock(m_albumMutex);
        album = std::move(m_album);
    }
    // Lets the album finish and deliver what it started; its completions find no album to start
    // more with, and their screen effects are still posted (and then dropped below).
    album.reset();
    m_mainThread.reset();
}

void PhotoCapture::setAlbumDirectory(const QString& directory)
{
    if (m_stillGate->isClosed())
        return;
    auto album = directory.isEmpty() ? std::make_unique<platform::AssetsLibrary>()
                                     : std::make_unique<platform::AssetsLibrary>(directory);
    m_albumDirectory = directory;
    {
        std::scoped_lock lock(m_albumMutex);
        std::swap(album, m_album);
    }
    // The old album finishes its work outside the lock.
}

QString PhotoCapture::albumDirectory() const
{
    std::scoped_lock lock(m_albumMutex);
    return m_album ? m_album->directory() : m_albumDirectory;
}

void PhotoCapture::withAlbum(const std::function<void(platform::AssetsLibrary&)>& work)
{
    std::scoped_lock lock(m_albumMutex);
    if (m_album)
        work(*m_album);
}

void PhotoCapture::onMainThread(std::function<void()> work)
{
    // m_mainThread is only reset after the still gate is closed and the album has drained, so
    // nobody posts while it goes away.
    if (QObject* context = m_mainThread.get())
        QMetaObject::invokeMethod(context, std::move(work), Qt::QueuedConnection);
}

// ---- The shutter ----

void PhotoCapture::takePicture()
{
    // The shutter is disabled from this tap until the still has been handed to the album; a
    // second tap that arrives before the disabled shutter is drawn is ignored here as well.
    if (m_shutterPressed)
        return;
    m_shutterPressed = true;
    setTakePictureButtonEnabled(false);
    analytics::TallyAPI::logEvent(kTakePictureEvent);
    captureStillImage();
}

void PhotoCapture::startTakingPicture()
{
    setTakingPicture(true);
    setTakePictureButtonEnabled(false);
}

void PhotoCapture::stopTakingPicture()
{
    setTakingPicture(false);
    onMainThread([this] {
        m_shutterPressed = false;
        setTakePictureButtonEnabled(true);
    });
}

int PhotoCapture::imageOrientationForDeviceOrientation(int deviceOrientation)
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

void PhotoCapture::captureStillImage()
{
    platform::logLine(platform::lcPhotos(), QStringLiteral("Capture start"));
    StillRequest request;
    request.deviceOrientation = deviceOrientation();
    // The location manager lives on the main thread, so its fix is read here, at the tap.
    request.location = lastLocationFix();

    const std::shared_ptr<platform::StillImageOutput> output = stillImageOutput();
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

    startTakingPicture();
    platform::logLine(platform::lcPhotos(), QStringLiteral("Capture call captureStillImageAsynchronouslyFromConnection"));
    output->captureStillImageAsynchronously(
        videoConnection,
        [this, gate = m_stillGate, request](std::shared_ptr<platform::SampleBuffer> frame, const QString& error) {
            const LifetimeGate::Pass pass(*gate);
            if (!pass)
                return; // the screen is going away
            processStill(request, frame, error);
        });
}

// The camera's still thread.
void PhotoCapture::processStill(const StillRequest& request, const std::shared_ptr<platform::SampleBuffer>& frame,
                                const QString& error)
{
    platform::logLine(platform::lcPhotos(), QStringLiteral("Capture got sample bufer"));
    if (!error.isEmpty() || !frame) {
        stopTakingPicture();
        return;
    }
    platform::logLine(platform::lcPhotos(), QStringLiteral("Capture process sample buffer"));
    const QImage image = quartzImageFromSampleBuffer(*frame, false);
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
        // The line shows the orientation now, not the one held: the device orientation is a
        // main-thread value, so it is read there.
        onMainThread([this] { platform::log(platform::lcPhotos(), "Device orientation unknown %d", deviceOrientation()); });
        break;
    }
    metadata.setImageOrientation(imageOrientationForDeviceOrientation(request.deviceOrientation));
    metadata.setMake(kMakeModelSoftware, kMakeModelSoftware, kMakeModelSoftware);
    metadata.setLocation(request.location);

    saveToAlbum(image, metadata.dictionary());
    // The write runs on by itself: the shutter and the preview are free again now.
    stopTakingPicture();
}

void PhotoCapture::saveToAlbum(const QImage& image, const platform::MetadataDictionary& metadata)
{
    auto completion = [this](const platform::AssetURL& url, const std::optional<platform::AlbumError>& error) {
        if (error) {
            const QString message = error->description();
            onMainThread([message] {
                platform::presentAlert(QStringLiteral("Error!"), message, QStringLiteral("OK"));
            });
            return;
        }
        platform::log(platform::lcPhotos(), "asset URL:%s", qUtf8Printable(url.toString()));
        storeLastImageURL(url);
        updateThumb();
        onMainThread([this] { playSystemSound(kClickSound); });
    };
    withAlbum([&](platform::AssetsLibrary& album) { album.writeImageToSavedPhotosAlbum(image, metadata, completion); });
}

} // namespace photos
