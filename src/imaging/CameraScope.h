#pragma once

// The lowest class of the camera screen controller: the night-vision settings and measurements,
// the per-frame enhancement, the capture session with its frame stream and the single-image slot,
// the 60 Hz timer thread, and the drawing of the scope (picture square and overlay). Later classes
// of the chain add photos and the screen; the screen at the top implements the protected hooks
// (controls, zoom, screen scale and idiom, device orientation, click sound).
//
// Units: "points" are screen points, "device pixels" are points × screenScale, "frame pixels"
// are pixels of the camera's landscape frames.
//
// Threads:
// - quartzImageFromSampleBuffer: the frame queue ("myQueue") for previews, the camera's still
//   delivery thread for stills. A still call may overlap a preview call.
// - captureOutput: the frame queue.
// - timerTick: the timer thread (tests call it directly, with the thread not started).
// - drawLayer: the GUI thread (the layer system draws there).
// - Everything else (set-up, chooser and button actions, start/stop): the main (GUI) thread.
// - The field accessors: any thread. Each field is a relaxed atomic of its own width, read and
//   written whole; a reader may see a value one frame old.
//
// Lifetime: the destructor stops the timer thread, detaches the frame delegate and stops the
// session. A subclass whose hooks read its own members calls shutdownScope() first in its own
// destructor, so that no frame or tick reaches a half-destroyed object.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include <QImage>
#include <QString>

#include "imaging/ColorFilter.h"
#include "imaging/FrameEnhancer.h"
#include "imaging/ImageSlot.h"
#include "imaging/NightVisionMode.h"
#include "imaging/Pixel.h"
#include "imaging/RepeatingTimerThread.h"
#include "platform/camera/SampleBufferDelegate.h"
#include "platform/graphics/Layer.h"

class QColorSpace;

namespace platform {
class CaptureBackend;
class CaptureDevice;
class CaptureDeviceInput;
class CaptureSession;
class GraphicsContext;
class PixelBuffer;
class SampleBuffer;
class StillImageOutput;
class VideoDataOutput;
} // namespace platform

namespace imaging {

class LivePreviewLayer;

class CameraScope : public platform::SampleBufferDelegate, public platform::LayerDelegate {
public:
    static constexpr int kClickSound = 1104;
    // The timer period: one sixtieth of a second computed in single precision.
    static constexpr float kTickInterval = 1.0f / 60.0f;
    // Overlay redraws come at every this many ticks (6 per second).
    static constexpr std::uint32_t kOverlayTickDivisor = 10;

    CameraScope();
    ~CameraScope() override;
    CameraScope(const CameraScope&) = delete;
    CameraScope& operator=(const CameraScope&) = delete;

    // Chooses the level, brightens and tints the frame's pixels in place (the scope window for a
    // preview, the whole frame for a still), measures the window of a preview, and returns a copy
    // of the whole processed frame (Format_ARGB32_Premultiplied, the shared colour space). A null
    // image means no image could be made; the frame's pixels may have been processed anyway.
    QImage quartzImageFromSampleBuffer(platform::SampleBuffer& sampleBuffer, bool isPreview);

    // "Enlight" chooser: 0 Auto, 1 Manual, 2 Off; any other item changes no setting.
    void enlightChange(int item);
    // "Color" chooser: the item becomes the colour filter.
    void colorSpaceChange(int item);
    // The level slider moved: in manual mode the level follows it, truncated toward zero.
    void sliderNVAction(float value);
    // The level slider was let go: it comes to rest, animated, on the integer level.
    void sliderNVFinish();

    std::int32_t scopeNightVisionMode() const { return m_scopeNightVisionMode.load(std::memory_order_relaxed); }
    void setScopeNightVisionMode(std::int32_t mode) { m_scopeNightVisionMode.store(mode, std::memory_order_relaxed); }
    // Gain level: (level + 8) / 8 for 1 and above, no gain for 0 and below.
    std::int32_t scopeNightVisionLevel() const { return m_scopeNightVisionLevel.load(std::memory_order_relaxed); }
    void setScopeNightVisionLevel(std::int32_t level) { m_scopeNightVisionLevel.store(level, std::memory_order_relaxed); }
    // Brightness threshold of the automatic mode (sum of the three channel means).
    std::int32_t scopeNightVisionThread() const { return m_scopeNightVisionThread.load(std::memory_order_relaxed); }
    void setScopeNightVisionThread(std::int32_t threshold) { m_scopeNightVisionThread.store(threshold, std::memory_order_relaxed); }
    std::int32_t scopeNightVisionColorFilter() const { return m_scopeNightVisionColorFilter.load(std::memory_order_relaxed); }
    void setScopeNightVisionColorFilter(std::int32_t filter) { m_scopeNightVisionColorFilter.store(filter, std::memory_order_relaxed); }
    // Last measured preview brightness, 0 to 765: imageLight.r + imageLight.g + imageLight.b.
    std::int32_t scopeImageLevel() const { return m_scopeImageLevel.load(std::memory_order_relaxed); }
    void setScopeImageLevel(std::int32_t level) { m_scopeImageLevel.store(level, std::memory_order_relaxed); }
    // Channel means of the last measured preview window; a is unused (0).
    pixel imageLight() const { return m_imageLight.load(std::memory_order_relaxed); }
    // Half the side of the preview window in frame pixels at zoom 0.
    std::int32_t scopeScreenScaledRadius() const { return m_scopeScreenScaledRadius.load(std::memory_order_relaxed); }
    void setScopeScreenScaledRadius(std::int32_t radius) { m_scopeScreenScaledRadius.store(radius, std::memory_order_relaxed); }

