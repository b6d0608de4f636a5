#pragma once

// The capture objects of the scope: the session, the back and front cameras and the one in use,
// its input, the video-data output that feeds the frame delegate on "myQueue", the still output
// and the live preview layer. It builds them, switches cameras and presets and works the torch;
// it says why there is no live picture when there is none. It knows nothing of the screen: the
// owner asks it what to show (hasBothCameras, hasTorch) and acts on the answers.
//
// Threads: every member function on the main (GUI) thread. The session pointer is published
// before the session first runs, and the delegate is detached (shutdown) before it goes.
//
// Lifetime: the destructor detaches the delegate and stops the session.

#include <memory>

#include <QRectF>
#include <QString>

#include "platform/core/ThreadChecker.h"

namespace platform {
class CaptureBackend;
class CaptureDevice;
class CaptureDeviceInput;
class CaptureSession;
class SampleBufferDelegate;
class StillImageOutput;
class VideoDataOutput;
} // namespace platform

namespace imaging {

class LivePreviewLayer;

class ScopeCamera {
public:
    ScopeCamera();
    ~ScopeCamera();
    ScopeCamera(const ScopeCamera&) = delete;
    ScopeCamera& operator=(const ScopeCamera&) = delete;

    // Where cameras come from; set before setupCaptureSessionVideo. Null means there is no camera.
    void setCaptureBackend(std::shared_ptr<platform::CaptureBackend> backend);
    // Builds the session (startRunning starts it, once whoever reads session() has it): cameras, input, video
    // output on "myQueue" (BGRA, at most 20 frames a second) delivering to `delegate`, still output, and the
    // live preview. Without a usable camera the session is left out and cameraMessage says why.
    void setupCaptureSessionVideo(platform::SampleBufferDelegate* delegate);
    // "Preset" chooser: 0 Low, 1 Med, 2 High, 3 Photo; other items keep the preset.
    void presetChange(int item);
    // Swaps the back and front cameras (keeps the only one there is) and rebuilds the input;
    // false when nothing changed (no session, or the other camera cannot be opened).
    bool changeCamera();
    // Whether the camera in use has a torch.
    bool hasTorch() const;
    // Toggles the torch of the camera in use, if it has one.
    void changeScopeTorch();
    // While a video records, frames come at up to 30 a second (the recording's rate); the preview
    // alone takes 20.
    void setRecordingFrameRate(bool recording);
    // Two cameras to switch between.
    bool hasBothCameras() const { return m_cDeviceBack && m_cDeviceFront; }
    void startRunning();
    // Returns once no frame is in the delegate.
    void stopRunning();
    // Detaches the frame delegate (returns once no delegate call runs) and stops the session.
    // Idempotent.
    void shutdown();

    const std::shared_ptr<platform::CaptureSession>& session() const { return m_session; }
    const std::shared_ptr<platform::CaptureDeviceInput>& input() const { return m_input; }
    const std::shared_ptr<platform::VideoDataOutput>& videoDataOutput() const { return m_videoDataOutput; }
    const std::shared_ptr<platform::StillImageOutput>& stillImageOutput() const { return m_stillImageOutput; }
    LivePreviewLayer* previewLayer() const { return m_previewLayer.get(); }
    const std::shared_ptr<platform::CaptureDevice>& cDevice() const { return m_cDevice; }
    const std::shared_ptr<platform::CaptureDevice>& cDeviceBack() const { return m_cDeviceBack; }
    const std::shared_ptr<platform::CaptureDevice>& cDeviceFront() const { return m_cDeviceFront; }
    // Why there is no live picture ("" when the camera works).
    // Why there is no picture: no usable camera, or the camera's own trouble (lost, busy).
    QString cameraMessage() const;

private:
    // Logs "Device name: %s" for every camera and picks the back and front ones. A camera that is
    // not at the back counts as front.
    void setCameraDevices();
    void noCamera(const QString& message);

    std::shared_ptr<platform::CaptureBackend> m_backend;
    std::shared_ptr<platform::CaptureSession> m_session;
    std::shared_ptr<platform::CaptureDeviceInput> m_input;
    std::shared_ptr<platform::VideoDataOutput> m_videoDataOutput;
    std::shared_ptr<platform::StillImageOutput> m_stillImageOutput;
    std::shared_ptr<platform::CaptureDevice> m_cDevice;
    std::shared_ptr<platform::CaptureDevice> m_cDeviceBack;
    std::shared_ptr<platform::CaptureDevice> m_cDeviceFront;
    std::unique_ptr<LivePreviewLayer> m_previewLayer;
    QString m_cameraMessage;
    platform::ThreadChecker m_mainThread;
};

} // namespace imaging
