#include "imaging/ScopeCamera.h"

#include <QCoreApplication>

#include "imaging/LivePreviewLayer.h"
#include "platform/camera/CaptureBackend.h"
#include "platform/camera/CaptureDevice.h"
#include "platform/camera/CaptureDeviceInput.h"
#include "platform/camera/CaptureSession.h"
#include "platform/camera/SampleBufferDelegate.h"
#include "platform/camera/StillImageOutput.h"
#include "platform/camera/VideoDataOutput.h"
#include "platform/camera/VideoPreviewLayer.h"
#include "platform/core/Log.h"

namespace imaging {

namespace {

constexpr platform::FrameDuration kPreviewFrameDuration { 1, 20 };
constexpr platform::FrameDuration kRecordingFrameDuration { 1, 30 };
constexpr int kPresetItems = 4;
constexpr platform::SessionPreset kPresets[kPresetItems] = { platform::SessionPreset::Low,
    platform::SessionPreset::Medium, platform::SessionPreset::High, platform::SessionPreset::Photo };

} // namespace

void ScopeCamera::setCaptureBackend(std::shared_ptr<platform::CaptureBackend> backend)
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    m_backend = std::move(backend);
}

ScopeCamera::ScopeCamera() = default;

ScopeCamera::~ScopeCamera()
{
    shutdown();
}

void ScopeCamera::shutdown()
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    if (m_videoDataOutput) // returns once no delegate call runs
        m_videoDataOutput->setSampleBufferDelegate(nullptr, {});
    if (m_session && m_session->isRunning())
        m_session->stopRunning();
}

void ScopeCamera::setRecordingFrameRate(bool recording)
{
    if (m_videoDataOutput)
        m_videoDataOutput->setMinFrameDuration(recording ? kRecordingFrameDuration : kPreviewFrameDuration);
}

QString ScopeCamera::cameraMessage() const
{
    if (!m_cameraMessage.isEmpty() || !m_backend)
        return m_cameraMessage;
    return m_backend->status();
}

void ScopeCamera::noCamera(const QString& message)
{
    m_cameraMessage = message;
    platform::logLine(platform::lcScope(), message);
}

void ScopeCamera::setupCaptureSessionVideo(platform::SampleBufferDelegate* delegate)
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    std::shared_ptr<platform::CaptureSession> session = m_backend ? m_backend->makeSession() : nullptr;
    if (session)
        session->setSessionPreset(platform::SessionPreset::Photo);
    setCameraDevices();
    m_cDevice = m_cDeviceBack ? m_cDeviceBack : m_cDeviceFront;

    if (session && m_cDevice) {
        auto input = m_backend->makeDeviceInput(m_cDevice);
        if (!input) {
            noCamera(
                QCoreApplication::translate("ScopeCamera", "Camera cannot be opened: %1").arg(input.error()));
        } else {
            m_input = std::move(input.value());
            if (!session->addInput(m_input))
                noCamera(QCoreApplication::translate(
                    "ScopeCamera", "Camera cannot be opened: the session refused it"));
        }
    } else {
        noCamera(QCoreApplication::translate("ScopeCamera", "No camera found"));
    }

    if (session) {
        m_videoDataOutput = m_backend->makeVideoDataOutput();
        if (m_videoDataOutput && session->addOutput(m_videoDataOutput)) {
            m_videoDataOutput->setPixelFormat(platform::PixelFormat::BGRA32);
            m_videoDataOutput->setMinFrameDuration(kPreviewFrameDuration);
            m_videoDataOutput->setSampleBufferDelegate(delegate, QStringLiteral("myQueue"));
        }
        m_stillImageOutput = m_backend->makeStillImageOutput();
        if (m_stillImageOutput && session->addOutput(m_stillImageOutput))
            m_stillImageOutput->setPixelFormat(platform::PixelFormat::BGRA32);
    }

    auto video = session ? m_backend->makePreviewLayer(session) : nullptr;
    if (video)
        video->setVideoGravity(platform::VideoGravity::ResizeAspectFill);
    m_previewLayer = std::make_unique<LivePreviewLayer>(std::move(video));

    m_session = std::move(session);
}

void ScopeCamera::setCameraDevices()
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
}

void ScopeCamera::presetChange(int item)
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    if (item >= 0 && item < kPresetItems && m_session)
        m_session->setSessionPreset(kPresets[item]);
}

bool ScopeCamera::changeCamera()
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    if (!m_session || !m_cDevice)
        return false;
    std::shared_ptr<platform::CaptureDevice> next;
    if (m_cDevice == m_cDeviceBack)
        next = m_cDeviceFront ? m_cDeviceFront : m_cDeviceBack;
    else
        next = m_cDeviceBack ? m_cDeviceBack : m_cDeviceFront;
    auto input = m_backend->makeDeviceInput(next);
    if (!input) {
        // Keep the camera that works rather than leave the session without one.
        platform::log(platform::lcScope(), "Cannot switch camera: %s", input.error().toUtf8().constData());
        return false;
    }
    if (m_input)
        m_session->removeInput(m_input);
    m_input = std::move(input.value());
    m_session->addInput(m_input);
    m_cDevice = std::move(next);
    return true;
}

bool ScopeCamera::hasTorch() const
{
    return m_cDevice && m_cDevice->isTorchModeSupported(platform::TorchMode::On);
}

void ScopeCamera::changeScopeTorch()
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    if (m_cDevice && m_cDevice->isTorchModeSupported(platform::TorchMode::On)
        && m_cDevice->lockForConfiguration()) {
        const platform::TorchMode mode = m_cDevice->torchMode();
        if (mode == platform::TorchMode::Off)
            m_cDevice->setTorchMode(platform::TorchMode::On);
        else if (mode == platform::TorchMode::On)
            m_cDevice->setTorchMode(platform::TorchMode::Off);
        m_cDevice->unlockForConfiguration();
    }
}

void ScopeCamera::startRunning()
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    if (m_session)
        m_session->startRunning();
}

void ScopeCamera::stopRunning()
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    if (m_session)
        m_session->stopRunning(); // returns once no frame is in the delegate
}

} // namespace imaging
