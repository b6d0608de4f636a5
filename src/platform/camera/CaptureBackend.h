#pragma once

// A source of cameras: the devices it offers and the session, input and output objects that
// work with them. Each back end (synthetic scene, image file, real camera) implements this once.
//
// Threads: main thread.

#include <memory>
#include <vector>

#include <QString>

#include "platform/camera/Expected.h"

namespace platform {

class CaptureDevice;
class CaptureDeviceInput;
class CaptureSession;
class StillImageOutput;
class VideoDataOutput;
class VideoPreviewLayer;

class CaptureBackend {
public:
    virtual ~CaptureBackend() = default;

    virtual std::vector<std::shared_ptr<CaptureDevice>> devices() const = 0;
    virtual std::shared_ptr<CaptureSession> makeSession() = 0;
    // Fails with a reason when the camera cannot be opened.
    virtual Expected<std::shared_ptr<CaptureDeviceInput>> makeDeviceInput(
        const std::shared_ptr<CaptureDevice>& device)
        = 0;
    virtual std::shared_ptr<VideoDataOutput> makeVideoDataOutput() = 0;
    virtual std::shared_ptr<StillImageOutput> makeStillImageOutput() = 0;
    virtual std::shared_ptr<VideoPreviewLayer> makePreviewLayer(
        const std::shared_ptr<CaptureSession>& session)
        = 0;
    // Any thread: what the screen should say about the cameras right now (a camera lost or held
    // by another program); empty while they work.
    virtual QString status() const { return {}; }
};

} // namespace platform
