#pragma once

// The live, unprocessed picture of a session, scaled into the preview by its video gravity and
// mirrored for a front camera. Drawing and geometry belong to the graphics layer that implements
// this; here is only what the camera side decides.
//
// Threads: main thread.

#include <memory>

#include "platform/camera/CameraTypes.h"

namespace platform {

class CaptureSession;

class VideoPreviewLayer {
public:
    virtual ~VideoPreviewLayer() = default;

    virtual std::shared_ptr<CaptureSession> session() const = 0;

    virtual void setVideoGravity(VideoGravity gravity) = 0;
    virtual VideoGravity videoGravity() const = 0;

    // True while the picture is shown mirrored left to right (front camera).
    virtual bool isMirrored() const = 0;
};

} // namespace platform
