#pragma once

// The real camera through Qt Multimedia: frames of the active QCamera arrive in a QVideoSink and
// the newest one is converted to premultiplied BGRA when the session's stream thread asks for
// it (older ones are simply replaced). Stills are the newest frame at the format the preset
// chose: the Photo preset picks the camera's largest format, the others the format closest to
// the stand-in size of the preset. The torch follows the device's torch mode where Qt supports it.
//
// Threads: created, activated and destroyed on the main (GUI) thread, which must run an event
// loop for frames to arrive; videoFrame() and stillFrame() as in FrameSource.

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include <QCameraDevice>
#include <QList>
#include <QVideoFrame>

#include "platform/camera/FrameSource.h"
#include "platform/core/ThreadChecker.h"

class QCamera;
class QMediaCaptureSession;
class QVideoSink;

namespace platform {

class StreamCaptureDevice;

class QtCameraFrameSource final : public FrameSource {
public:
    // The cameras Qt Multimedia finds, or only the one at `index` when it is not negative.
    // Fails with a reason when there is no such camera.
    static Expected<std::shared_ptr<QtCameraFrameSource>> open(
        int index, const std::shared_ptr<FrameClock>& clock);
    ~QtCameraFrameSource() override;

    const std::vector<std::shared_ptr<StreamCaptureDevice>>& devices() const { return m_devices; }

    void setActive(const std::shared_ptr<StreamCaptureDevice>& device, SessionPreset preset) override;
    QImage videoFrame(
        const StreamCaptureDevice& device, SessionPreset preset, FrameClock::Duration time) override;
    Expected<std::shared_ptr<SampleBuffer>> stillFrame(
        const StreamCaptureDevice& device, SessionPreset preset, FrameClock::Duration time) override;

    explicit QtCameraFrameSource(QList<QCameraDevice> cameras);

private:
    void receive(const QVideoFrame& frame);

    QList<QCameraDevice> m_cameras;
    std::vector<std::shared_ptr<StreamCaptureDevice>> m_devices;
    std::unique_ptr<QMediaCaptureSession> m_capture; // main thread
    std::unique_ptr<QVideoSink> m_sink; // main thread
    std::unique_ptr<QCamera> m_camera; // main thread: the active camera
    int m_activeIndex { -1 }; // main thread
    std::atomic<double> m_exposureTime { 1.0 / 30.0 };
    std::atomic<int> m_iso { 400 };

    std::mutex m_mutex;
    QVideoFrame m_latest; // guarded by m_mutex
    std::uint64_t m_latestNumber { 0 }; // guarded by m_mutex
    std::uint64_t m_shownNumber { 0 }; // stream thread
    [[no_unique_address]] ThreadChecker m_mainThread;
};

} // namespace platform
