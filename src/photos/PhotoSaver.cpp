#include "photos/PhotoSaver.h"

#include <algorithm>
#include <utility>
#include <vector>

#include <QCoreApplication>
#include <QEventLoop>
#include <QImage>
#include <QMetaObject>
#include <QObject>
#include <QTimer>

#include "imaging/BurstMerger.h"
#include "imaging/FramePipeline.h"
#include "imaging/ScopeSettings.h"
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

std::shared_ptr<platform::CaptureConnection> videoConnectionOf(
    const std::shared_ptr<platform::StillImageOutput>& output)
{
    if (!output)
        return nullptr;
    for (const auto& connection : output->connections()) {
        if (connection && connection->carries(platform::MediaType::Video))
            return connection;
    }
    return nullptr;
}

// A copy of a delivered still: the camera may reuse the frame's memory once the completion
// returns, and the burst keeps its stills until the last one has come.
QImage copyOfFrame(platform::SampleBuffer& frame)
{
    platform::PixelBuffer& buffer = frame.imageBuffer();
    const platform::PixelBuffer::ScopedLock lock(buffer);
    if (!buffer.baseAddress() || buffer.width() == 0 || buffer.height() == 0)
        return {};
    return QImage(buffer.baseAddress(), int(buffer.width()), int(buffer.height()),
        qsizetype(buffer.bytesPerRow()), QImage::Format_ARGB32_Premultiplied)
        .copy();
}

} // namespace

// One night-mode burst under way. It is used by one thread at a time and handed on with each
// step: the main thread makes a request, the still thread keeps what it delivered and posts the
// next request back to the main thread (or finishes), so each step sees what the one before
// wrote.
struct PhotoSaver::Burst {
    StillRequest request;
    std::weak_ptr<platform::StillImageOutput> output; // not owned: the camera may go first
    int wanted { 0 };
    std::vector<QImage> frames; // delivered so far, all of the first one's size
    platform::MetadataDictionary attachments; // the first still's: the photo keeps them
};

PhotoSaver::PhotoSaver(
    const imaging::ScopeSettings& settings, imaging::FramePipeline& pipeline, LastPhoto& lastPhoto)
    : m_settings(settings)
    , m_pipeline(pipeline)
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
    // A still asked for but not delivered before the gate closed is lost: said, not silent.
    if (const int lost = m_underWay.exchange(0); lost > 0)
        platform::log("Photo not saved: the app closed before the camera delivered %d tapped photo%s", lost,
            lost == 1 ? "" : "s");
}

bool PhotoSaver::finishPhotosUnderWay(std::chrono::milliseconds limit)
{
    LUMIVUE_CHECK_THREAD(m_mainThreadChecker);
    if (m_underWay.load() == 0 || !m_mainThread)
        return m_underWay.load() == 0;
    QEventLoop loop;
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    m_waitingLoop = &loop;
    // settle() wakes the loop from the main thread, so no answer slips between check and exec.
    if (m_underWay.load() > 0)
        loop.exec();
    m_waitingLoop = nullptr;
    return m_underWay.load() == 0;
}

void PhotoSaver::settle()
{
    if (m_underWay.fetch_sub(1) == 1)
        onMainThread([this] {
            if (m_waitingLoop)
                m_waitingLoop->quit();
        });
}

// A tap that saves nothing is never silent: the log and the screen say why.
void PhotoSaver::tellNoPhoto(const QString& reason)
{
    const QString message
        = QCoreApplication::translate("PhotoSaver", "No photo was taken: %1.")
              .arg(reason.isEmpty() ? QCoreApplication::translate("PhotoSaver", "the camera gave no picture")
                                    : reason);
    platform::logLine(platform::lcPhotos(), message);
    onMainThread([this, message] { emit saveFailed(message); });
}

