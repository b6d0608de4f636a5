// CameraScope: construction, shutdown and the default screen hooks.

#include "imaging/CameraScope.h"

#include "imaging/LivePreviewLayer.h"
#include "platform/camera/CaptureSession.h"
#include "platform/camera/VideoDataOutput.h"

namespace imaging {

CameraScope::CameraScope()
    : m_scopeImageLayer(platform::Layer::create())
    , m_scopeGridLayer(platform::Layer::create())
{
}

CameraScope::~CameraScope()
{
    shutdownScope();
    for (const auto& layer : { m_scopeImageLayer, m_scopeGridLayer }) {
        // The view tree may keep the layers a little longer; they must not call back.
        layer->setDelegate(nullptr);
        layer->removeFromSuperlayer();
    }
    if (m_previewLayer)
        m_previewLayer->layer()->removeFromSuperlayer();
}

void CameraScope::shutdownScope()
{
    m_timerThread.stop();
    if (m_videoDataOutput) // returns once no delegate call runs
        m_videoDataOutput->setSampleBufferDelegate(nullptr, {});
    if (m_session && m_session->isRunning())
        m_session->stopRunning();
    m_qImage.take();
}

void CameraScope::requestOverlayRedraw()
{
    m_scopeGridLayer->setNeedsDisplay();
}

std::shared_ptr<platform::Layer> CameraScope::previewViewLayer()
{
    if (!m_ownPreviewViewLayer) {
        m_ownPreviewViewLayer = platform::Layer::create();
        m_ownPreviewViewLayer->setBounds(QRectF(0, 0, 320, 480));
        m_ownPreviewViewLayer->setPosition(QPointF(160, 240));
    }
    return m_ownPreviewViewLayer;
}

} // namespace imaging
