// LumivueViewController: construction, the wiring of its parts, the lifecycle and the actions of
// the controls.

#include "ui/LumivueViewController.h"

#include <chrono>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>

#include "analytics/TallyAPI.h"
#include "imaging/LivePreviewLayer.h"
#include "platform/core/Log.h"
#include "platform/device/Device.h"
#include "platform/device/InterfaceTurn.h"
#include "platform/device/LocationManager.h"
#include "platform/device/Screen.h"
#include "platform/device/SystemSound.h"
#include "ui/ButtonArt.h"
#include "ui/CameraPreviewItem.h"
#include "ui/PictureItem.h"

namespace ui {

using platform::Device;
using platform::NotificationCenter;

namespace {

// How long quitting waits for a tapped photo: a still, or a burst and its merge, and the write.
constexpr std::chrono::seconds kQuitWaitForPhoto { 5 };
// How long quitting waits for a stopped recording to be finished and stored.
constexpr std::chrono::seconds kQuitWaitForVideo { 15 };

} // namespace

LumivueViewController::LumivueViewController(std::shared_ptr<platform::CaptureBackend> backend)
{
    m_camera.setCaptureBackend(std::move(backend));
    // The device class's scope until the screen says how large it is.
    m_geometry.setup(float(platform::Screen::main().scale()), isTablet());
    m_countdownTimer.setInterval(1000);
    QObject::connect(&m_countdownTimer, &QTimer::timeout, this, &LumivueViewController::countdownTick);
    m_recordingTimer.setInterval(250);
    QObject::connect(&m_recordingTimer, &QTimer::timeout, this, &LumivueViewController::recordingTick);
    wireParts();
}

LumivueViewController::~LumivueViewController()
{
    platform::logLine(platform::lcUi(), QStringLiteral("LumivueViewController dealoc"));
    if (m_previewItem)
        m_previewItem->setPreview(nullptr);
    stopObservingOrientation();
    // A recording under way is kept: stopped while the camera still delivers, then stored.
    stopRecording();
    m_videoSaver.finishSaving(kQuitWaitForVideo);
    // A still being saved and the album's deliveries reach the controls and the location
    // manager: let them finish while every member is still here.
    m_photoSaver.shutdown();
    // The frame queue and the timer reach the parts: stop them while they are whole.
    shutdownScope();
    m_locationManager.reset();
}

bool LumivueViewController::isTablet() const
{
    return Device::current().isTablet();
}

void LumivueViewController::wireParts()
{
    // The timer thread asks; the GUI thread draws, once for however many asks arrived meanwhile.
    m_renderer.setRedrawHandlers(
        [this] {
            if (!m_overlayRedrawPosted.exchange(true))
                QMetaObject::invokeMethod(this, &LumivueViewController::redrawOverlay, Qt::QueuedConnection);
        },
        [this] {
            if (!m_pictureRedrawPosted.exchange(true))
                QMetaObject::invokeMethod(this, &LumivueViewController::redrawPicture, Qt::QueuedConnection);
        });
    QObject::connect(
        &m_pipeline, &imaging::FramePipeline::overlayRedrawDue, &m_pipeline,
        [this] { m_renderer.requestOverlayRedraw(); }, Qt::DirectConnection);
    QObject::connect(
        &m_pipeline, &imaging::FramePipeline::pictureRedrawDue, &m_pipeline,
        [this] { m_renderer.requestPictureRedraw(); }, Qt::DirectConnection);
    m_renderer.setDeviceOrientationSource([] { return Device::current().orientation(); });

    QObject::connect(&m_photoSaver, &photos::PhotoSaver::stillHandedOn, this, [this] {
        m_shutterPressed = false;
        setTakePictureButtonEnabled(true);
    });
    QObject::connect(&m_photoSaver, &photos::PhotoSaver::photoSaved, this, [this] { click(); });
    QObject::connect(&m_photoSaver, &photos::PhotoSaver::saveFailed, this,
        [this](const QString& message) { presentAlert(tr("Error!"), message, tr("OK")); });
    QObject::connect(&m_photoSaver, &photos::PhotoSaver::orientationUnknownAtTap, this, [] {
        platform::log(platform::lcPhotos(), "Device orientation unknown %d", Device::current().orientation());
    });
    QObject::connect(&m_videoSaver, &photos::VideoSaver::videoSaved, this,
        [this](const platform::AssetURL& url, int seconds) {
            platform::logLine(platform::lcPhotos(),
                QStringLiteral("Video saved: %1 (%2 s)").arg(url.toString()).arg(seconds));
        });
    QObject::connect(&m_videoSaver, &photos::VideoSaver::saveFailed, this,
        [this](const QString& message) { presentAlert(tr("Error!"), message, tr("OK")); });
    QObject::connect(
        &m_videoSaver, &photos::VideoSaver::recordingInterrupted, this, [this](const QString& message) {
            stopRecording();
            presentAlert(tr("Recording stopped"), message, tr("OK"));
        });
    QObject::connect(&m_lastPhoto, &photos::LastPhoto::thumbnailChanged, this,
        [this](const QImage& thumbnail) { showThumbnail(thumbnail); });
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        // Quit right after a tap: the photo reaches the album first, or the saver says it did not.
        QObject::connect(app, &QCoreApplication::aboutToQuit, &m_photoSaver, [this] {
            m_photoSaver.finishPhotosUnderWay(kQuitWaitForPhoto);
            stopRecording();
            m_videoSaver.finishSaving(kQuitWaitForVideo);
        });
        QObject::connect(app, &QGuiApplication::applicationStateChanged, this,
            &LumivueViewController::applicationStateChanged);
    }
}

