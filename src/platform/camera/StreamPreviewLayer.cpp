#include "platform/camera/StreamPreviewLayer.h"

#include "platform/camera/PreviewFrameStore.h"
#include "platform/camera/StreamCaptureDevice.h"
#include "platform/camera/StreamCaptureSession.h"

namespace platform {

StreamPreviewLayer::StreamPreviewLayer(std::shared_ptr<StreamCaptureSession> session)
    : m_session(std::move(session))
    , m_store(std::make_shared<PreviewFrameStore>())
{
    if (m_session)
        m_session->addPreviewStore(m_store);
}

std::shared_ptr<CaptureSession> StreamPreviewLayer::session() const
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    return m_session;
}

bool StreamPreviewLayer::isMirrored() const
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    const auto device = m_session ? m_session->currentDevice() : nullptr;
    return device && device->position() != CaptureDevicePosition::Back;
}

PreviewFrame StreamPreviewLayer::currentFrame() const
{
    return m_store->current();
}

void StreamPreviewLayer::setFrameListener(std::function<void()> listener)
{
    m_store->setListener(std::move(listener));
}

} // namespace platform