    // ---- Capture session and frame stream (main thread) ----

    // Where cameras come from; set before setupCaptureSessionVideo. Null means there is no camera.
    void setCaptureBackend(std::shared_ptr<platform::CaptureBackend> backend);
    // The screen-load steps in order: scope geometry, session set-up, first guess of the scaled
    // radius, the two scope layers, the timer thread.
    void loadScope();
    // screenScale, scopePixelRadius (300 tablet, 100 phone), scopePixelSize, scopeScreenRadius.
    void setupScopeGeometry();
    // Builds and starts the session: cameras, input, video output on "myQueue" (BGRA, at most 20
    // frames a second), still output, and the live preview in the preview view. Without a usable
    // camera the session is left out and the overlay says why; the screen keeps working.
    void setupCaptureSessionVideo();
    // Logs "Device name: %s" for every camera and picks the back and front ones. A camera that is
    // not at the back counts as front. The camera switch is shown only when there are two.
    void setCameraDevices();
    // Adds scopeImageLayer and scopeGridLayer above the preview, centred, scopePixelSize square.
    void setupScopeLayers();
    // "Preset" chooser: 0 Low, 1 Med, 2 High, 3 Photo; other items keep the preset. Either way
    // the geometry is recomputed from the next picture.
    void presetChange(int item);
    // Swaps the back and front cameras (keeps the only one there is), rebuilds the input.
    void changeCamera();
    // Shows torchButton only when the camera in use has a torch.
    void checkTorch();
    // Toggles the torch of the camera in use; click sound in every case.
    void changeScopeTorch();
    // The next tick that finds a picture recomputes previewScale and the scaled radius.
    void calculateScreen() { m_previewScale.store(0.0f, std::memory_order_relaxed); }
    // Starts the session, then checkTorch (the screen is about to appear).
    void startCaptureSession();
    // Stops the session and empties the slot (the screen is about to disappear): a stopped
    // preview holds no picture.
    void stopCaptureSession();
    // Stops the timer thread, detaches the frame delegate, stops the session. Idempotent.
    void shutdownScope();

    // The frame delegate, on "myQueue": fills the slot with the enhanced scope picture unless it
    // is full or a photo is being taken (then the frame is dropped unprocessed).
    void captureOutput(platform::VideoDataOutput& output, platform::SampleBuffer& frame,
                       platform::CaptureConnection& connection) override;
    // The enhanced picture for the slot: the frame is processed as quartzImageFromSampleBuffer
    // does for a preview, and only the part the scope can show at zoom 0 is copied (the rest of
    // the frame is never drawn). Null when no image can be made.
    std::unique_ptr<ScopeImage> previewImageFromSampleBuffer(platform::SampleBuffer& sampleBuffer);

    // ---- Timer ----

    // Starts timerThread: timerTick every kTickInterval until shutdownScope or destruction.
    void startTimerThread();
    void stopTimerThread() { m_timerThread.stop(); }
    bool isTimerThreadRunning() const { return m_timerThread.isRunning(); }
    // One tick: overlay redraw when the count before it is a multiple of 10 (the count wraps at
    // 2^32); then, if the slot is full, the geometry when it is stale and a picture redraw.
    void timerTick();
    std::uint32_t tickCount() const { return m_tickCount.load(std::memory_order_relaxed); }
    // Tests start the counter near its wrap.
    void setTickCount(std::uint32_t count) { m_tickCount.store(count, std::memory_order_relaxed); }

    // ---- Drawing (GUI thread) ----

    // scopeImageLayer: the enhanced centre of the slot picture, turned upright, flipped unless
    // mirrored, cropped to the zoom, stretched nearest-neighbour over the square; empties the slot.
    // scopeGridLayer: the gauges, activity marks, numbers, mode label and photo ring. Any other
    // layer is ignored.
    void drawLayer(platform::Layer& layer, platform::GraphicsContext& context) override;
    // Hides or shows the side controls, in turn; click sound; overlay redraw.
    void changeScopeGrid();

