#pragma once

// One real camera streaming in one format: the camera's element, a decoder for motion JPEG,
// videoconvert into BGRA, videoflip for the arrival turn, and an appsink that keeps only the newest
// picture. GStreamer's streaming threads do all the per-frame work; the newest picture is handed
// out as a QImage over the mapped buffer (no copy), which keeps the buffer until the last copy of
// the image goes.
//
// Threads: open, failure and the destructor on one controlling thread (never a streaming thread);
// newest and waitForFrame from any thread. The frame observer runs on a streaming thread.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include <QImage>

#include "platform/camera/CameraInfo.h"
#include "platform/camera/Expected.h"

typedef struct _GstElement GstElement;
typedef struct _GstAppSink GstAppSink;

namespace platform {

class GstCameraStream {
public:
    // Sees every converted picture, on a streaming thread (the exposure loop measures here).
    using FrameObserver = std::function<void(const QImage&)>;

    struct Failure {
        QString reason;
        bool busy { false }; // another program holds the camera
    };

    // Starts streaming `mode` of `camera`, its pictures turned `turn` degrees counter-clockwise.
    // Fails when the pipeline cannot be built; a camera that will not start (busy, gone) gives a
    // stream whose failure() says why.
    static Expected<std::unique_ptr<GstCameraStream>> open(
        const CameraInfo& camera, const CameraMode& mode, int turn, FrameObserver observer = {});
    ~GstCameraStream();
    GstCameraStream(const GstCameraStream&) = delete;
    GstCameraStream& operator=(const GstCameraStream&) = delete;

    // The conversion from `mode` to upright-by-our-rule BGRA, as one bin with a sink and a source
    // pad (the benchmarks feed it from an appsrc).
    static GstElement* makeConversion(const CameraMode& mode, int turn);
    // The caps a camera is asked for in `mode`.
    static QString capsFor(const CameraMode& mode);

    const CameraMode& mode() const { return m_mode; }
    // The newest picture (null before the first) and its number (0 before the first).
    std::pair<QImage, std::uint64_t> newest() const;
    // Waits for a picture numbered above `after`; false on timeout.
    bool waitForFrame(std::uint64_t after, std::chrono::milliseconds timeout) const;
    // Why the camera stopped streaming, once it has (an error or the end of its stream).
    std::optional<Failure> failure();

    // Use open(): a stream made here has no pipeline.
    GstCameraStream(CameraMode mode, FrameObserver observer);

private:
    void receive(GstAppSink* sink);

    const CameraMode m_mode;
    const FrameObserver m_observer;
    GstElement* m_pipeline { nullptr }; // owned; stopped and released by the destructor

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_arrived;
    QImage m_newest; // guarded by m_mutex
    std::uint64_t m_number { 0 }; // guarded by m_mutex
};

} // namespace platform
