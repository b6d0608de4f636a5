#pragma once

// Helpers for the camera source tests: a delegate that records what it receives, and image
// measurements.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include <QImage>
#include <QString>

#include "platform/camera/FrameClock.h"
#include "platform/camera/PixelBuffer.h"
#include "platform/camera/SampleBuffer.h"
#include "platform/camera/SampleBufferDelegate.h"

namespace camera_test {

// Mean of the B, G and R bytes of a BGRA image.
double meanBrightness(const QImage& image);

// A copy of a frame's pixels; locks the buffer while it reads.
QImage copyPixels(platform::PixelBuffer& pixels);
// Overwrites every byte of a frame, as the enhancement changes a frame in place.
void scribble(platform::SampleBuffer& frame, unsigned char value);

struct Delivery {
    platform::FrameClock::Duration time;
    double brightness;
    QString threadName;
};

// Records every frame; optionally runs a hook (on the queue) before recording.
class RecordingDelegate final : public platform::SampleBufferDelegate {
public:
    explicit RecordingDelegate(const platform::FrameClock* clock = nullptr)
        : m_clock(clock)
    {
    }

    void captureOutput(platform::VideoDataOutput& output, platform::SampleBuffer& frame,
        platform::CaptureConnection& connection) override;

    void setHook(std::function<void(platform::SampleBuffer&)> hook) { m_hook = std::move(hook); }
    std::vector<Delivery> deliveries() const;
    std::size_t count() const;
    // Waits until at least `count` frames have arrived.
    bool waitFor(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(60)) const;

private:
    const platform::FrameClock* m_clock;
    std::function<void(platform::SampleBuffer&)> m_hook; // set before delivery starts
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_arrived;
    std::vector<Delivery> m_deliveries;
};

} // namespace camera_test
