#pragma once

// One camera. Settings change only between lockForConfiguration() and unlockForConfiguration();
// a setter called without the lock does nothing.
//
// Threads: configuration from the main thread; the isAdjusting* queries from any thread (the
// overlay drawing reads them on the GUI thread).

#include <QString>

#include "platform/camera/CameraTypes.h"

namespace platform {

class CaptureDevice {
public:
    virtual ~CaptureDevice() = default;

    virtual QString localizedName() const = 0;
    virtual CaptureDevicePosition position() const = 0;
    virtual bool hasMediaType(MediaType type) const = 0;

    // True when the device holds the configuration lock for the caller; false if it is refused.
    virtual bool lockForConfiguration() = 0;
    virtual void unlockForConfiguration() = 0;

    virtual bool isTorchModeSupported(TorchMode mode) const = 0;
    virtual TorchMode torchMode() const = 0;
    virtual void setTorchMode(TorchMode mode) = 0;

    // True while the camera is changing its focus, exposure or white balance by itself.
    virtual bool isAdjustingFocus() const = 0;
    virtual bool isAdjustingExposure() const = 0;
    virtual bool isAdjustingWhiteBalance() const = 0;
};

} // namespace platform
