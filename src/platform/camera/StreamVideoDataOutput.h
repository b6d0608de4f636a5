#pragma once

// The video data output of our frame sources. The session offers it frames at its pace; the
// output hands each to the delegate on its serial queue, one at a time. A frame offered while the
// previous one is still queued or being handled is dropped, so a slow delegate makes frames drop
// and nothing queues up.
//
// Threads: the VideoDataOutput setters from the main thread; offer() / wantsFrame() from the
// session's stream thread; the counters and drain() from any thread. The delegate runs on the
// queue. Destroying the output waits for a delegate call in progress and drops the rest.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/camera/FrameClock.h"
#include "platform/camera/VideoDataOutput.h"
#include "platform/core/DispatchQueue.h"
#include "platform/core/ThreadChecker.h"

namespace platform {

class SampleBuffer;

class StreamVideoDataOutput final : public VideoDataOutput {
public:
    StreamVideoDataOutput() = default;
    ~StreamVideoDataOutput() override;

    std::vector<std::shared_ptr<CaptureConnection>> connections() const override;

    void setSampleBufferDelegate(SampleBufferDelegate* delegate, const QString& queueName) override;
    SampleBufferDelegate* sampleBufferDelegate() const override;

    void setPixelFormat(PixelFormat format) override { m_pixelFormat = format; }
    PixelFormat pixelFormat() const override { return m_pixelFormat; }

    // A zero or negative duration means no limit beyond the source's own rate.
    void setMinFrameDuration(FrameDuration duration) override;
    FrameDuration minFrameDuration() const override;
    FrameClock::Duration minFrameInterval() const { return FrameClock::Duration(m_minInterval.load()); }

    // Stream thread: true when a frame offered now would reach the delegate.
    bool wantsFrame() const;
    // Stream thread: queues the frame for the delegate, or drops it (false).
    bool offer(std::shared_ptr<SampleBuffer> frame);
    // Stream thread: a frame came while the delegate was busy and was not even made.
    void dropFrame();

    // Waits until no frame is queued or in the delegate. False on timeout or on the queue itself.
    bool drain(std::chrono::milliseconds timeout);
    std::uint64_t deliveredFrameCount() const { return m_delivered.load(); }
    std::uint64_t droppedFrameCount() const { return m_dropped.load(); }

    // Session side (main thread): the connection to the session's input, or null when none.
    void setConnection(std::shared_ptr<CaptureConnection> connection);

private:
    mutable std::mutex m_mutex;
    SampleBufferDelegate* m_delegate { nullptr }; // guarded by m_mutex
    std::uint64_t m_generation { 0 }; // guarded by m_mutex: bumped per delegate
    std::shared_ptr<CaptureConnection> m_connection; // guarded by m_mutex
    FrameDuration m_minFrameDuration { 0, 1 }; // guarded by m_mutex
    PixelFormat m_pixelFormat { PixelFormat::BGRA32 }; // main thread
    std::atomic<std::int64_t> m_minInterval { 0 }; // nanoseconds
    std::atomic<bool> m_inFlight { false }; // a frame is queued or in the delegate
    std::atomic<std::uint64_t> m_delivered { 0 };
    std::atomic<std::uint64_t> m_dropped { 0 };
    std::unique_ptr<DispatchQueue> m_queue; // guarded by m_mutex; last, stops first
    [[no_unique_address]] ThreadChecker m_mainThread;
};

} // namespace platform