void LumivueViewController::shutdownScope()
{
    m_pipeline.stopTimerThread();
    m_camera.shutdown();
    m_pipeline.qImage().take();
}

void LumivueViewController::attachItems(QQuickItem* preview, QQuickItem* scopeImage, QQuickItem* scopeGrid)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    m_previewItem = qobject_cast<CameraPreviewItem*>(preview);
    m_scopeImageItem = qobject_cast<PictureItem*>(scopeImage);
    m_scopeGridItem = qobject_cast<PictureItem*>(scopeGrid);
    if (m_previewItem)
        m_previewItem->setPreview(m_camera.previewLayer());
}

void LumivueViewController::setViewSize(qreal width, qreal height, int scopeSide)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    const int before = m_geometry.scopePixelSize();
    m_geometry.setup(float(platform::Screen::main().scale()), isTablet(), scopeSide);
    m_geometry.setPreviewSize(QSizeF(width, height));
    m_geometry.invalidate();
    if (m_geometry.scopePixelSize() != before) {
        emit scopeSizeChanged();
        m_renderer.requestOverlayRedraw();
    }
}

void LumivueViewController::viewDidLoad()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    m_locationManager = platform::LocationManager::create();
    if (m_locationManager) {
        m_locationManager->startUpdatingLocation();
        // On a first start there may be no fix yet; analytics then gets no position at all
        // rather than a made-up one at 0°, 0°.
        if (const auto fix = m_locationManager->location()) {
            analytics::TallyAPI::setLatitude(
                fix->latitude, fix->longitude, float(fix->horizontalAccuracy), float(fix->verticalAccuracy));
        }
    }

    setLevelSliderHidden(true);
    emit levelSliderSet(1.0f, false);
    m_settings.setScopeNightVisionMode(imaging::NightVisionMode::Auto);
    m_settings.setScopeNightVisionThread(100);

    m_camera.setupCaptureSessionVideo(&m_pipeline);
    if (m_camera.hasBothCameras() && m_scopeGridType == 0) // a lone front camera is the camera in use
        setCameraButtonHidden(false);
    if (m_previewItem)
        m_previewItem->setPreview(m_camera.previewLayer());
    // Published before the session runs: the frame queue reads it.
    m_pipeline.setSession(m_camera.session());
    m_loaded = true;
    m_running = !m_inBackground;
    if (m_running)
        m_camera.startRunning();
    m_geometry.guessScaledRadius(float(m_geometry.screenScale()));
    m_geometry.invalidate();
    m_renderer.requestOverlayRedraw();

    observeOrientation();
    checkTorch();
    if (lastImageURL().isEmpty())
        setLastPhotoURL();
    // Recordings a kill left behind are finished and join the album (and the thumbnail).
    m_videoSaver.recoverInterrupted();
    if (m_running)
        m_pipeline.startTimerThread();
}

