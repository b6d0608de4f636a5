#include "platform/camera/GstCameraFrameSource.h"

#include <pthread.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QVariantList>

#include "platform/camera/CameraExposure.h"
#include "platform/camera/CameraModeChoice.h"
#include "platform/camera/GstCameraCatalog.h"
#include "platform/camera/SampleBuffer.h"
#include "platform/camera/StreamCaptureDevice.h"
#include "platform/core/Log.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kWatchPeriod = 50ms;
constexpr auto kFirstPictureLimit = 3s; // a camera that sends nothing this long after opening is reopened
constexpr auto kStallLimit = 3s; // a streaming camera silent this long is lost
constexpr auto kLookAgainPeriod = 2s;
constexpr auto kStillPictureLimit = 10s;
constexpr auto kStillStreamLinger = 1500ms; // after a still at the largest size, for the next of a burst

// The photo's EXIF: what a real camera tells us. Exposure and lens values we do not know are left
// out rather than made up.
MetadataDictionary stillAttachments(QSize pixels, const CameraExposure* exposure)
{
    const QString when = QDateTime::currentDateTime().toString(QStringLiteral("yyyy:MM:dd HH:mm:ss"));
    MetadataDictionary exif;
    exif.insert(QStringLiteral("DateTimeOriginal"), when);
    exif.insert(QStringLiteral("DateTimeDigitized"), when);
    exif.insert(QStringLiteral("ColorSpace"), 1); // sRGB
    exif.insert(QStringLiteral("PixelXDimension"), pixels.width());
    exif.insert(QStringLiteral("PixelYDimension"), pixels.height());
    if (exposure) {
        const ExposureSettings settings = exposure->settings();
        exif.insert(QStringLiteral("ExposureTime"), settings.exposureTime);
        exif.insert(QStringLiteral("ISOSpeedRatings"), QVariantList { settings.iso });
    }
    MetadataDictionary attachments;
    attachments.insert(QStringLiteral("{Exif}"), exif);
    return attachments;
}

QString describe(const CameraMode& mode)
{
    return QStringLiteral("%1 %2x%3").arg(mode.format).arg(mode.size.width()).arg(mode.size.height());
}

} // namespace

GstCameraFrameSource::GstCameraFrameSource(
    std::vector<CameraInfo> cameras, std::optional<int> rotation, const std::shared_ptr<FrameClock>& clock)
    : m_cameras(std::move(cameras))
    , m_rotation(rotation)
{
    for (std::size_t i = 0; i < m_cameras.size(); ++i)
        m_devices.push_back(std::make_shared<StreamCaptureDevice>(
            m_cameras[i].name, positionOf(m_cameras[i]), false, clock, int(i)));
    m_watcher = std::jthread([this](const std::stop_token& stop) { watch(stop); });
}

GstCameraFrameSource::~GstCameraFrameSource()
{
    m_watcher.request_stop();
    m_wake.notify_all();
    if (m_watcher.joinable())
        m_watcher.join();
}

void GstCameraFrameSource::setActive(const std::shared_ptr<StreamCaptureDevice>& device, SessionPreset preset)
{
    {
        std::scoped_lock lock(m_mutex);
        m_wanted = Wanted { device ? device->sourceIndex() : -1, preset };
    }
    m_wake.notify_all();
}

QString GstCameraFrameSource::status() const
{
    std::scoped_lock lock(m_mutex);
    return m_status;
}

void GstCameraFrameSource::setStatus(const QString& status)
{
    std::scoped_lock lock(m_mutex);
    m_status = status;
}

QImage GstCameraFrameSource::videoFrame(const StreamCaptureDevice&, SessionPreset, FrameClock::Duration)
{
    const std::shared_ptr<GstCameraStream> stream = liveStream();
    if (!stream)
        return {};
    auto [image, number] = stream->newest();
    if (stream.get() == m_shownStream && number == m_shownNumber)
        return {};
    m_shownStream = stream.get();
    m_shownNumber = number;
    return image;
}