    // ---- Fields ----

    const std::shared_ptr<platform::CaptureSession>& session() const { return m_session; }
    const std::shared_ptr<platform::CaptureDeviceInput>& input() const { return m_input; }
    const std::shared_ptr<platform::VideoDataOutput>& videoDataOutput() const { return m_videoDataOutput; }
    const std::shared_ptr<platform::StillImageOutput>& stillImageOutput() const { return m_stillImageOutput; }
    LivePreviewLayer* previewLayer() const { return m_previewLayer.get(); }
    const std::shared_ptr<platform::CaptureDevice>& cDevice() const { return m_cDevice; }
    const std::shared_ptr<platform::CaptureDevice>& cDeviceBack() const { return m_cDeviceBack; }
    const std::shared_ptr<platform::CaptureDevice>& cDeviceFront() const { return m_cDeviceFront; }
    const std::shared_ptr<platform::Layer>& scopeImageLayer() const { return m_scopeImageLayer; }
    const std::shared_ptr<platform::Layer>& scopeGridLayer() const { return m_scopeGridLayer; }
    // Why there is no live picture ("" when the camera works). GUI thread.
    QString cameraMessage() const { return m_cameraMessage; }

    ImageSlot& qImage() { return m_qImage; }
    bool isTakingPicture() const { return m_isTakingPicture.load(std::memory_order_relaxed); }
    void setTakingPicture(bool taking) { m_isTakingPicture.store(taking, std::memory_order_relaxed); }
    float screenScale() const { return m_screenScale.load(std::memory_order_relaxed); }
    // Device pixels per frame pixel under aspect fill; 0 until recomputed.
    float previewScale() const { return m_previewScale.load(std::memory_order_relaxed); }
    std::int32_t scopePixelRadius() const { return m_scopePixelRadius.load(std::memory_order_relaxed); }
    std::int32_t scopePixelSize() const { return m_scopePixelSize.load(std::memory_order_relaxed); }
    std::int32_t scopeScreenRadius() const { return m_scopeScreenRadius.load(std::memory_order_relaxed); }
    std::int32_t scopeGridType() const { return m_scopeGridType; }
    // Frames the delegate dropped because the slot was full or a photo was being taken.
    std::uint64_t droppedFrameCount() const { return m_droppedFrames.load(std::memory_order_relaxed); }

    // The aspect-fill scale (device pixels per frame pixel) of landscape frames in an upright
    // preview of `width` × `height` points: max(height × scale / frameWidth, width × scale /
    // frameHeight), in single precision. 0 when a size is not positive.
    static float aspectFillScale(float width, float height, float screenScale, int frameWidth, int frameHeight);
    // Half the side of the scope window in frame pixels at zoom z: trunc(scaledRadius × (1 - z)),
    // single precision, negative and NaN giving 0.
    static std::size_t previewRadius(std::int32_t scaledRadius, float zoom);

    // The level a frame uses: 0 in mode Off (and below), computed from the last measured
    // brightness in mode Auto (80 for black, 0 at or above the threshold), `current` otherwise.
    static std::int32_t levelForMode(std::int32_t mode, std::int32_t current, std::int32_t imageLevel,
                                     std::int32_t threshold);
    // The preview window: a square of half-side trunc(radius × (1 - zoom)) around the frame's
    // integer centre, clamped to the frame.
    static FrameWindow previewWindow(std::size_t width, std::size_t height, std::int32_t scaledRadius, float zoom);
    // The device RGB colour space of every result image, made on first use; null if it cannot be
    // made. Any thread.
    static const QColorSpace* sharedColorSpace();

protected:
    // Screen hooks. The defaults keep a minimal model: the slider's state is stored, the zoom is
    // 0, a phone at scale 2 held in portrait, sounds do nothing, the overlay layer is asked to
    // redraw. Main thread, except zoomValue (frame queue per frame, and the drawing: keep the
    // value in an atomic) and deviceOrientation (the drawing, GUI thread).
    virtual void setLevelSliderHidden(bool hidden) { m_levelSliderHidden = hidden; }
    virtual void setLevelSliderValue(float value, bool animated);
    virtual float levelSliderValue() const { return m_levelSliderValue; }
    virtual float zoomValue() const { return 0.0f; }
    virtual void playSystemSound(int soundId) { static_cast<void>(soundId); }
    virtual void requestOverlayRedraw();
    // The main screen's device pixels per point, and whether the interface is a tablet's (only
    // when the device answers the idiom query).
    virtual float mainScreenScale() const { return 2.0f; }
    virtual bool isTabletInterface() const { return false; }
    // Device orientation code: 1 portrait, 2 upside down, 3 landscape left, 4 landscape right.
    virtual int deviceOrientation() const { return 1; }
    // The preview view's layer, which the live preview and the scope layers are added to. The
    // default is a layer of the scope's own, a phone screen of 320 × 480 points.
    virtual std::shared_ptr<platform::Layer> previewViewLayer();
    // Controls of the screen.
    virtual void setCameraButtonHidden(bool hidden) { static_cast<void>(hidden); }
    virtual void setTorchButtonHidden(bool hidden) { static_cast<void>(hidden); }
    // controllHUDView, torchButton and cameraButton together (changeScopeGrid).
    virtual void setSideControlsHidden(bool hidden) { static_cast<void>(hidden); }