void PhotoSaver::endWithoutPhoto()
{
    settle();
    stopTakingPicture();
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

QString PhotoSaver::nightDescription(int frames)
{
    return frames == 1 ? QStringLiteral("Lumivue night: 1 frame")
                       : QStringLiteral("Lumivue night: %1 frames").arg(frames);
}

void PhotoSaver::captureStillImage(
    const std::shared_ptr<platform::StillImageOutput>& output, const StillRequest& request)
{
    LUMIVUE_CHECK_THREAD(m_mainThreadChecker);
    platform::logLine(platform::lcPhotos(), QStringLiteral("Capture start"));
    const std::shared_ptr<platform::CaptureConnection> videoConnection = videoConnectionOf(output);
    if (!videoConnection) {
        // Nothing can be taken: the shutter must not stay disabled.
        stopTakingPicture();
        return;
    }

    m_pipeline.setTakingPicture(true);
    ++m_underWay;
    // One still merges nothing: night mode with a burst of one is the ordinary photo.
    const int burstLength = m_settings.isNightMode()
        ? std::clamp(m_settings.stackFrames(), 1, imaging::BurstMerger::kMaxFrames)
        : 1;
    if (burstLength > 1) {
        auto burst = std::make_shared<Burst>();
        burst->request = request;
        burst->output = output;
        burst->wanted = burstLength;
        burst->frames.reserve(std::size_t(burstLength));
        platform::log(platform::lcPhotos(), "Capture burst of %d stills", burstLength);
        requestBurstStill(burst);
        return;
    }
    platform::logLine(
        platform::lcPhotos(), QStringLiteral("Capture call captureStillImageAsynchronouslyFromConnection"));
    output->captureStillImageAsynchronously(videoConnection,
        [this, gate = m_stillGate, request](
            const std::shared_ptr<platform::SampleBuffer>& frame, const QString& error) {
            const LifetimeGate::Pass pass(*gate);
            if (!pass)
                return; // the screen is going away
            processStill(request, frame, error);
        });
}

void PhotoSaver::requestBurstStill(const std::shared_ptr<Burst>& burst)
{
    LUMIVUE_CHECK_THREAD(m_mainThreadChecker);
    const std::shared_ptr<platform::StillImageOutput> output = burst->output.lock();
    const std::shared_ptr<platform::CaptureConnection> connection = videoConnectionOf(output);
    if (!connection) {
        // The camera went away between two stills (it is shutting down). There is no still
        // thread left to merge on, and the screen is going: the shutter is freed, nothing saved.
        platform::log(platform::lcPhotos(), "Capture burst ended after %d stills: the camera is gone",
            int(burst->frames.size()));
        endWithoutPhoto();
        return;
    }
    output->captureStillImageAsynchronously(connection,
        [this, gate = m_stillGate, burst](
            const std::shared_ptr<platform::SampleBuffer>& frame, const QString& error) {
            const LifetimeGate::Pass pass(*gate);
            if (!pass)
                return; // the screen is going away; the stills kept so far go with the burst
            collectBurstStill(burst, frame, error);
        });
}

// The camera's still thread.
void PhotoSaver::collectBurstStill(const std::shared_ptr<Burst>& burst,
    const std::shared_ptr<platform::SampleBuffer>& frame, const QString& error)
{
    const int number = int(burst->frames.size()) + 1;
    QImage picture;
    if (error.isEmpty() && frame)
        picture = copyOfFrame(*frame);
    if (picture.isNull()) {
        platform::log(platform::lcPhotos(), "Capture burst still %d of %d failed: %s", number, burst->wanted,
            qUtf8Printable(error.isEmpty() ? QStringLiteral("no picture") : error));
        finishBurst(*burst);
        return;
    }
    if (!burst->frames.empty() && picture.size() != burst->frames.front().size()) {
        // The preset or the camera changed under the burst: stills of two sizes cannot be merged.
        platform::log(
            platform::lcPhotos(), "Capture burst still %d of %d has another size", number, burst->wanted);
        finishBurst(*burst);
        return;
    }
    if (burst->frames.empty())
        burst->attachments = frame->attachments();
    burst->frames.push_back(std::move(picture));
    if (number < burst->wanted) {
        onMainThread([this, burst] { requestBurstStill(burst); });
        return;
    }
    finishBurst(*burst);
}

// The camera's still thread.
void PhotoSaver::finishBurst(Burst& burst)
{
    std::vector<QImage> frames = std::move(burst.frames);
    const int count = int(frames.size());
    if (count == 0) {
        tellNoPhoto(QCoreApplication::translate("PhotoSaver", "the camera gave no picture"));
        endWithoutPhoto();
        return;
    }
    QImage merged = count == 1 ? frames.front() : imaging::BurstMerger::stack(frames);
    frames.clear(); // up to 16 full-size stills: gone before the enhancement copies the result
    platform::log(platform::lcPhotos(), "Capture merged %d of %d stills", count, burst.wanted);
    auto buffer = platform::SampleBuffer::fromImage(merged, burst.attachments);
    merged = QImage();
    if (!buffer) {
        platform::log(platform::lcPhotos(), "Capture burst: %s", qUtf8Printable(buffer.error()));
        endWithoutPhoto();
        return;
    }
    processStill(
        burst.request, std::make_shared<platform::SampleBuffer>(std::move(buffer.value())), QString(), count);
}

// The camera's still thread.
void PhotoSaver::processStill(const StillRequest& request,
    const std::shared_ptr<platform::SampleBuffer>& frame, const QString& error, int mergedFrames)
{
    platform::logLine(platform::lcPhotos(), QStringLiteral("Capture got sample bufer"));
    if (!error.isEmpty() || !frame) {
        tellNoPhoto(error);
        endWithoutPhoto();
        return;
    }
    platform::logLine(platform::lcPhotos(), QStringLiteral("Capture process sample buffer"));
    const QImage image = m_pipeline.quartzImageFromSampleBuffer(*frame, false);
    ImageMetadataCategory metadata;
    metadata.initWithImageSampleBuffer(frame->attachments());
    platform::logLine(platform::lcPhotos(), QStringLiteral("Capture start save to Album"));
    if (image.isNull()) {
        endWithoutPhoto();
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
    if (mergedFrames > 0)
        metadata.setDescription(nightDescription(mergedFrames));

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
              } else {
                  platform::log(platform::lcPhotos(), "asset URL:%s", qUtf8Printable(url.toString()));
                  m_lastPhoto.photoAdded(url);
                  onMainThread([this, url] { emit photoSaved(url); });
              }
              settle();
          };
    bool started = false;
    m_lastPhoto.withAlbum([&](platform::AssetsLibrary& album) {
        album.writeImageToSavedPhotosAlbum(image, metadata, completion);
        started = true;
    });
    if (!started)
        settle(); // no album (only once shut down): nothing will answer
}

} // namespace photos
