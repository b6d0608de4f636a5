// CameraScope: the capture session, the cameras, the torch and the frame delegate.

#include "imaging/CameraScope.h"

#include <cmath>

#include "imaging/LivePreviewLayer.h"
#include "platform/camera/CaptureBackend.h"
#include "platform/camera/CaptureDevice.h"
#include "platform/camera/CaptureDeviceInput.h"
#include "platform/camera/CaptureSession.h"
#include "platform/camera/StillImageOutput.h"
#include "platform/camera/VideoDataOutput.h"
#include "platform/camera/VideoPreviewLayer.h"
#include "platform/core/Log.h"

namespace imaging {

namespace {

constexpr int kPresetItems = 4;
constexpr platform::SessionPreset kPresets[kPresetItems] = {
    platform::SessionPreset::Low, platform::SessionPreset::Medium, platform::SessionPreset::High,
    platform::SessionPreset::Photo };

} // namespace

void CameraScope::setCaptureBackend(std::shared_ptr<platform::CaptureBackend> backend)
{
    m_backend = std::move(backend);
}

void CameraScope::loadScope()
{
    setupScopeGeometry();
    setupCaptureSessionVideo();
    // A first guess before any frame has come; the first tick with a picture corrects it.
    const float contentsScale = m_previewLayer ? float(m_previewLayer->layer()->contentsScale()) : 1.0f;
    setScopeScreenScaledRadius(static_cast<std::int32_t>(static_cast<float>(scopeScreenRadius()) * contentsScale));
    calculateScreen();
    setupScopeLayers();
    startTimerThread();
}

void CameraScope::setupScopeGeometry()
{
    float scale = mainScreenScale();
    if (!(std::isfinite(scale) && scale > 0.0f))
        scale = 1.0f;
    m_screenScale.store(scale, std::memory_order_relaxed);
    const std::int32_t radius = isTabletInterface() ? 300 : 100;
    m_scopePixelRadius.store(radius, std::memory_order_relaxed);
    m_scopePixelSize.store(2 * radius, std::memory_order_relaxed);
    m_scopeScreenRadius.store(static_cast<std::int32_t>(static_cast<float>(radius) * scale), std::memory_order_relaxed);
}

void CameraScope::noCamera(const QString& message)
{
    m_cameraMessage = message;
    platform::logLine(platform::lcScope(), message);
    requestOverlayRedraw();
}

void CameraScope::setupCaptureSessionVideo()
{
    const std::shared_ptr<platform::Layer> viewLayer = previewViewLayer();
    const QRectF viewBounds = viewLayer ? viewLayer->bounds() : QRectF(0, 0, 320, 480);
    m_previewWidth.store(float(viewBounds.width()), std::memory_order_relaxed);
    m_previewHeight.store(float(viewBounds.height()), std::memory_order_relaxed);

    std::shared_ptr<platform::CaptureSession> session = m_backend ? m_backend->makeSession() : nullptr;
    if (session)
        session->setSessionPreset(platform::SessionPreset::Photo);
    setCameraDevices();
    m_cDevice = m_cDeviceBack ? m_cDeviceBack : m_cDeviceFront;

    if (session && m_cDevice) {
        auto input = m_backend->makeDeviceInput(m_cDevice);
        if (!input) {
            noCamera(QStringLiteral("Camera cannot be opened: %1").arg(input.error()));
        } else {
            m_input = std::move(input.value());
            if (!session->addInput(m_input))
                noCamera(QStringLiteral("Camera cannot be opened: the session refused it"));
        }
    } else {
        noCamera(QStringLiteral("No camera found"));
    }

    if (session) {
        m_videoDataOutput = m_backend->makeVideoDataOutput();
        if (m_videoDataOutput && session->addOutput(m_videoDataOutput)) {
            m_videoDataOutput->setPixelFormat(platform::PixelFormat::BGRA32);
            m_videoDataOutput->setMinFrameDuration(platform::FrameDuration { 1, 20 });
            m_videoDataOutput->setSampleBufferDelegate(this, QStringLiteral("myQueue"));
        }
        m_stillImageOutput = m_backend->makeStillImageOutput();
        if (m_stillImageOutput && session->addOutput(m_stillImageOutput))
            m_stillImageOutput->setPixelFormat(platform::PixelFormat::BGRA32);
    }

    auto video = session ? m_backend->makePreviewLayer(session) : nullptr;
    if (video)
        video->setVideoGravity(platform::VideoGravity::ResizeAspectFill);
    m_previewLayer = std::make_unique<LivePreviewLayer>(std::move(video));
    m_previewLayer->layer()->setContentsScale(screenScale());
    m_previewLayer->setFrame(viewBounds);
    if (viewLayer)
        viewLayer->addSublayer(m_previewLayer->layer());

    // Published before it runs: the frame queue reads it.
    m_session = std::move(session);
    if (m_session)
        m_session->startRunning();
}

void CameraScope::setCameraDevices()
{
    if (!m_backend)
        return;
    for (const auto& device : m_backend->devices()) {
        if (!device)
            continue;
        platform::log(platform::lcScope(), "Device name: %s", device->localizedName().toUtf8().constData());
        if (!device->hasMediaType(platform::MediaType::Video))
            continue;
        if (device->position() == platform::CaptureDevicePosition::Back)
            m_cDeviceBack = device;
        else
            m_cDeviceFront = device;
    }
    // A switch between two cameras only; a lone front camera is simply the camera in use.
    if (m_cDeviceBack && m_cDeviceFront)
        setCameraButtonHidden(false);
}

void CameraScope::setupScopeLayers()
{
    const std::shared_ptr<platform::Layer> viewLayer = previewViewLayer();
    const QRectF viewBounds = viewLayer ? viewLayer->bounds() : QRectF(0, 0, 320, 480);
    const qreal size = scopePixelSize();
    for (const auto& layer : { m_scopeImageLayer, m_scopeGridLayer }) {
        layer->setBounds(QRectF(0, 0, size, size));
        layer->setPosition(QPointF(viewBounds.width() / 2, viewBounds.height() / 2));
        layer->setContentsScale(screenScale());
        layer->setDelegate(this);
        if (viewLayer)
            viewLayer->addSublayer(layer);
    }
    m_scopeGridLayer->setNeedsDisplay();
}

void CameraScope::presetChange(int item)
{
    if (item >= 0 && item < kPresetItems && m_session)
        m_session->setSessionPreset(kPresets[item]);
    calculateScreen();
}

void CameraScope::changeCamera()
{
    if (!m_session || !m_cDevice)
        return;
    std::shared_ptr<platform::CaptureDevice> next;
    if (m_cDevice == m_cDeviceBack)
        next = m_cDeviceFront ? m_cDeviceFront : m_cDeviceBack;
    else
        next = m_cDeviceBack ? m_cDeviceBack : m_cDeviceFront;
    auto input = m_backend->makeDeviceInput(next);
    if (!input) {
        // Keep the camera that works rather than leave the session without one.
        platform::log(platform::lcScope(), "Cannot switch camera: %s", input.error().toUtf8().constData());
        return;
    }
    if (m_input)
        m_session->removeInput(m_input);
    m_input = std::move(input.value());
    m_session->addInput(m_input);
    m_cDevice = std::move(next);
    calculateScreen();
    checkTorch();
}

void CameraScope::checkTorch()
{
    setTorchButtonHidden(!(m_cDevice && m_cDevice->isTorchModeSupported(platform::TorchMode::On)));
}

void CameraScope::changeScopeTorch()
{
    if (m_cDevice && m_cDevice->isTorchModeSupported(platform::TorchMode::On) && m_cDevice->lockForConfiguration()) {
        const platform::TorchMode mode = m_cDevice->torchMode();
        if (mode == platform::TorchMode::Off)
            m_cDevice->setTorchMode(platform::TorchMode::On);
        else if (mode == platform::TorchMode::On)
            m_cDevice->setTorchMode(platform::TorchMode::Off);
        m_cDevice->unlockForConfiguration();
    }
    playSystemSound(kClickSound);
}

void CameraScope::startCaptureSession()
{
    if (m_session)
        m_session->startRunning();
    checkTorch();
}

void CameraScope::stopCaptureSession()
{
    if (m_session)
        m_session->stopRunning(); // returns once no frame is in the delegate
    m_qImage.take();
}

void CameraScope::captureOutput(platform::VideoDataOutput&, platform::SampleBuffer& frame, platform::CaptureConnection&)
{
    if (m_qImage.isFull() || isTakingPicture()) {
        // The previous picture is not drawn yet, or a photo is being taken: drop, unprocessed.
        m_droppedFrames.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    std::unique_ptr<ScopeImage> image = previewImageFromSampleBuffer(frame);
    if (image) {
        m_frameWidth.store(image->frameSize.width(), std::memory_order_relaxed);
        m_frameHeight.store(image->frameSize.height(), std::memory_order_relaxed);
        if (m_qImage.fill(std::move(image))) // only this queue fills, so this cannot happen
            m_droppedFrames.fetch_add(1, std::memory_order_relaxed);
    }
    if (!m_session || !m_session->isRunning())
        m_qImage.take(); // a stopped preview holds no picture
}

} // namespace imaging