void LumivueViewController::viewWillAppear()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!m_loaded || m_running || m_inBackground || !m_viewerPhoto.isEmpty())
        return;
    m_running = true;
    if (m_locationManager)
        m_locationManager->startUpdatingLocation();
    m_camera.startRunning();
    if (!m_pipeline.isTimerThreadRunning())
        m_pipeline.startTimerThread();
    m_renderer.requestOverlayRedraw();
    checkTorch();
    // Coming back from the viewer: the known photo is looked up again, without an album scan.
    if (!lastImageURL().isEmpty())
        updateThumb();
    else
        setLastPhotoURL();
}

void LumivueViewController::viewWillDisappear()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!m_running)
        return;
    m_running = false;
    if (m_locationManager)
        m_locationManager->stopUpdatingLocation();
    m_camera.stopRunning();
    m_pipeline.qImage().take(); // a stopped preview holds no picture
}

void LumivueViewController::applicationStateChanged(Qt::ApplicationState state)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (state == Qt::ApplicationSuspended && !m_inBackground) {
        m_inBackground = true;
        cancelCountdown(); // no photo of the user's pocket
        stopRecording();
        const bool released = m_running;
        viewWillDisappear();
        // Nothing ticks in the background: no redraws, no measuring.
        m_pipeline.stopTimerThread();
        if (released)
            platform::logLine(platform::lcUi(), QStringLiteral("Camera released in the background"));
    } else if (state == Qt::ApplicationActive && m_inBackground) {
        m_inBackground = false;
        viewWillAppear();
    }
}

void LumivueViewController::redrawOverlay()
{
    m_overlayRedrawPosted = false;
    if (m_scopeGridItem)
        m_scopeGridItem->setImage(m_renderer.renderScopeGrid(m_geometry.screenScale()));
}

void LumivueViewController::redrawPicture()
{
    m_pictureRedrawPosted = false;
    if (!m_scopeImageItem)
        return;
    QImage picture = m_renderer.renderScopeImage(m_geometry.screenScale());
    if (!picture.isNull())
        m_scopeImageItem->setImage(picture);
}

void LumivueViewController::observeOrientation()
{
    stopObservingOrientation();
    Device::current().beginGeneratingDeviceOrientationNotifications();
    m_orientationObserver = NotificationCenter::defaultCenter().addObserver(
        Device::orientationDidChangeNotification, this, [this](const platform::Notification& notification) {
            // The notification's object is the device that turned.
            const auto* device = static_cast<const Device*>(notification.object);
            orientationChanged(device ? device->orientation() : Device::current().orientation());
        });
}

void LumivueViewController::stopObservingOrientation()
{
    if (!m_orientationObserver)
        return;
    NotificationCenter::defaultCenter().removeObserver(m_orientationObserver);
    Device::current().endGeneratingDeviceOrientationNotifications();
    m_orientationObserver = 0;
}

QTransform LumivueViewController::rotationForOrientation(int deviceOrientation)
{
    // Positive angles turn clockwise on the screen (y down); lying flat or unknown is upright.
    return QTransform().rotateRadians(
        platform::interfaceTurnForOrientation(deviceOrientation).value_or(0.0f));
}

