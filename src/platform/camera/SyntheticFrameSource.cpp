#include "platform/camera/SyntheticFrameSource.h"

#include <QDateTime>

#include "platform/camera/SampleBuffer.h"
#include "platform/camera/StandInPresets.h"
#include "platform/camera/StreamCaptureDevice.h"

namespace platform {

namespace {
double seconds(FrameClock::Duration time)
{
    return std::chrono::duration<double>(time).count();
}
} // namespace

SyntheticFrameSource::SyntheticFrameSource(std::uint32_t seed, SensorNoise noise)
    : m_noise(std::move(noise))
    , m_videoScene(seed)
    , m_stillScene(seed)
{
}

QImage SyntheticFrameSource::videoFrame(
    const StreamCaptureDevice& device, SessionPreset preset, FrameClock::Duration time)
{
    const QImage picture
        = m_videoScene.render(seconds(time), standInVideoSize(preset), device.torchMode() == TorchMode::On);
    return m_noise.isIdentity() ? picture : m_noise.apply(picture, m_frameNumber++);
}

Expected<std::shared_ptr<SampleBuffer>> SyntheticFrameSource::stillFrame(
    const StreamCaptureDevice& device, SessionPreset preset, FrameClock::Duration time)
{
    const QSize size = standInStillSize(preset);
    QImage picture;
    {
        std::scoped_lock lock(m_stillMutex);
        picture = m_stillScene.render(seconds(time), size, device.torchMode() == TorchMode::On);
    }
    if (!m_noise.isIdentity())
        picture = m_noise.apply(picture, m_frameNumber++);
    auto frame = SampleBuffer::fromImage(
        picture, exposureFor(device).attachments(size, QDateTime::currentDateTime()));
    if (!frame)
        return Expected<std::shared_ptr<SampleBuffer>>::failure(frame.error());
    return std::make_shared<SampleBuffer>(std::move(frame.value()));
}

ExposureSettings SyntheticFrameSource::exposureFor(const StreamCaptureDevice& device)
{
    ExposureSettings settings;
    if (device.position() == CaptureDevicePosition::Back) {
        settings.fNumber = 2.4;
        settings.focalLength = 4.28;
        settings.focalLengthIn35mmFilm = 35;
    } else {
        settings.fNumber = 2.2;
        settings.focalLength = 2.15;
        settings.focalLengthIn35mmFilm = 31;
    }
    if (device.torchMode() == TorchMode::On) {
        settings.exposureTime = 1.0 / 30.0;
        settings.iso = 320;
        settings.torchOn = true;
    } else {
        // A night street: the longest exposure hand-held video allows, at the top of the gain.
        settings.exposureTime = 1.0 / 15.0;
        settings.iso = 1600;
    }
    return settings;
}

} // namespace platform
