#pragma once

// Delivers the session's video frames to a delegate on a named serial queue, one at a time and
// at most one per minFrameDuration. Frames that arrive while the delegate is busy are dropped.
//
// Threads: configuration from the main thread. Delivery on the queue named in
// setSampleBufferDelegate. Once setSampleBufferDelegate returns (with another delegate or with
// nullptr), no call to the previous delegate is running or will start: a delegate may be
// destroyed right after it has been replaced.

#include <QString>

#include "platform/camera/CameraTypes.h"
#include "platform/camera/CaptureOutput.h"

namespace platform {

class SampleBufferDelegate;

class VideoDataOutput : public CaptureOutput {
public:
    // delegate nullptr stops delivery. The queue's name shows in thread names and logs.
    virtual void setSampleBufferDelegate(SampleBufferDelegate* delegate, const QString& queueName) = 0;
    virtual SampleBufferDelegate* sampleBufferDelegate() const = 0;

    virtual void setPixelFormat(PixelFormat format) = 0;
    virtual PixelFormat pixelFormat() const = 0;

    virtual void setMinFrameDuration(FrameDuration duration) = 0;
    virtual FrameDuration minFrameDuration() const = 0;
};

} // namespace platform