Expected<std::shared_ptr<SampleBuffer>> GstCameraFrameSource::stillFrame(
    const StreamCaptureDevice&, SessionPreset, FrameClock::Duration)
{
    using Result = Expected<std::shared_ptr<SampleBuffer>>;
    std::future<StillResult> result;
    std::shared_ptr<CameraExposure> exposure;
    {
        std::scoped_lock lock(m_mutex);
        m_stills.emplace_back();
        result = m_stills.back().get_future();
        exposure = m_exposure;
    }
    m_wake.notify_all();
    // The watcher answers every request, at the latest when it stops.
    const auto [image, error] = result.get();
    if (image.isNull())
        return Result::failure(error);
    auto buffer = SampleBuffer::fromImage(image, stillAttachments(image.size(), exposure.get()));
    if (!buffer)
        return Result::failure(buffer.error());
    return std::make_shared<SampleBuffer>(std::move(buffer.value()));
}

void GstCameraFrameSource::watch(const std::stop_token& stop)
{
    pthread_setname_np(pthread_self(), "cameraWatch");
    while (!stop.stop_requested()) {
        Wanted wanted;
        std::vector<std::promise<StillResult>> stills;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait_for(
                lock, stop, kWatchPeriod, [&] { return m_wanted != m_open || !m_stills.empty(); });
            wanted = m_wanted;
            stills.swap(m_stills);
        }
        if (stop.stop_requested()) {
            for (auto& still : stills)
                still.set_value({ QImage(),
                    QCoreApplication::translate("GstCameraFrameSource", "the camera was closed") });
            break;
        }
        if (wanted != m_open) {
            endStills();
            open(wanted);
        }
        for (auto& still : stills)
            still.set_value(takeStill());
        if (m_stillStream && Clock::now() >= m_stillStreamUntil)
            endStills();
        if (!m_stillStream)
            checkHealth();
    }
    m_stillStream.reset();
    close();
    std::scoped_lock lock(m_mutex);
    for (auto& still : m_stills)
        still.set_value(
            { QImage(), QCoreApplication::translate("GstCameraFrameSource", "the camera was closed") });
    m_stills.clear();
}

void GstCameraFrameSource::close()
{
    std::shared_ptr<GstCameraStream> old;
    {
        std::scoped_lock lock(m_mutex);
        old.swap(m_stream);
        m_exposure.reset();
    }
    m_lastStillStream = nullptr;
    if (old && m_open.index >= 0 && m_open.index < int(m_cameras.size()))
        log(lcCamera(), "Camera closed: %s", qUtf8Printable(m_cameras[std::size_t(m_open.index)].name));
    old.reset(); // stops the pipeline here, unless the stream thread still shows its last picture
    m_health = Health::Closed;
}

void GstCameraFrameSource::open(Wanted wanted)
{
    close();
    m_open = wanted;
    if (wanted.index < 0 || wanted.index >= int(m_cameras.size())) {
        setStatus({});
        return;
    }
    const CameraInfo& camera = m_cameras[std::size_t(wanted.index)];
    const auto mode = previewMode(camera.modes, wanted.preset);
    if (!mode) {
        QString offered;
        for (const QString& format : camera.unreadableFormats)
            offered += (offered.isEmpty() ? QString() : QStringLiteral(", ")) + format;
        log(lcCamera(), "Camera format not supported: %s offers only %s", qUtf8Printable(camera.name),
            qUtf8Printable(offered.isEmpty() ? QStringLiteral("no picture format") : offered));
        setStatus(QCoreApplication::translate("GstCameraFrameSource", "Camera format not supported"));
        m_health = Health::Lost;
        m_since = Clock::now();
        return;
    }
    auto exposure = exposureFor(camera, *mode);
    GstCameraStream::FrameObserver observer;
    if (exposure)
        observer = [exposure](const QImage& picture) {
            exposure->frame(
                picture.constBits(), picture.width(), picture.height(), int(picture.bytesPerLine()));
        };
    auto stream = GstCameraStream::open(camera, *mode, arrivalTurn(camera, m_rotation), std::move(observer));
    m_since = Clock::now();
    if (!stream) {
        lose(GstCameraStream::Failure { stream.error(), false });
        return;
    }
    log(lcCamera(), "Camera opening: %s (%s, %s)", qUtf8Printable(camera.name),
        qUtf8Printable(camera.apiName()), qUtf8Printable(describe(*mode)));
    {
        std::scoped_lock lock(m_mutex);
        m_stream = std::move(stream.value());
        m_exposure = std::move(exposure);
    }
    m_health = Health::Starting;
    m_seenNumber = 0;
    m_seenAt = m_since;
}

