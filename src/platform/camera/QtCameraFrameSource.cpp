#include "platform/camera/QtCameraFrameSource.h"

#include <cstdlib>

#include <QCamera>
#include <QDateTime>
#include <QMediaCaptureSession>
#include <QMediaDevices>
#include <QVideoSink>

#include "platform/camera/ExposureSettings.h"
#include "platform/camera/SampleBuffer.h"
#include "platform/camera/StandInPresets.h"
#include "platform/camera/StreamCaptureDevice.h"
#include "platform/core/Log.h"

namespace platform {

namespace {

CaptureDevicePosition positionOf(const QCameraDevice& camera)
{
    switch (camera.position()) {
    case QCameraDevice::BackFace:
        return CaptureDevicePosition::Back;
    case QCameraDevice::FrontFace:
        return CaptureDevicePosition::Front;
    case QCameraDevice::UnspecifiedPosition:
        break;
    }
    return CaptureDevicePosition::Unspecified;
}

QCameraFormat formatFor(const QCameraDevice& camera, SessionPreset preset)
{
    const auto formats = camera.videoFormats();
    if (formats.isEmpty())
        return {};
    const QSize wanted = standInVideoSize(preset);
    auto area = [](QSize size) { return qint64(size.width()) * size.height(); };
    QCameraFormat best = formats.first();
    for (const QCameraFormat& format : formats) {
        const QSize size = format.resolution();
        if (preset == SessionPreset::Photo) {
            if (area(size) > area(best.resolution()))
                best = format;
        } else if (std::llabs(area(size) - area(wanted))
            < std::llabs(area(best.resolution()) - area(wanted))) {
            best = format;
        }
    }
    return best;
}

} // namespace

Expected<std::shared_ptr<QtCameraFrameSource>> QtCameraFrameSource::open(
    int index, const std::shared_ptr<FrameClock>& clock)
{
    using Result = Expected<std::shared_ptr<QtCameraFrameSource>>;
    QList<QCameraDevice> cameras = QMediaDevices::videoInputs();
    if (cameras.isEmpty())
        return Result::failure(QStringLiteral("no camera found by Qt Multimedia"));
    if (index >= 0) {
        if (index >= cameras.size())
            return Result::failure(QStringLiteral("no camera with index %1 (Qt Multimedia found %2)")
                                       .arg(index)
                                       .arg(cameras.size()));
        cameras = { cameras.at(index) };
    }
    auto source = std::make_shared<QtCameraFrameSource>(cameras);
    for (int i = 0; i < cameras.size(); ++i) {
        QCamera probe(cameras.at(i));
        auto device = std::make_shared<StreamCaptureDevice>(cameras.at(i).description(),
            positionOf(cameras.at(i)), probe.isTorchModeSupported(QCamera::TorchOn), clock, i);
        std::weak_ptr<QtCameraFrameSource> weak = source;
        device->setTorchObserver([weak, i](TorchMode mode) {
            auto self = weak.lock();
            if (self && self->m_camera && self->m_activeIndex == i)
                self->m_camera->setTorchMode(mode == TorchMode::On ? QCamera::TorchOn : QCamera::TorchOff);
        });
        source->m_devices.push_back(std::move(device));
    }
    return source;
}

QtCameraFrameSource::QtCameraFrameSource(QList<QCameraDevice> cameras)
    : m_cameras(std::move(cameras))
    , m_capture(std::make_unique<QMediaCaptureSession>())
    , m_sink(std::make_unique<QVideoSink>())
{
    m_capture->setVideoSink(m_sink.get());
    QObject::connect(m_sink.get(), &QVideoSink::videoFrameChanged, m_sink.get(),
        [this](const QVideoFrame& frame) { receive(frame); });
}

QtCameraFrameSource::~QtCameraFrameSource()
{
    if (m_camera)
        m_camera->stop();
    m_capture->setCamera(nullptr);
}

void QtCameraFrameSource::receive(const QVideoFrame& frame)
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    std::scoped_lock lock(m_mutex);
    m_latest = frame;
    ++m_latestNumber;
}

void QtCameraFrameSource::setActive(const std::shared_ptr<StreamCaptureDevice>& device, SessionPreset preset)
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    const int index = device ? device->sourceIndex() : -1;
    if (index < 0 || index >= m_cameras.size()) {
        if (m_camera)
            m_camera->stop();
        m_activeIndex = -1;
        return;
    }
    if (index != m_activeIndex || !m_camera) {
        m_capture->setCamera(nullptr);
        m_camera = std::make_unique<QCamera>(m_cameras.at(index));
        QObject::connect(m_camera.get(), &QCamera::errorOccurred, m_camera.get(),
            [](QCamera::Error, const QString& message) {
                log(lcCamera(), "Camera error: %s", qUtf8Printable(message));
            });
        QObject::connect(m_camera.get(), &QCamera::exposureTimeChanged, m_camera.get(),
            [this](float seconds) { m_exposureTime = seconds; });
        QObject::connect(m_camera.get(), &QCamera::isoSensitivityChanged, m_camera.get(),
            [this](int iso) { m_iso = iso; });
        m_capture->setCamera(m_camera.get());
        m_activeIndex = index;
    }
    m_camera->setCameraFormat(formatFor(m_cameras.at(index), preset));
    if (device->torchMode() == TorchMode::On)
        m_camera->setTorchMode(QCamera::TorchOn);
    m_camera->start();
}

QImage QtCameraFrameSource::videoFrame(
    const StreamCaptureDevice& device, SessionPreset preset, FrameClock::Duration time)
{
    (void)device;
    (void)preset;
    (void)time;
    QVideoFrame frame;
    {
        std::scoped_lock lock(m_mutex);
        if (m_latestNumber == m_shownNumber)
            return {};
        m_shownNumber = m_latestNumber;
        frame = m_latest;
    }
    return frame.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

Expected<std::shared_ptr<SampleBuffer>> QtCameraFrameSource::stillFrame(
    const StreamCaptureDevice& device, SessionPreset preset, FrameClock::Duration time)
{
    (void)preset;
    (void)time;
    QVideoFrame frame;
    {
        std::scoped_lock lock(m_mutex);
        frame = m_latest;
    }
    const QImage picture = frame.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (picture.isNull())
        return Expected<std::shared_ptr<SampleBuffer>>::failure(
            QStringLiteral("the camera has not delivered a picture yet"));
    ExposureSettings settings;
    settings.exposureTime = m_exposureTime.load();
    settings.iso = m_iso.load();
    settings.torchOn = device.torchMode() == TorchMode::On;
    auto buffer = SampleBuffer::fromImage(
        picture, settings.attachments(picture.size(), QDateTime::currentDateTime()));
    if (!buffer)
        return Expected<std::shared_ptr<SampleBuffer>>::failure(buffer.error());
    return std::make_shared<SampleBuffer>(std::move(buffer.value()));
}

} // namespace platform
