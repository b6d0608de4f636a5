#pragma once

// Recording videos into the album: one recording at a time, from the shutter's start to its stop
// (or until it stops by itself: disk full, an encoder or camera error), then stored under the
// album's next video name, which becomes the last photo. Also finishes, at start, the recordings
// a killed app left behind.
//
// The road of one recording (threads in brackets):
//   start [main]: the album claims a temporary file, the frame pipeline gets the recording as its
//   video sink → first frame [frame queue]: the encoder is made for that frame's size; every frame
//   is written to it → stop [main]: the sink is taken off and the recording handed to the saver's
//   worker → [worker]: the encoder finishes the file, the album renames it into place →
//   videoSaved or saveFailed [main].
//
// Threads: every member on the main thread; the signals are emitted there.
//
// Lifetime: the destructor stops a recording under way and waits (bounded) until it is stored,
// so quitting while recording keeps the video.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include <QObject>
#include <QString>

#include "photos/Location.h"
#include "platform/album/AssetURL.h"
#include "platform/core/ThreadChecker.h"

namespace imaging {
class FramePipeline;
} // namespace imaging

namespace platform {
class AlbumFolder;
class DispatchQueue;
} // namespace platform

namespace photos {

class LastPhoto;
class VideoRecording;

class VideoSaver : public QObject {
    Q_OBJECT
public:
    struct Request {
        int deviceOrientation { 0 }; // at the tap: the video is turned upright as a photo would be
        std::optional<Location> location;
        bool audio { true };
    };

    // `pipeline` delivers the frames; `lastPhoto` owns the album. Both outlive the saver.
    VideoSaver(imaging::FramePipeline& pipeline, LastPhoto& lastPhoto);
    ~VideoSaver() override;

    // Starts recording; false (and saveFailed with the reason) when the album cannot take a
    // recording now. A second start while recording does nothing and returns false.
    bool start(const Request& request);
    // Stops the recording under way and stores it; nothing when none is.
    void stop();
    bool isRecording() const { return m_recording != nullptr; }
    // Since start; zero when not recording.
    std::chrono::milliseconds elapsed() const;

    // The clockwise turn, in degrees, that shows a frame upright for a device orientation, by the
    // rules photos are turned by (PhotoSaver::imageOrientationForDeviceOrientation).
    static int rotationForDeviceOrientation(int deviceOrientation);

    // Finishes and stores the recordings a killed app left in the album (worker; videoSaved for
    // each, so the newest shows).
    void recoverInterrupted();

    // Main thread: waits until every recording stopped has been stored, up to `limit`.
    bool finishSaving(std::chrono::milliseconds limit);

signals:
    // The recording stopped by itself (the disk is full, the encoder or the microphone failed);
    // what was recorded is being stored. `message` says why, for the user.
    void recordingInterrupted(const QString& message);
    // A video is in the album: `seconds` long, whole seconds.
    void videoSaved(const platform::AssetURL& url, int seconds);
    void saveFailed(const QString& message);

private:
    // The album folder recordings go to (the last photo's), made anew: a plain value.
    std::shared_ptr<const platform::AlbumFolder> album() const;
    // Worker: ends the file and gives it its album name.
    void store(VideoRecording& recording, const platform::AlbumFolder& folder);
    void onMainThread(std::function<void()> work);

    imaging::FramePipeline& m_pipeline;
    LastPhoto& m_lastPhoto;
    std::shared_ptr<VideoRecording> m_recording;
    std::chrono::steady_clock::time_point m_startedAt;
    int m_saving { 0 };
    std::unique_ptr<QObject> m_mainThread;
    std::unique_ptr<platform::DispatchQueue> m_worker; // last: drained before the rest goes
    platform::ThreadChecker m_mainThreadChecker;
};

} // namespace photos
