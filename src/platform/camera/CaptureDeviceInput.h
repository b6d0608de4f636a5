#pragma once

// The input that feeds one camera's frames into a capture session. Made by a CaptureBackend,
// which may subclass it to keep its own stream state.
//
// Threads: made and handed to a session on the main thread.

#include <memory>

namespace platform {

class CaptureDevice;

class CaptureDeviceInput {
public:
    explicit CaptureDeviceInput(std::shared_ptr<CaptureDevice> device)
        : m_device(std::move(device))
    {
    }
    virtual ~CaptureDeviceInput() = default;
    CaptureDeviceInput(const CaptureDeviceInput&) = delete;
    CaptureDeviceInput& operator=(const CaptureDeviceInput&) = delete;

    const std::shared_ptr<CaptureDevice>& device() const { return m_device; }

private:
    std::shared_ptr<CaptureDevice> m_device;
};

} // namespace platform
