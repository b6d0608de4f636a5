#include "photos/VideoSaver.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>

#include "imaging/FramePipeline.h"
#include "photos/LastPhoto.h"
#include "photos/PhotoSaver.h"
#include "photos/VideoRecording.h"
#include "platform/album/AlbumFolder.h"
#include "platform/album/AssetsLibrary.h"
#include "platform/core/DispatchQueue.h"
#include "platform/core/Log.h"
#include "platform/video/VideoRepair.h"

namespace photos {

namespace {

// The rate the frame pipeline is asked for while recording; a slower camera gives fewer frames,
// each stamped with the time it came.
constexpr double kRecordingFramesPerSecond = 30.0;

int wholeSeconds(std::chrono::milliseconds duration)
{
    return int(std::chrono::duration_cast<std::chrono::seconds>(duration).count());
}

} // namespace

VideoSaver::VideoSaver(imaging::FramePipeline& pipeline, LastPhoto& lastPhoto)
    : m_pipeline(pipeline)
    , m_lastPhoto(lastPhoto)
    , m_mainThread(std::make_unique<QObject>())
    , m_worker(std::make_unique<platform::DispatchQueue>(QStringLiteral("video")))
{
}

VideoSaver::~VideoSaver()
{
    stop();
    finishSaving(std::chrono::seconds(15));
    m_worker.reset(); // runs what is queued: a stopped recording is stored even now
    m_mainThread.reset();
}

int VideoSaver::rotationForDeviceOrientation(int deviceOrientation)
{
    // The photo's orientation code says how its stored pixels are shown upright.
    switch (PhotoSaver::imageOrientationForDeviceOrientation(deviceOrientation)) {
    case 1: // down
        return 180;
    case 2: // left
        return 270;
    case 3: // right
        return 90;
    default: // up
        return 0;
    }
}

std::chrono::milliseconds VideoSaver::elapsed() const
{
    if (!m_recording)
        return std::chrono::milliseconds(0);
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - m_startedAt);
}

std::shared_ptr<const platform::AlbumFolder> VideoSaver::album() const
{
    QString directory = m_lastPhoto.albumDirectory();
    if (directory.isEmpty())
        directory = platform::AssetsLibrary::defaultDirectory();
    return std::make_shared<const platform::AlbumFolder>(
        directory, platform::AlbumFolder::Creation::IfMissing);
}

bool VideoSaver::start(const Request& request)
{
    LUMIVUE_CHECK_THREAD(m_mainThreadChecker);
    if (m_recording)
        return false;
    auto encoding = platform::VideoEncoding::choose();
    if (!encoding) {
        emit saveFailed(tr("No video was recorded: %1.").arg(encoding.error()));
        return false;
    }
    const auto folder = album();
    platform::AlbumFolder::Claimed claimed = folder->claimRecording(encoding->extension());
    if (claimed.error) {
        emit saveFailed(tr("No video was recorded: %1").arg(claimed.error->description()));
        return false;
    }

    platform::VideoRecorder::Settings settings;
    settings.framesPerSecond = kRecordingFramesPerSecond;
    settings.rotation = rotationForDeviceOrientation(request.deviceOrientation);
    settings.withSound = request.audio;
    settings.creationTime = QDateTime::currentDateTime();
    if (request.location)
        settings.position = platform::VideoRecorder::Position { request.location->latitude,
            request.location->longitude, {} };
    settings.encoding = *encoding;

    const int rotation = settings.rotation;
    auto recording = std::make_shared<VideoRecording>(
        std::move(claimed.claim), std::move(settings), [this](const QString& message, bool diskFull) {
            const QString text = diskFull
                ? tr("The storage is full. What was recorded until then is kept.")
                : tr("The recording stopped: %1. What was recorded until then is kept.").arg(message);
            onMainThread([this, text] { emit recordingInterrupted(text); });
        });
    m_recording = recording;
    m_startedAt = std::chrono::steady_clock::now();
    m_pipeline.setVideoSink(recording);
    platform::logLine(platform::lcPhotos(),
        QStringLiteral("Recording started (%1, turned %2°)").arg(encoding->description()).arg(rotation));
    return true;
}

void VideoSaver::stop()
{
    LUMIVUE_CHECK_THREAD(m_mainThreadChecker);
    if (!m_recording)
        return;
    m_pipeline.setVideoSink(nullptr);
    std::shared_ptr<VideoRecording> recording = std::move(m_recording);
    m_recording.reset();
    ++m_saving;
    const auto folder = album();
    m_worker->async([this, recording, folder] { store(*recording, *folder); });
}

void VideoSaver::store(VideoRecording& recording, const platform::AlbumFolder& folder)
{
    const platform::VideoRecorder::Result result = recording.close();
    platform::AlbumFolder::Stored stored = folder.storeRecording(recording.takeClaim());
    const int seconds = wholeSeconds(result.duration);
    if (stored.error || stored.name.isEmpty()) {
        const QString why = stored.error ? stored.error->description() : result.error;
        onMainThread([this, why] {
            --m_saving;
            emit saveFailed(tr("The video could not be saved: %1").arg(why));
        });
        return;
    }
    const platform::AssetURL url = folder.urlForName(stored.name);
    m_lastPhoto.photoAdded(url);
    onMainThread([this, url, seconds] {
        --m_saving;
        emit videoSaved(url, seconds);
    });
}

void VideoSaver::recoverInterrupted()
{
    LUMIVUE_CHECK_THREAD(m_mainThreadChecker);
    const auto folder = album();
    ++m_saving;
    m_worker->async([this, folder] {
        for (platform::RecordingClaim& left : folder->interruptedRecordings()) {
            platform::logLine(platform::lcPhotos(),
                QStringLiteral("Finishing an interrupted recording: %1").arg(left.fileName()));
            // Remuxed into a complete file; the leftover itself when that fails (it plays as it is).
            platform::AlbumFolder::Claimed repaired = folder->claimRecording(left.extension());
            platform::RecordingClaim keep = std::move(left);
            if (!repaired.error) {
                const platform::VideoRepair::Result repair
                    = platform::VideoRepair::finish(keep.path(), repaired.claim.path());
                if (repair.ok) {
                    keep.discard();
                    keep = std::move(repaired.claim);
                } else {
                    platform::logLine(
                        platform::lcPhotos(), QStringLiteral("Kept as it was: %1").arg(repair.error));
                    repaired.claim.discard();
                }
            }
            const platform::AlbumFolder::Stored stored = folder->storeRecording(std::move(keep));
            if (!stored.error && !stored.name.isEmpty()) {
                const platform::AssetURL url = folder->urlForName(stored.name);
                m_lastPhoto.photoAdded(url);
                platform::logLine(
                    platform::lcPhotos(), QStringLiteral("Recovered recording: %1").arg(stored.name));
            }
        }
        onMainThread([this] { --m_saving; });
    });
}

bool VideoSaver::finishSaving(std::chrono::milliseconds limit)
{
    LUMIVUE_CHECK_THREAD(m_mainThreadChecker);
    QElapsedTimer clock;
    clock.start();
    while (m_saving > 0 && clock.elapsed() < limit.count()) {
        m_worker->drain(std::chrono::milliseconds(50));
        QCoreApplication::sendPostedEvents(m_mainThread.get());
    }
    return m_saving == 0;
}

void VideoSaver::onMainThread(std::function<void()> work)
{
    if (QObject* context = m_mainThread.get())
        QMetaObject::invokeMethod(context, std::move(work), Qt::QueuedConnection);
}

} // namespace photos
