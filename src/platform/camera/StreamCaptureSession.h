#pragma once

// The capture session of our frame sources. While it runs, a stream thread asks the source for a
// picture at most once per the outputs' minimum frame duration (and no faster than the source's
// own 30 frames per second), publishes it to the preview stores, and offers each video output
// its own copy, so the delegate may change its frame without touching what the preview shows.
// A real camera (FrameSource::previewsAtSourceRate) is asked more often: the preview shows each of
// its pictures as it comes, and the outputs still get one at most once per their interval.
//
// Threads: the CaptureSession operations from the main thread, except isRunning() (any thread).
// stopRunning() joins the stream thread and waits for frames already handed to delegates, so
// after it returns no delegate call is running or will start. Destroying a running session stops
// it first.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/camera/CaptureSession.h"
#include "platform/camera/Expected.h"
#include "platform/camera/FrameClock.h"
#include "platform/core/ThreadChecker.h"

namespace platform {

class CaptureConnection;
class FrameSource;
class PreviewFrameStore;
class SampleBuffer;
class StreamCaptureDevice;
class StreamStillImageOutput;
class StreamVideoDataOutput;

class StreamCaptureSession final : public CaptureSession,
                                   public std::enable_shared_from_this<StreamCaptureSession> {
public:
    StreamCaptureSession(std::shared_ptr<FrameSource> source, std::shared_ptr<FrameClock> clock);
    ~StreamCaptureSession() override;

    StreamCaptureSession(const StreamCaptureSession&) = delete;
    StreamCaptureSession& operator=(const StreamCaptureSession&) = delete;

    void setSessionPreset(SessionPreset preset) override;
    SessionPreset sessionPreset() const override { return m_preset.load(); }

    // Only inputs of a StreamCaptureDevice are accepted, and one at a time.
    bool addInput(const std::shared_ptr<CaptureDeviceInput>& input) override;
    void removeInput(const std::shared_ptr<CaptureDeviceInput>& input) override;
    // Only the outputs of our back ends are accepted.
    bool addOutput(const std::shared_ptr<CaptureOutput>& output) override;

    void startRunning() override;
    void stopRunning() override;
    bool isRunning() const override { return m_running.load(); }

    // Any thread: the camera of the current input, or null.
    std::shared_ptr<StreamCaptureDevice> currentDevice() const;
    // Main thread: the preview store receives every picture while it lives.
    void addPreviewStore(const std::weak_ptr<PreviewFrameStore>& store);
    // Main thread: a job that takes one still of the current camera, for a still output's thread.
    // Empty when there is no camera input.
    std::function<Expected<std::shared_ptr<SampleBuffer>>()> stillCapture() const;

private:
    void stream(const std::stop_token& stop);
    void updateConnections();
    void activateSource();

    const std::shared_ptr<FrameSource> m_source;
    const std::shared_ptr<FrameClock> m_clock;
    const FrameClock::Duration m_epoch; // scene time 0
    std::atomic<SessionPreset> m_preset { SessionPreset::Photo };
    std::atomic<bool> m_running { false };

    mutable std::mutex m_mutex;
    std::shared_ptr<CaptureDeviceInput> m_input; // guarded by m_mutex
    std::shared_ptr<StreamCaptureDevice> m_device; // guarded by m_mutex
    std::vector<std::shared_ptr<StreamVideoDataOutput>> m_videoOutputs; // guarded by m_mutex
    std::vector<std::shared_ptr<StreamStillImageOutput>> m_stillOutputs; // main thread
    std::vector<std::weak_ptr<PreviewFrameStore>> m_previews; // guarded by m_mutex

    std::jthread m_streamThread; // main thread starts and joins it
    [[no_unique_address]] ThreadChecker m_mainThread;
};

} // namespace platform
