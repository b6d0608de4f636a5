#pragma once

// Where a StreamCaptureSession's pictures come from. The session paces and delivers; a source only
// makes pictures: a rendered scene, a photo, or the latest frame of a real camera.
//
// Threads: setActive() on the main thread; videoFrame() on the session's stream thread;
// stillFrame() on a still output's delivery thread, possibly while videoFrame() runs.

#include <memory>

#include <QImage>

#include "platform/camera/CameraTypes.h"
#include "platform/camera/Expected.h"
#include "platform/camera/FrameClock.h"

namespace platform {

class SampleBuffer;
class StreamCaptureDevice;

class FrameSource {
public:
    virtual ~FrameSource() = default;

    // The session now runs `device` at `preset`, or has stopped (device null). Real cameras open,
    // switch or close here; rendered sources need nothing.
    virtual void setActive(const std::shared_ptr<StreamCaptureDevice>& device, SessionPreset preset)
    {
        (void)device;
        (void)preset;
    }

    // True when the preview should follow the source's own rate (a real camera's, up to 30 frames
    // a second) rather than the video outputs' slower one; the outputs keep theirs either way.
    virtual bool previewsAtSourceRate() const { return false; }

    // The picture at session time `time`, in Format_ARGB32_Premultiplied (BGRA bytes); a null
    // image when there is nothing new to show yet.
    virtual QImage videoFrame(
        const StreamCaptureDevice& device, SessionPreset preset, FrameClock::Duration time)
        = 0;

    // One full-size still with its attachments, or why there is none.
    virtual Expected<std::shared_ptr<SampleBuffer>> stillFrame(
        const StreamCaptureDevice& device, SessionPreset preset, FrameClock::Duration time)
        = 0;
};

} // namespace platform
