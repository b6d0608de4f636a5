#include "platform/camera/StreamBackend.h"

#include <algorithm>

#include "platform/camera/CaptureDeviceInput.h"
#include "platform/camera/StreamCaptureDevice.h"
#include "platform/camera/StreamCaptureSession.h"
#include "platform/camera/StreamPreviewLayer.h"
#include "platform/camera/StreamStillImageOutput.h"
#include "platform/camera/StreamVideoDataOutput.h"

namespace platform {

StreamBackend::StreamBackend(std::vector<std::shared_ptr<StreamCaptureDevice>> devices,
    std::shared_ptr<FrameSource> source, std::shared_ptr<FrameClock> clock)
    : m_devices(std::move(devices))
    , m_source(std::move(source))
    , m_clock(std::move(clock))
{
}

std::vector<std::shared_ptr<CaptureDevice>> StreamBackend::devices() const
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    return { m_devices.begin(), m_devices.end() };
}

std::shared_ptr<CaptureSession> StreamBackend::makeSession()
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    return std::make_shared<StreamCaptureSession>(m_source, m_clock);
}

Expected<std::shared_ptr<CaptureDeviceInput>> StreamBackend::makeDeviceInput(
    const std::shared_ptr<CaptureDevice>& device)
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    const auto found
        = std::find_if(m_devices.begin(), m_devices.end(), [&](const auto& own) { return own == device; });
    if (!device || found == m_devices.end())
        return Expected<std::shared_ptr<CaptureDeviceInput>>::failure(
            QStringLiteral("no such camera in this camera source"));
    return std::make_shared<CaptureDeviceInput>(device);
}

std::shared_ptr<VideoDataOutput> StreamBackend::makeVideoDataOutput()
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    return std::make_shared<StreamVideoDataOutput>();
}

std::shared_ptr<StillImageOutput> StreamBackend::makeStillImageOutput()
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    return std::make_shared<StreamStillImageOutput>();
}

std::shared_ptr<VideoPreviewLayer> StreamBackend::makePreviewLayer(
    const std::shared_ptr<CaptureSession>& session)
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    auto own = std::dynamic_pointer_cast<StreamCaptureSession>(session);
    if (!own)
        return nullptr;
    return std::make_shared<StreamPreviewLayer>(std::move(own));
}

} // namespace platform
