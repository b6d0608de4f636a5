#include "platform/camera/StreamCaptureDevice.h"

namespace platform {

using namespace std::chrono_literals;

StreamCaptureDevice::StreamCaptureDevice(QString name, CaptureDevicePosition position, bool hasTorch,
    std::shared_ptr<FrameClock> clock, int sourceIndex)
    : m_name(std::move(name))
    , m_position(position)
    , m_hasTorch(hasTorch)
    , m_clock(std::move(clock))
    , m_sourceIndex(sourceIndex)
{
}

bool StreamCaptureDevice::lockForConfiguration()
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    ++m_lockCount;
    return true;
}

void StreamCaptureDevice::unlockForConfiguration()
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    if (m_lockCount > 0)
        --m_lockCount;
}

bool StreamCaptureDevice::isTorchModeSupported(TorchMode mode) const
{
    return mode == TorchMode::Off || (m_hasTorch && mode == TorchMode::On);
}

void StreamCaptureDevice::setTorchMode(TorchMode mode)
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    if (m_lockCount == 0 || !isTorchModeSupported(mode) || mode == torchMode())
        return;
    m_torchMode.store(mode, std::memory_order_relaxed);
    // The picture changes brightness: the camera readjusts, as a real one does.
    beginAdjusting();
    if (m_torchObserver)
        m_torchObserver(mode);
}

void StreamCaptureDevice::beginAdjusting()
{
    m_adjustStart.store(m_clock->now().count(), std::memory_order_relaxed);
}

bool StreamCaptureDevice::adjustingFor(FrameClock::Duration span) const
{
    const std::int64_t start = m_adjustStart.load(std::memory_order_relaxed);
    if (start < 0)
        return false;
    const FrameClock::Duration elapsed = m_clock->now() - FrameClock::Duration(start);
    return elapsed >= FrameClock::Duration::zero() && elapsed < span;
}

bool StreamCaptureDevice::isAdjustingFocus() const
{
    return adjustingFor(500ms);
}

bool StreamCaptureDevice::isAdjustingExposure() const
{
    return adjustingFor(400ms);
}

bool StreamCaptureDevice::isAdjustingWhiteBalance() const
{
    return adjustingFor(600ms);
}

} // namespace platform
