#pragma once

// The road of a camera frame up to the scope's picture: the frame delegate, the per-frame
// enhancement and its measurement, the single-image slot `qImage` between the frame queue and
// the picture drawing, and the 60 Hz timer thread that asks for redraws. It reads the settings
// and the geometry it is given and tells its owner when a redraw is due through its signals.
//
// Night mode (ScopeSettings::isNightMode): a preview's window is first filtered over time
// (TemporalDenoiser) on the same locked buffer, then enhanced as always, so the gain multiplies
// averaged noise. The filter starts afresh when night mode is switched on and whenever the owner
// calls resetNightMode (the scene changed under it). Off, the filter never runs and a frame's
// bytes are exactly what they are without night mode. Stills are never filtered here.
//
// Recording (setVideoSink): every frame, before the preview takes its window, is copied whole to
// the sink and enhanced there as a still of that moment would be (the same level and tint, none at
// level 0); in night mode it is first filtered over time by a filter of its own, which starts
// afresh with the preview's. The preview's dropping of frames never drops a recorded one.
//
// Threads:
// - quartzImageFromSampleBuffer: the frame queue ("myQueue") for previews, the camera's still
//   delivery thread for stills. A still call may overlap a preview call.
// - captureOutput, previewImageFromSampleBuffer: the frame queue.
// - timerTick, and so both signals: the timer thread (tests call timerTick directly, with the
//   thread not started). Connect to them with Qt::DirectConnection: the timer thread has no event
//   loop, and the slots are expected to be as cheap as a layer's redraw request.
// - setSession, startTimerThread, stopTimerThread, shutdown: the main thread.
// - resetNightMode: any thread; it takes effect at the next preview.
// - The accessors: any thread (relaxed atomics, read and written whole).
//
// Lifetime: the destructor stops the timer thread. The capture objects that deliver frames to it
// must be detached (ScopeCamera::shutdown) before it goes.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include <QImage>
#include <QObject>

#include "imaging/FrameEnhancer.h"
#include "imaging/ImageSlot.h"
#include "imaging/Pixel.h"
#include "imaging/RepeatingTimerThread.h"
#include "imaging/TemporalDenoiser.h"
#include "imaging/VideoFrameSink.h"
#include "platform/camera/SampleBufferDelegate.h"
#include "platform/core/ThreadChecker.h"

class QColorSpace;

namespace platform {
class CaptureSession;
class PixelBuffer;
} // namespace platform

namespace imaging {

class ScopeGeometry;
class ScopeSettings;

class FramePipeline : public QObject, public platform::SampleBufferDelegate {
    Q_OBJECT
public:
    // The timer period: one sixtieth of a second computed in single precision.
    static constexpr float kTickInterval = 1.0f / 60.0f;
    // Overlay redraws come at every this many ticks (6 per second).
    static constexpr std::uint32_t kOverlayTickDivisor = 10;

    // `settings` and `geometry` outlive the pipeline.
    FramePipeline(ScopeSettings& settings, ScopeGeometry& geometry);
    ~FramePipeline() override;

    // Chooses the level, brightens and tints the frame's pixels in place (the scope window for a
    // preview, the whole frame for a still), measures the window of a preview, and returns a copy
    // of the whole processed frame (Format_ARGB32_Premultiplied, the shared colour space). A null
    // image means no image could be made; the frame's pixels may have been processed anyway.
    QImage quartzImageFromSampleBuffer(platform::SampleBuffer& sampleBuffer, bool isPreview);
    // The enhanced picture for the slot: the frame is processed as quartzImageFromSampleBuffer
    // does for a preview, and only the part the scope can show at zoom 0 is copied (the rest of
    // the frame is never drawn). Null when no image can be made.
    std::unique_ptr<ScopeImage> previewImageFromSampleBuffer(platform::SampleBuffer& sampleBuffer);
    // The frame delegate: fills the slot with the enhanced scope picture unless it is full or a
    // photo is being taken (then the frame is dropped unprocessed). A session that is not
    // running leaves the slot empty.
    void captureOutput(platform::VideoDataOutput& output, platform::SampleBuffer& frame,
        platform::CaptureConnection& connection) override;
    // The session whose frames come here; set before it first runs (the frame queue reads it).
    void setSession(std::shared_ptr<platform::CaptureSession> session);