void LumivueViewController::orientationChanged(int orientation)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    // The controls turn in QML over 0.5 s; the overlay's texts turn at the next redraw.
    if (orientation == m_deviceOrientation)
        return;
    m_deviceOrientation = orientation;
    emit deviceOrientationChanged();
    m_renderer.requestOverlayRedraw();
}

// ---- Enhancement controls ----

void LumivueViewController::enlightChange(int item)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (const auto mode = imaging::ScopeSettings::modeForEnlightItem(item)) {
        const bool manual = *mode == imaging::NightVisionMode::Manual;
        setLevelSliderHidden(!manual);
        // The slider starts where the automatic mode left the level.
        if (manual)
            emit levelSliderSet(static_cast<float>(m_settings.scopeNightVisionLevel()), false);
        m_settings.setScopeNightVisionMode(*mode);
    }
    click();
    m_renderer.requestOverlayRedraw();
}

void LumivueViewController::colorSpaceChange(int item)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    m_settings.setScopeNightVisionColorFilter(item);
    click();
    m_renderer.requestOverlayRedraw();
}

void LumivueViewController::sliderNVAction(float value)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (m_settings.scopeNightVisionMode() == imaging::NightVisionMode::Manual)
        m_settings.setScopeNightVisionLevel(imaging::ScopeSettings::levelForSliderValue(value));
}

void LumivueViewController::sliderNVFinish()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    emit levelSliderSet(static_cast<float>(m_settings.scopeNightVisionLevel()), true);
}

// Each change of camera, preset, zoom or light shows the night filter another picture than the
// one it has averaged, so it starts afresh instead of blending the old scene into the new.

void LumivueViewController::sliderZoomAction(float value)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    // The frame queue reads the zoom on every frame; the settings keep it in an atomic.
    m_settings.setZoom(value);
    m_pipeline.resetNightMode(); // another part of the frame, magnified otherwise
}

void LumivueViewController::setLevelSliderHidden(bool hidden)
{
    if (m_levelSliderHidden == hidden)
        return;
    m_levelSliderHidden = hidden;
    emit controlsChanged();
}

// ---- Camera controls ----

void LumivueViewController::presetChange(int item)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    stopRecording(); // the frames change size
    m_camera.presetChange(item);
    m_geometry.invalidate();
    m_pipeline.resetNightMode();
}

void LumivueViewController::changeCamera()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (m_camera.hasBothCameras())
        stopRecording(); // another camera, another picture
    if (!m_camera.changeCamera())
        return;
    m_geometry.invalidate();
    m_pipeline.resetNightMode();
    checkTorch();
}

void LumivueViewController::checkTorch()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    // The grid toggle hides the side controls together; the torch stays hidden with them.
    setTorchButtonHidden(m_scopeGridType != 0 || !m_camera.hasTorch());
}

void LumivueViewController::changeScopeTorch()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    m_camera.changeScopeTorch();
    m_pipeline.resetNightMode();
    click();
}

void LumivueViewController::changeNightMode()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    // Switched on, the pipeline restarts the filter itself at its next frame.
    m_settings.setNightMode(!m_settings.isNightMode());
    emit controlsChanged();
    click();
    m_renderer.requestOverlayRedraw();
}

void LumivueViewController::changeScopeGrid()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    click();
    ++m_scopeGridType;
    if (m_scopeGridType >= 2) {
        m_scopeGridType = 0;
        setSideControlsHidden(false);
    } else {
        setSideControlsHidden(true);
    }
    m_renderer.requestOverlayRedraw();
}

void LumivueViewController::setCameraButtonHidden(bool hidden)
{
    if (m_cameraButtonHidden == hidden)
        return;
    m_cameraButtonHidden = hidden;
    emit controlsChanged();
}

void LumivueViewController::setTorchButtonHidden(bool hidden)
{
    if (m_torchHidden == hidden)
        return;
    m_torchHidden = hidden;
    emit controlsChanged();
}

