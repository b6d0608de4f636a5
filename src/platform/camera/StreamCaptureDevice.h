#pragma once

// A camera of one of our frame sources (synthetic scene, image file, real camera).
// It keeps the torch mode the source renders with, and reports focus, exposure and white-balance
// activity for about half a second after the session asks it to readjust (start, preset change,
// camera switch), measured on the source's clock.
//
// Threads: lockForConfiguration / unlockForConfiguration / setTorchMode from the main thread;
// torchMode(), the isAdjusting* queries and beginAdjusting() from any thread.

#include <atomic>
#include <functional>
#include <memory>

#include "platform/camera/CaptureDevice.h"
#include "platform/camera/FrameClock.h"
#include "platform/core/ThreadChecker.h"

namespace platform {

class StreamCaptureDevice final : public CaptureDevice {
public:
    // sourceIndex identifies the camera inside its source (the camera's index in its source).
    StreamCaptureDevice(QString name, CaptureDevicePosition position, bool hasTorch,
        std::shared_ptr<FrameClock> clock, int sourceIndex = 0);

    QString localizedName() const override { return m_name; }
    CaptureDevicePosition position() const override { return m_position; }
    bool hasMediaType(MediaType type) const override { return type == MediaType::Video; }

    bool lockForConfiguration() override;
    void unlockForConfiguration() override;

    bool isTorchModeSupported(TorchMode mode) const override;
    TorchMode torchMode() const override { return m_torchMode.load(std::memory_order_relaxed); }
    void setTorchMode(TorchMode mode) override;

    bool isAdjustingFocus() const override;
    bool isAdjustingExposure() const override;
    bool isAdjustingWhiteBalance() const override;

    int sourceIndex() const { return m_sourceIndex; }
    // The camera readjusts from now on (focus 0.5 s, exposure 0.4 s, white balance 0.6 s).
    void beginAdjusting();
    // Called on the main thread after the torch mode changed; a real camera switches its lamp here.
    void setTorchObserver(std::function<void(TorchMode)> observer) { m_torchObserver = std::move(observer); }

private:
    bool adjustingFor(FrameClock::Duration span) const;

    const QString m_name;
    const CaptureDevicePosition m_position;
    const bool m_hasTorch;
    const std::shared_ptr<FrameClock> m_clock;
    const int m_sourceIndex;
    int m_lockCount { 0 }; // main thread only
    std::atomic<TorchMode> m_torchMode { TorchMode::Off };
    // Clock time of the last beginAdjusting(); negative until the first.
    std::atomic<std::int64_t> m_adjustStart { -1 };
    std::function<void(TorchMode)> m_torchObserver; // main thread only
    [[no_unique_address]] ThreadChecker m_mainThread;
};

} // namespace platform
