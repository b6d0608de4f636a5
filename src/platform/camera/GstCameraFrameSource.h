#pragma once

// The real cameras through GStreamer (see GstCameraCatalog, GstCameraStream). A watcher thread of
// its own opens, switches and closes the active camera, so that neither the main thread nor the
// session's stream thread ever waits on a camera. It also keeps the camera alive: a camera that
// fails, ends its stream or stops sending pictures is reported (status(), a log line) and looked
// for again every two seconds until it is back; one held by another program likewise.
//
// Exposure: where the camera has V4L2 exposure or gain controls, CameraExposure drives them from the
// converted pictures (exposure time first, then analogue gain; the app's digital gain follows on
// its own), and the photo's EXIF carries the values in force.
//
// Stills: the newest picture when the preview already runs at the camera's largest size; otherwise
// the camera is switched to its largest size and back once no still has been asked for in a
// moment (a night-mode burst takes all its stills at that size; the preview holds its last picture
// meanwhile). Every still is a picture no earlier still was; one asked for before the first
// picture waits for it.
//
// Threads: constructed and destroyed on the main thread; setActive on the main thread;
// videoFrame on the session's stream thread; stillFrame on a still output's thread; status from
// any thread.

#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <vector>

#include "platform/camera/CameraInfo.h"
#include "platform/camera/FrameSource.h"
#include "platform/camera/GstCameraStream.h"

namespace platform {

class CameraExposure;
class StreamCaptureDevice;

class GstCameraFrameSource final : public FrameSource {
public:
    // `rotation`: the user's mounting rotation for every camera, replacing what the cameras say.
    GstCameraFrameSource(std::vector<CameraInfo> cameras, std::optional<int> rotation,
        const std::shared_ptr<FrameClock>& clock);
    ~GstCameraFrameSource() override;

    const std::vector<std::shared_ptr<StreamCaptureDevice>>& devices() const { return m_devices; }

    void setActive(const std::shared_ptr<StreamCaptureDevice>& device, SessionPreset preset) override;
    bool previewsAtSourceRate() const override { return true; }
    QImage videoFrame(
        const StreamCaptureDevice& device, SessionPreset preset, FrameClock::Duration time) override;
    Expected<std::shared_ptr<SampleBuffer>> stillFrame(
        const StreamCaptureDevice& device, SessionPreset preset, FrameClock::Duration time) override;

    // What the screen should say about the camera; empty while it works.
    QString status() const;

private:
    enum class Health { Closed, Starting, Streaming, Lost };
    struct Wanted {
        int index { -1 };
        SessionPreset preset { SessionPreset::Photo };
        bool operator==(const Wanted&) const = default;
    };
    using StillResult = std::pair<QImage, QString>; // the picture, or why there is none

    void watch(const std::stop_token& stop);
    void open(Wanted wanted);
    std::shared_ptr<CameraExposure> exposureFor(const CameraInfo& camera, const CameraMode& mode) const;
    void close();
    void checkHealth();
    void lose(const GstCameraStream::Failure& failure);
    void lookAgain();
    std::shared_ptr<GstCameraStream> liveStream() const;
    StillResult nextPicture(const GstCameraStream& stream, const QString& missing);
    StillResult takeStill();
    StillResult takeLargeStill(const CameraInfo& camera, const CameraMode& largest);
    void endStills();
    void setStatus(const QString& status);

    std::vector<CameraInfo> m_cameras; // watcher thread (after construction)
    std::vector<std::shared_ptr<StreamCaptureDevice>> m_devices;
    const std::optional<int> m_rotation;

    // Watcher thread only.
    Wanted m_open;
    Health m_health { Health::Closed };
    std::chrono::steady_clock::time_point m_since; // of the health, or the last look for a lost camera
    std::uint64_t m_seenNumber { 0 };
    std::chrono::steady_clock::time_point m_seenAt;
    bool m_wasLost { false };
    // A burst takes its stills from one stream at the largest size, kept open between them.
    std::unique_ptr<GstCameraStream> m_stillStream;
    std::chrono::steady_clock::time_point m_stillStreamUntil;
    std::uint64_t m_lastStill { 0 }; // number of the last picture given as a still, in its stream
    const GstCameraStream* m_lastStillStream { nullptr };

    mutable std::mutex m_mutex;
    std::condition_variable_any m_wake;
    Wanted m_wanted; // guarded by m_mutex
    std::shared_ptr<GstCameraStream> m_stream; // guarded by m_mutex; replaced by the watcher only
    std::shared_ptr<CameraExposure> m_exposure; // guarded by m_mutex; null without exposure controls
    std::vector<std::promise<StillResult>> m_stills; // guarded by m_mutex
    QString m_status; // guarded by m_mutex

    // Session stream thread only.
    const GstCameraStream* m_shownStream { nullptr };
    std::uint64_t m_shownNumber { 0 };

    std::jthread m_watcher; // last: stops first
};

} // namespace platform