void LumivueViewController::setSideControlsHidden(bool hidden)
{
    m_sideControlsHidden = hidden;
    emit controlsChanged();
    if (hidden) {
        setTorchButtonHidden(true);
        setCameraButtonHidden(true);
        return;
    }
    // Shown again only where they work: a torch switch for a camera without a torch, or a
    // camera switch with one camera, would be a button that does nothing.
    checkTorch();
    setCameraButtonHidden(!m_camera.hasBothCameras());
}

void LumivueViewController::click()
{
    platform::SystemSound::play(kClickSound);
}

// ---- Photos ----

void LumivueViewController::takePicture()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (m_countdown > 0) {
        cancelCountdown();
        return;
    }
    if (isRecording() || m_timerSeconds <= 0 || (m_shutterPressed && !m_videoMode)) {
        shutterNow();
        return;
    }
    platform::logLine(platform::lcPhotos(), QStringLiteral("Self-timer: %1 s").arg(m_timerSeconds));
    m_countdown = m_timerSeconds;
    m_countdownTimer.start();
    emit countdownChanged();
}

void LumivueViewController::countdownTick()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (--m_countdown > 0) {
        emit countdownChanged();
        return;
    }
    m_countdownTimer.stop();
    emit countdownChanged();
    shutterNow();
}

void LumivueViewController::shutterNow()
{
    if (!m_videoMode)
        captureNow();
    else if (isRecording())
        stopRecording();
    else
        startRecording();
}

void LumivueViewController::changeCaptureMode()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (isRecording())
        return;
    click();
    cancelCountdown();
    m_videoMode = !m_videoMode;
    platform::logLine(platform::lcUi(),
        m_videoMode ? QStringLiteral("Capture mode: video") : QStringLiteral("Capture mode: photo"));
    emit captureModeChanged();
    emit controlsChanged();
}

void LumivueViewController::startRecording()
{
    if (!m_running || isRecording())
        return;
    if (!m_camera.session() || !m_camera.cameraMessage().isEmpty()) {
        presentAlert(tr("Error!"), tr("No video was recorded: there is no camera picture."), tr("OK"));
        return;
    }
    photos::VideoSaver::Request request;
    request.deviceOrientation = Device::current().orientation();
    request.location = lastLocationFix();
    request.audio = m_audioEnabled;
    if (!m_videoSaver.start(request))
        return;
    m_camera.setRecordingFrameRate(true);
    click();
    m_recordingSeconds = 0;
    m_recordingTimer.start();
    emit recordingChanged();
    emit recordingSecondsChanged();
}

void LumivueViewController::stopRecording()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!isRecording())
        return;
    const auto seconds
        = static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(m_videoSaver.elapsed()).count());
    m_videoSaver.stop();
    m_camera.setRecordingFrameRate(false);
    m_recordingTimer.stop();
    m_recordingSeconds = 0;
    analytics::TallyAPI::logEvent(kTakeVideoEvent, { { QStringLiteral("seconds"), seconds } });
    click();
    emit recordingChanged();
    emit recordingSecondsChanged();
}

void LumivueViewController::recordingTick()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    // A camera that went away mid-recording: keep what was recorded.
    if (!m_camera.cameraMessage().isEmpty()) {
        stopRecording();
        return;
    }
    const auto seconds
        = static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(m_videoSaver.elapsed()).count());
    if (seconds != m_recordingSeconds) {
        m_recordingSeconds = seconds;
        emit recordingSecondsChanged();
    }
}

void LumivueViewController::cancelCountdown()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (m_countdown <= 0)
        return;
    m_countdownTimer.stop();
    m_countdown = 0;
    platform::logLine(platform::lcPhotos(), QStringLiteral("Self-timer cancelled"));
    emit countdownChanged();
}

void LumivueViewController::changeTimer()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    click();
    setTimerSeconds(m_timerSeconds == 0 ? 3 : m_timerSeconds == 3 ? 10 : 0);
}