    // Starts timerThread: timerTick every kTickInterval until stopped or destroyed.
    void startTimerThread();
    void stopTimerThread() { m_timerThread.stop(); }
    bool isTimerThreadRunning() const { return m_timerThread.isRunning(); }
    // One tick: overlayRedrawDue when the count before it is a multiple of 10 (the count wraps at
    // 2^32); then, if the slot is full, the geometry is refreshed and pictureRedrawDue follows.
    void timerTick();
    std::uint32_t tickCount() const { return m_tickCount.load(std::memory_order_relaxed); }
    // Tests start the counter near its wrap.
    void setTickCount(std::uint32_t count) { m_tickCount.store(count, std::memory_order_relaxed); }
    // Stops the timer thread and empties the slot. Idempotent.
    void shutdown();
    // The picture the night filter has averaged is no longer the scene (another camera, preset,
    // zoom or light): the next preview is shown as it comes and starts a new average.
    void resetNightMode()
    {
        m_denoiser.reset();
        m_videoDenoiser.reset();
    }

    // Frames go to `sink` too from the next one on; null stops that. Any thread; the frame being
    // written when it is replaced still goes to the old sink, which the caller keeps alive until
    // this returns (it holds a reference of its own).
    void setVideoSink(std::shared_ptr<VideoFrameSink> sink);
    // Frames the sink refused since it was set.
    std::uint64_t droppedVideoFrameCount() const
    {
        return m_droppedVideoFrames.load(std::memory_order_relaxed);
    }

    ImageSlot& qImage() { return m_qImage; }
    bool isTakingPicture() const { return m_isTakingPicture.load(std::memory_order_relaxed); }
    void setTakingPicture(bool taking) { m_isTakingPicture.store(taking, std::memory_order_relaxed); }
    // Last measured preview brightness, 0 to 765: imageLight.r + imageLight.g + imageLight.b.
    std::int32_t scopeImageLevel() const { return m_scopeImageLevel.load(std::memory_order_relaxed); }
    void setScopeImageLevel(std::int32_t level) { m_scopeImageLevel.store(level, std::memory_order_relaxed); }
    // Channel means of the last measured preview window; a is unused (0).
    pixel imageLight() const { return m_imageLight.load(std::memory_order_relaxed); }
    // Frames the delegate dropped because the slot was full or a photo was being taken.
    std::uint64_t droppedFrameCount() const { return m_droppedFrames.load(std::memory_order_relaxed); }

    // The device RGB colour space of every result image, made on first use; null if it cannot be
    // made. Any thread.
    static const QColorSpace* sharedColorSpace();

signals:
    // Every tenth tick: the overlay should be drawn again (timer thread).
    void overlayRedrawDue();
    // A tick found a picture in the slot: the picture layer should be drawn (timer thread).
    void pictureRedrawDue();

private:
    void storeMeasurement(const ChannelSums& sums, std::size_t pixelCount);
    // Steps 2 to 7 of the enhancement on a locked buffer; false when no colour space exists.
    bool processFrame(platform::PixelBuffer& buffer, bool isPreview);
    // The level a still taken now would get, from the settings and the last measurement.
    std::int32_t stillLevel() const;
    // The whole frame, enhanced as a still, into the sink (frame queue).
    void recordFrame(VideoFrameSink& sink, platform::SampleBuffer& frame);

    ScopeSettings& m_settings;
    ScopeGeometry& m_geometry;
    std::shared_ptr<platform::CaptureSession> m_session; // main thread writes before frames come

    ImageSlot m_qImage;
    std::atomic<bool> m_isTakingPicture { false };
    std::atomic<std::int32_t> m_scopeImageLevel { 0 };
    std::atomic<pixel> m_imageLight { pixel {} };
    std::atomic<std::uint32_t> m_tickCount { 0 };
    std::atomic<std::uint64_t> m_droppedFrames { 0 };
    // Previews only (the frame queue), apart from reset(), which any thread may call.
    TemporalDenoiser m_denoiser;
    bool m_nightModeWasOn { false }; // at the last preview; frame queue only
    // Recording: the sink (swapped under the mutex, used outside it) and its own night filter.
    std::mutex m_videoSinkMutex;
    std::shared_ptr<VideoFrameSink> m_videoSink;
    TemporalDenoiser m_videoDenoiser;
    bool m_videoNightModeWasOn { false }; // frame queue only
    std::atomic<std::uint64_t> m_droppedVideoFrames { 0 };

    platform::ThreadChecker m_mainThread;
    // The queue of the session set last; bound by its first frame.
    platform::ThreadChecker m_frameQueue;
    RepeatingTimerThread m_timerThread; // last: stopped before the rest goes
};

} // namespace imaging
