#pragma once

// Receives the video frames of a VideoDataOutput, one at a time, on the output's serial queue.

namespace platform {

class CaptureConnection;
class SampleBuffer;
class VideoDataOutput;

class SampleBufferDelegate {
public:
    virtual ~SampleBufferDelegate() = default;

    // Called on the output's queue. The frame is the receiver's to change (the enhancement works
    // in place) but only for the length of the call.
    virtual void captureOutput(VideoDataOutput& output, SampleBuffer& frame, CaptureConnection& connection)
        = 0;
};

} // namespace platform
