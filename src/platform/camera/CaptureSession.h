#pragma once

// Connects one camera input to its outputs. Frames flow only while the session runs; the
// session feeds all its outputs from its one input.
//
// Threads: everything from the main thread, except isRunning(), which any thread may ask (the
// frame delegate does).

#include <memory>

#include "platform/camera/CameraTypes.h"

namespace platform {

class CaptureDeviceInput;
class CaptureOutput;

class CaptureSession {
public:
    virtual ~CaptureSession() = default;

    // The next frames come at the new size.
    virtual void setSessionPreset(SessionPreset preset) = 0;
    virtual SessionPreset sessionPreset() const = 0;

    // False (and nothing changes) when the session cannot take the input or output, e.g. a
    // second input, or an object already added.
    virtual bool addInput(const std::shared_ptr<CaptureDeviceInput>& input) = 0;
    virtual void removeInput(const std::shared_ptr<CaptureDeviceInput>& input) = 0;
    virtual bool addOutput(const std::shared_ptr<CaptureOutput>& output) = 0;

    virtual void startRunning() = 0;
    virtual void stopRunning() = 0;
    virtual bool isRunning() const = 0;
};

} // namespace platform