std::shared_ptr<CameraExposure> GstCameraFrameSource::exposureFor(
    const CameraInfo& camera, const CameraMode& mode) const
{
    if (camera.devicePath.isEmpty())
        return nullptr;
    auto controls = V4l2Controls::open(camera.devicePath);
    if (!controls) {
        log(lcCamera(), "Camera exposure: %s", qUtf8Printable(controls.error()));
        return nullptr;
    }
    const ExposureLimits limits = controls->limits();
    if (!limits.hasExposure && !limits.hasGain)
        return nullptr;
    return std::make_shared<CameraExposure>(
        std::move(controls.value()), mode.framesPerSecond > 0 ? 1.0 / mode.framesPerSecond : 0.0);
}

void GstCameraFrameSource::checkHealth()
{
    if (m_health == Health::Lost) {
        if (Clock::now() - m_since >= kLookAgainPeriod)
            lookAgain();
        return;
    }
    const std::shared_ptr<GstCameraStream> stream = liveStream();
    if (!stream)
        return;
    if (auto failure = stream->failure()) {
        lose(*failure);
        return;
    }
    const auto now = Clock::now();
    const std::uint64_t number = stream->newest().second;
    if (number != m_seenNumber) {
        m_seenNumber = number;
        m_seenAt = now;
        if (m_health == Health::Starting) {
            const CameraInfo& camera = m_cameras[std::size_t(m_open.index)];
            log(lcCamera(), m_wasLost ? "Camera back: %s" : "Camera started: %s",
                qUtf8Printable(camera.name));
            m_wasLost = false;
            m_health = Health::Streaming;
            setStatus({});
        }
        return;
    }
    if (m_health == Health::Starting && now - m_since >= kFirstPictureLimit) {
        // A PipeWire node sometimes streams nothing to a new consumer right after the last one
        // left; opening it again at once brings the pictures.
        lose({ QStringLiteral("no picture within %1 s of opening").arg(kFirstPictureLimit.count()), false });
        m_since -= kLookAgainPeriod;
    } else if (m_health == Health::Streaming && now - m_seenAt >= kStallLimit)
        lose({ QStringLiteral("no picture for %1 s").arg(kStallLimit.count()), false });
}

void GstCameraFrameSource::lose(const GstCameraStream::Failure& failure)
{
    const Wanted wanted = m_open;
    close();
    m_open = wanted; // still the camera we want, once it is back
    m_health = Health::Lost;
    m_since = Clock::now();
    const QString name = m_cameras[std::size_t(wanted.index)].name;
    if (failure.busy) {
        log(lcCamera(), "Camera busy: %s is in use by another program (%s); trying again every %lld s",
            qUtf8Printable(name), qUtf8Printable(failure.reason),
            static_cast<long long>(kLookAgainPeriod.count()));
        setStatus(QCoreApplication::translate("GstCameraFrameSource", "Camera in use by another app"));
    } else {
        log(lcCamera(), "Camera lost: %s: %s; waiting for it to come back", qUtf8Printable(name),
            qUtf8Printable(failure.reason));
        setStatus(QCoreApplication::translate("GstCameraFrameSource", "Camera lost - waiting for it"));
    }
    m_wasLost = true;
}