void LumivueViewController::setTimerSeconds(int seconds)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (seconds != 3 && seconds != 10)
        seconds = 0;
    if (seconds == m_timerSeconds)
        return;
    m_timerSeconds = seconds;
    emit timerChanged();
}

void LumivueViewController::captureNow()
{
    // The shutter is disabled from this tap until the still has been handed to the album; a
    // second tap that arrives before the disabled shutter is drawn is ignored here as well.
    if (m_shutterPressed)
        return;
    m_shutterPressed = true;
    setTakePictureButtonEnabled(false);
    analytics::TallyAPI::logEvent(kTakePictureEvent);
    photos::PhotoSaver::StillRequest request;
    request.deviceOrientation = Device::current().orientation();
    // The location manager lives on the main thread, so its fix is read here, at the tap.
    request.location = lastLocationFix();
    m_photoSaver.captureStillImage(m_camera.stillImageOutput(), request);
}

void LumivueViewController::photoAlbum()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    click();
    const platform::AssetURL url = lastImageURL();
    if (url.isEmpty() || !m_viewerPhoto.isEmpty())
        return;
    cancelCountdown();
    stopRecording();
    viewWillDisappear();
    m_viewerPhoto = url.toString();
    emit viewerChanged();
}

void LumivueViewController::closeViewer()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (m_viewerPhoto.isEmpty())
        return;
    m_viewerPhoto.clear();
    emit viewerChanged();
    viewWillAppear();
}

void LumivueViewController::setTakePictureButtonEnabled(bool enabled)
{
    if (m_shutterEnabled == enabled)
        return;
    m_shutterEnabled = enabled;
    emit controlsChanged();
}

void LumivueViewController::showThumbnail(const QImage& thumbnail)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    // A photo that is gone shows the empty-album symbol rather than a blank control.
    m_thumbnail = thumbnail;
    emit thumbnailChanged();
}

QImage LumivueViewController::thumbnailArtSized(qreal width, qreal height, qreal cornerRadius) const
{
    return thumbnailArt(m_thumbnail, QSizeF(width, height), cornerRadius, m_geometry.screenScale());
}

QImage LumivueViewController::buttonArt(const QString& name, qreal points) const
{
    return ButtonArt::named(name, points, m_geometry.screenScale());
}

std::optional<photos::Location> LumivueViewController::lastLocationFix() const
{
    if (!m_locationManager)
        return std::nullopt;
    const auto fix = m_locationManager->location();
    if (!fix)
        return std::nullopt;
    return photos::Location { fix->latitude, fix->longitude, fix->timestamp };
}

QImage LumivueViewController::thumbnailArt(
    const QImage& thumbnail, QSizeF points, qreal cornerRadius, qreal scale)
{
    const QSize pixels = (points * scale).toSize();
    if (thumbnail.isNull() || pixels.isEmpty())
        return {};
    // Aspect fill: scale so the thumbnail covers the whole control, then keep the centre.
    const QImage filled = thumbnail.scaled(pixels, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    const QRect centre(
        QPoint((filled.width() - pixels.width()) / 2, (filled.height() - pixels.height()) / 2), pixels);

    QImage art(pixels, QImage::Format_ARGB32_Premultiplied);
    art.fill(Qt::transparent);
    QPainter painter(&art);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(art.rect()), cornerRadius * scale, cornerRadius * scale);
    painter.fillPath(shape, QBrush(filled.copy(centre)));
    painter.end();
    return art;
}

// ---- Alerts ----

void LumivueViewController::presentAlert(const QString& title, const QString& message, const QString& button)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    platform::logLine(platform::lcUi(), QStringLiteral("Alert: %1: %2 [%3]").arg(title, message, button));
    m_alerts.push_back(Alert { title, message, button });
    if (m_alerts.size() == 1)
        emit alertChanged();
}

void LumivueViewController::dismissAlert()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (m_alerts.empty())
        return;
    m_alerts.pop_front();
    emit alertChanged();
}

} // namespace ui
