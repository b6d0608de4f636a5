#pragma once

// Takes one full-size still picture on request.
//
// Threads: requests from the main thread. Each completion runs exactly once, later, on the
// output's own delivery thread — never inside captureStillImageAsynchronously — with either a
// frame or an error text. Destroying the output waits for a completion that is running and
// runs pending ones with an error, so no completion outlives the output.

#include <functional>
#include <memory>

#include <QString>

#include "platform/camera/CameraTypes.h"
#include "platform/camera/CaptureOutput.h"

namespace platform {

class SampleBuffer;

class StillImageOutput : public CaptureOutput {
public:
    // frame is null exactly when error is not empty.
    using Completion = std::function<void(std::shared_ptr<SampleBuffer> frame, const QString& error)>;

    virtual void setPixelFormat(PixelFormat format) = 0;
    virtual PixelFormat pixelFormat() const = 0;

    // connection must be one of connections() that carries video.
    virtual void captureStillImageAsynchronously(
        const std::shared_ptr<CaptureConnection>& connection, Completion completion)
        = 0;
};

} // namespace platform