// A lost camera comes back as a new device (a new PipeWire node, a new V4L2 device): it is found
// again by its name and where it was published.
void GstCameraFrameSource::lookAgain()
{
    m_since = Clock::now();
    const CameraInfo& lost = m_cameras[std::size_t(m_open.index)];
    auto found = GstCameraCatalog::probe();
    if (!found)
        return;
    for (CameraInfo& camera : found.value()) {
        if (camera.name == lost.name && camera.api == lost.api) {
            m_cameras[std::size_t(m_open.index)] = std::move(camera);
            open(m_open);
            return;
        }
    }
}

std::shared_ptr<GstCameraStream> GstCameraFrameSource::liveStream() const
{
    std::scoped_lock lock(m_mutex);
    return m_stream;
}

// The first picture of `stream` that no earlier still had, waiting for it if need be.
GstCameraFrameSource::StillResult GstCameraFrameSource::nextPicture(
    const GstCameraStream& stream, const QString& missing)
{
    const std::uint64_t after = &stream == m_lastStillStream ? m_lastStill : 0;
    if (!stream.waitForFrame(after, kStillPictureLimit))
        return { QImage(), missing };
    auto [image, number] = stream.newest();
    m_lastStillStream = &stream;
    m_lastStill = number;
    return { image, QString() };
}

GstCameraFrameSource::StillResult GstCameraFrameSource::takeStill()
{
    if (m_open.index < 0 || m_open.index >= int(m_cameras.size()))
        return { QImage(), QCoreApplication::translate("GstCameraFrameSource", "no camera is open") };
    const CameraInfo& camera = m_cameras[std::size_t(m_open.index)];
    const auto largest = stillMode(camera.modes);
    const std::shared_ptr<GstCameraStream> stream = liveStream();
    if (m_stillStream || (largest && m_health == Health::Streaming)) {
        const QSize previewSize = stream ? stream->mode().size : QSize();
        if (m_stillStream
            || qint64(largest->size.width()) * largest->size.height()
                > qint64(previewSize.width()) * previewSize.height())
            return takeLargeStill(camera, *largest);
    }
    if (!stream) {
        const QString status = this->status();
        return { QImage(),
            status.isEmpty()
                ? QCoreApplication::translate("GstCameraFrameSource", "the camera is not streaming")
                : status };
    }
    return nextPicture(*stream,
        QCoreApplication::translate("GstCameraFrameSource", "the camera sent no picture within %1 s")
            .arg(kStillPictureLimit.count()));
}

// The camera switched to its largest size for this still and those that follow it closely.
GstCameraFrameSource::StillResult GstCameraFrameSource::takeLargeStill(
    const CameraInfo& camera, const CameraMode& largest)
{
    const auto started = Clock::now();
    if (!m_stillStream) {
        const Wanted preview = m_open;
        close();
        m_open = preview;
        auto opened = GstCameraStream::open(camera, largest, arrivalTurn(camera, m_rotation));
        if (!opened) {
            log(lcCamera(),
                "Camera: cannot switch to %s for the photo (%s); it is taken at the preview's size",
                qUtf8Printable(describe(largest)), qUtf8Printable(opened.error()));
            open(preview);
            const std::shared_ptr<GstCameraStream> stream = liveStream();
            if (!stream)
                return { QImage(),
                    QCoreApplication::translate("GstCameraFrameSource", "the camera sent no picture") };
            return nextPicture(
                *stream, QCoreApplication::translate("GstCameraFrameSource", "the camera sent no picture"));
        }
        m_stillStream = std::move(opened.value());
    }
    StillResult result = nextPicture(*m_stillStream,
        QCoreApplication::translate("GstCameraFrameSource", "the camera sent no picture at %1")
            .arg(describe(largest)));
    if (result.first.isNull()) {
        endStills();
        return result;
    }
    m_stillStreamUntil = Clock::now() + kStillStreamLinger;
    log(lcCamera(), "Camera: still at %s in %lld ms", qUtf8Printable(describe(largest)),
        static_cast<long long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count()));
    return result;
}

// Back from the stills' size to the preview's.
void GstCameraFrameSource::endStills()
{
    if (!m_stillStream)
        return;
    m_stillStream.reset();
    m_lastStillStream = nullptr;
    open(m_open);
}

} // namespace platform
