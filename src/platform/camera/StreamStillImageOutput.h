#pragma once

// The still image output of our frame sources. Each request takes one full-size picture from the
// session's source and hands it, with its attachments, to the completion on the output's own
// delivery thread ("stillQueue").
//
// Threads: requests and setters from the main thread; completions on the delivery thread.
// Destroying the output waits for a completion in progress and runs the queued ones with an
// error, so every completion runs exactly once and none outlives the output.

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>

#include "platform/camera/StillImageOutput.h"
#include "platform/core/DispatchQueue.h"
#include "platform/core/ThreadChecker.h"

namespace platform {

class StreamCaptureSession;

class StreamStillImageOutput final : public StillImageOutput {
public:
    StreamStillImageOutput();
    ~StreamStillImageOutput() override;

    std::vector<std::shared_ptr<CaptureConnection>> connections() const override;

    void setPixelFormat(PixelFormat format) override { m_pixelFormat = format; }
    PixelFormat pixelFormat() const override { return m_pixelFormat; }

    void captureStillImageAsynchronously(
        const std::shared_ptr<CaptureConnection>& connection, Completion completion) override;

    // Waits until every requested still has been delivered. False on timeout.
    bool drain(std::chrono::milliseconds timeout) { return m_queue.drain(timeout); }

    // Session side (main thread).
    void attach(std::weak_ptr<StreamCaptureSession> session);
    void setConnection(std::shared_ptr<CaptureConnection> connection);

private:
    mutable std::mutex m_mutex;
    std::shared_ptr<CaptureConnection> m_connection; // guarded by m_mutex
    std::weak_ptr<StreamCaptureSession> m_session; // main thread
    PixelFormat m_pixelFormat { PixelFormat::BGRA32 }; // main thread
    std::atomic<bool> m_closing { false };
    DispatchQueue m_queue { QStringLiteral("stillQueue") }; // last: stops first
    [[no_unique_address]] ThreadChecker m_mainThread;
};

} // namespace platform
