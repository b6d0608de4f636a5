#pragma once

// A CaptureBackend over one FrameSource and its cameras: the synthetic scene, an image file or
// the real cameras (see CameraSource for how one is chosen).
//
// Threads: main thread.

#include <functional>
#include <memory>
#include <vector>

#include "platform/camera/CaptureBackend.h"
#include "platform/core/ThreadChecker.h"

namespace platform {

class FrameClock;
class FrameSource;
class StreamCaptureDevice;

class StreamBackend final : public CaptureBackend {
public:
    StreamBackend(std::vector<std::shared_ptr<StreamCaptureDevice>> devices,
        std::shared_ptr<FrameSource> source, std::shared_ptr<FrameClock> clock);

    std::vector<std::shared_ptr<CaptureDevice>> devices() const override;
    std::shared_ptr<CaptureSession> makeSession() override;
    // Fails for a camera of another back end.
    Expected<std::shared_ptr<CaptureDeviceInput>> makeDeviceInput(
        const std::shared_ptr<CaptureDevice>& device) override;
    std::shared_ptr<VideoDataOutput> makeVideoDataOutput() override;
    std::shared_ptr<StillImageOutput> makeStillImageOutput() override;
    // A StreamPreviewLayer; null for a session of another back end.
    std::shared_ptr<VideoPreviewLayer> makePreviewLayer(
        const std::shared_ptr<CaptureSession>& session) override;

    const std::shared_ptr<FrameClock>& clock() const { return m_clock; }
    // Main thread, before the backend is shared: where status() comes from (any thread).
    void setStatusSource(std::function<QString()> source) { m_status = std::move(source); }
    QString status() const override { return m_status ? m_status() : QString(); }

private:
    std::vector<std::shared_ptr<StreamCaptureDevice>> m_devices;
    std::shared_ptr<FrameSource> m_source;
    std::shared_ptr<FrameClock> m_clock;
    std::function<QString()> m_status;
    [[no_unique_address]] ThreadChecker m_mainThread;
};

} // namespace platform