    bool isLevelSliderHidden() const { return m_levelSliderHidden; }

private:
    void storeMeasurement(const ChannelSums& sums, std::size_t pixelCount);
    // Steps 2 to 7 of the enhancement on a locked buffer; false when no colour space exists.
    bool processFrame(platform::PixelBuffer& buffer, bool isPreview);
    void recomputeGeometry();
    void noCamera(const QString& message);
    void drawScopeImage(platform::GraphicsContext& context);
    void drawScopeGrid(platform::GraphicsContext& context);

    std::atomic<std::int32_t> m_scopeNightVisionMode { NightVisionMode::Auto };
    std::atomic<std::int32_t> m_scopeNightVisionLevel { 0 };
    std::atomic<std::int32_t> m_scopeNightVisionThread { 100 };
    std::atomic<std::int32_t> m_scopeNightVisionColorFilter { ColorFilter::None };
    std::atomic<std::int32_t> m_scopeImageLevel { 0 };
    std::atomic<pixel> m_imageLight { pixel {} };
    std::atomic<std::int32_t> m_scopeScreenScaledRadius { 0 };

    // The minimal level-slider model (main thread).
    bool m_levelSliderHidden { true };
    float m_levelSliderValue { 0.0f };

    // Capture objects: made and replaced on the main thread. m_session is set before the session
    // first runs, so the frame queue may read it; nothing else here is read off the main thread.
    std::shared_ptr<platform::CaptureBackend> m_backend;
    std::shared_ptr<platform::CaptureSession> m_session;
    std::shared_ptr<platform::CaptureDeviceInput> m_input;
    std::shared_ptr<platform::VideoDataOutput> m_videoDataOutput;
    std::shared_ptr<platform::StillImageOutput> m_stillImageOutput;
    std::shared_ptr<platform::CaptureDevice> m_cDevice;
    std::shared_ptr<platform::CaptureDevice> m_cDeviceBack;
    std::shared_ptr<platform::CaptureDevice> m_cDeviceFront;
    std::unique_ptr<LivePreviewLayer> m_previewLayer;
    std::shared_ptr<platform::Layer> m_ownPreviewViewLayer; // the default previewViewLayer()
    // Made in the constructor and never replaced, so the timer thread may request their redraws.
    const std::shared_ptr<platform::Layer> m_scopeImageLayer;
    const std::shared_ptr<platform::Layer> m_scopeGridLayer;
    QString m_cameraMessage;      // GUI thread
    std::int32_t m_scopeGridType { 0 }; // main thread
    float m_dashPhase { 0.0f };   // overlay drawing only

    // Shared between threads, each read and written whole.
    ImageSlot m_qImage;
    std::atomic<bool> m_isTakingPicture { false };
    std::atomic<float> m_screenScale { 2.0f };
    std::atomic<float> m_previewScale { 0.0f };
    std::atomic<std::int32_t> m_scopePixelRadius { 100 };
    std::atomic<std::int32_t> m_scopePixelSize { 200 };
    std::atomic<std::int32_t> m_scopeScreenRadius { 200 };
    // The preview view's size in points (main thread writes, timer thread reads).
    std::atomic<float> m_previewWidth { 0.0f };
    std::atomic<float> m_previewHeight { 0.0f };
    // Size of the last frame put in the slot, written before the slot is filled.
    std::atomic<std::int32_t> m_frameWidth { 0 };
    std::atomic<std::int32_t> m_frameHeight { 0 };
    // The frame size previewScale was computed for (the ticking thread only).
    std::int32_t m_geometryFrameWidth { 0 };
    std::int32_t m_geometryFrameHeight { 0 };
    std::atomic<std::uint32_t> m_tickCount { 0 };
    std::atomic<std::uint64_t> m_droppedFrames { 0 };

    RepeatingTimerThread m_timerThread; // last: stopped before the rest goes
};

} // namespace imaging
