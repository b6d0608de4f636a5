// LumivueViewController: construction, the wiring of its parts, the view lifecycle and the
// actions of the controls.

#include "ui/LumivueViewController.h"

#include <chrono>

#include <QCoreApplication>
#include <QObject>
#include <QPainter>
#include <QPainterPath>

#include "analytics/TallyAPI.h"
#include "imaging/LivePreviewLayer.h"
#include "platform/core/AlertPresenter.h"
#include "platform/core/Log.h"
#include "platform/graphics/Layer.h"
#include "platform/ui/Button.h"
#include "platform/device/Device.h"
#include "platform/device/LocationManager.h"
#include "platform/device/Screen.h"
#include "platform/ui/Slider.h"
#include "platform/device/SystemSound.h"
#include "platform/ui/View.h"
#include "ui/ButtonArt.h"
#include "ui/HUDView.h"

namespace ui {

using platform::Device;
using platform::NotificationCenter;

namespace {

// How long quitting waits for a tapped photo: a still, or a burst and its merge, and the write.
constexpr std::chrono::seconds kQuitWaitForPhoto { 5 };

} // namespace

LumivueViewController::LumivueViewController(std::shared_ptr<platform::CaptureBackend> backend)
{
    m_camera.setCaptureBackend(std::move(backend));
    wireParts();
}

LumivueViewController::~LumivueViewController()
{
    platform::logLine(platform::lcUi(), QStringLiteral("LumivueViewController dealoc"));
    stopObservingOrientation();
    // A still being saved and the album's deliveries reach the controls and the location
    // manager: let them finish while every member is still here.
    m_photoSaver.shutdown();
    // The frame queue and the timer reach the parts: stop them while they are whole.
    shutdownScope();
    m_locationManager.reset();
}

void LumivueViewController::wireParts()
{
    // The timer thread has no event loop, and a layer takes redraw requests from any thread.
    QObject::connect(
        &m_pipeline, &imaging::FramePipeline::overlayRedrawDue, &m_pipeline,
        [this] { m_renderer.requestOverlayRedraw(); }, Qt::DirectConnection);
    QObject::connect(
        &m_pipeline, &imaging::FramePipeline::pictureRedrawDue, &m_pipeline,
        [this] { m_renderer.requestPictureRedraw(); }, Qt::DirectConnection);
    m_renderer.setDeviceOrientationSource([] { return Device::current().orientation(); });

    QObject::connect(&m_photoSaver, &photos::PhotoSaver::stillHandedOn, &m_photoSaver, [this] {
        m_shutterPressed = false;
        setTakePictureButtonEnabled(true);
    });
    QObject::connect(&m_photoSaver, &photos::PhotoSaver::photoSaved, &m_photoSaver,
        [] { platform::SystemSound::play(kClickSound); });
    QObject::connect(
        &m_photoSaver, &photos::PhotoSaver::saveFailed, &m_photoSaver, [](const QString& message) {
            platform::presentAlert(QStringLiteral("Error!"), message, QStringLiteral("OK"));
        });
    QObject::connect(&m_photoSaver, &photos::PhotoSaver::orientationUnknownAtTap, &m_photoSaver, [] {
        platform::log(platform::lcPhotos(), "Device orientation unknown %d", Device::current().orientation());
    });
    QObject::connect(&m_lastPhoto, &photos::LastPhoto::thumbnailChanged, &m_lastPhoto,
        [this](const QImage& thumbnail) { showThumbnail(thumbnail); });
    // Quit right after a tap: the photo reaches the album first, or the saver says it did not.
    if (QCoreApplication* app = QCoreApplication::instance())
        QObject::connect(app, &QCoreApplication::aboutToQuit, &m_photoSaver,
            [this] { m_photoSaver.finishPhotosUnderWay(kQuitWaitForPhoto); });
}

void LumivueViewController::shutdownScope()
{
    m_pipeline.stopTimerThread();
    m_camera.shutdown();
    m_pipeline.qImage().take();
}

std::shared_ptr<platform::Layer> LumivueViewController::previewViewLayer() const
{
    return m_previewView ? m_previewView->layerPointer() : nullptr;
}

QRectF LumivueViewController::previewViewBounds() const
{
    return m_previewView ? m_previewView->layer().bounds() : QRectF(0, 0, 320, 480);
}

void LumivueViewController::viewDidLoad()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    ViewController::viewDidLoad();
    updateOptionButtonVisibility();

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
    setLevelSliderValue(1.0f, false);
    m_settings.setScopeNightVisionMode(imaging::NightVisionMode::Auto);

    // Screen scale, thresholds and the scope's size for the device class.
    m_settings.setScopeNightVisionThread(100);
    m_geometry.setup(float(platform::Screen::main().scale()), Device::current().isTablet());
    const std::shared_ptr<platform::Layer> viewLayer = previewViewLayer();
    const QRectF viewBounds = previewViewBounds();
    m_geometry.setPreviewSize(viewBounds.size());
    m_camera.setupCaptureSessionVideo(viewLayer, viewBounds, m_geometry.screenScale(), &m_pipeline);
    if (m_camera.hasBothCameras() && m_scopeGridType == 0) // a lone front camera is the camera in use
        setCameraButtonHidden(false);
    if (!m_camera.cameraMessage().isEmpty())
        m_renderer.requestOverlayRedraw();
    // Published before the session runs: the frame queue reads it.
    m_pipeline.setSession(m_camera.session());
    m_camera.startRunning();
    if (previewLayer())
        previewLayer()->startAutoRefresh(); // the live picture follows the camera from the event loop
    m_geometry.guessScaledRadius(previewLayer() ? float(previewLayer()->layer()->contentsScale()) : 1.0f);
    m_geometry.invalidate();
    m_renderer.setupScopeLayers(viewLayer, viewBounds);

    observeOrientation();
    if (lastImageURL().isEmpty())
        setLastPhotoURL();
    m_pipeline.startTimerThread();

    m_torchButton->layer().setCornerRadius(15);
    m_cameraButton->layer().setCornerRadius(15);
    m_denoiseButton->layer().setCornerRadius(15); // the same shape as its two neighbours
}

void LumivueViewController::viewWillAppear(bool animated)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    ViewController::viewWillAppear(animated);
    if (m_controllHUDView)
        m_controllHUDView->saveOriginalPosition();
    if (m_locationManager)
        m_locationManager->startUpdatingLocation();
    scopeGridLayer()->setNeedsDisplay();
    m_camera.startRunning();
    checkTorch();
    // Coming back from the viewer: the known photo is looked up again, without an album scan.
    if (!lastImageURL().isEmpty())
        updateThumb();
    else
        setLastPhotoURL();
}

void LumivueViewController::viewWillDisappear(bool animated)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    ViewController::viewWillDisappear(animated);
    if (m_locationManager)
        m_locationManager->stopUpdatingLocation();
    m_camera.stopRunning();
    m_pipeline.qImage().take(); // a stopped preview holds no picture
}

void LumivueViewController::viewDidUnload()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    platform::logLine(platform::lcUi(), QStringLiteral("LumivueViewController viewDidUnload"));
    // The view tree is gone with every control in it. The next viewDidLoad builds the camera,
    // the observer and the timer anew, so the old ones stop here instead of running twice.
    clearOutlets();
    stopObservingOrientation();
    shutdownScope();
    ViewController::viewDidUnload();
}

void LumivueViewController::clearOutlets()
{
    m_previewView = nullptr;
    m_NVButton = nullptr;
    m_captureButton = nullptr;
    m_cameraButton = nullptr;
    m_takePictureButton = nullptr;
    m_torchButton = nullptr;
    m_denoiseButton = nullptr;
    m_sliderZoom = nullptr;
    m_sliderNVLevel = nullptr;
    m_levelCaption = nullptr;
    m_controllView = nullptr;
    m_controllScreenView = nullptr;
    m_controllHUDView = nullptr;
    m_bEnlight = nullptr;
    m_bColorSpace = nullptr;
    m_bPreset = nullptr;
}

void LumivueViewController::observeOrientation()
{
    stopObservingOrientation();
    Device::current().beginGeneratingDeviceOrientationNotifications();
    m_orientationObserver
        = NotificationCenter::defaultCenter().addObserver(Device::orientationDidChangeNotification, this,
            [this](const platform::Notification& notification) { orientationChanged(notification); });
}

void LumivueViewController::stopObservingOrientation()
{
    if (!m_orientationObserver)
        return;
    NotificationCenter::defaultCenter().removeObserver(m_orientationObserver);
    Device::current().endGeneratingDeviceOrientationNotifications();
    m_orientationObserver = 0;
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
            setLevelSliderValue(static_cast<float>(m_settings.scopeNightVisionLevel()), false);
        m_settings.setScopeNightVisionMode(*mode);
    }
    platform::SystemSound::play(kClickSound);
    m_renderer.requestOverlayRedraw();
}

void LumivueViewController::colorSpaceChange(int item)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    m_settings.setScopeNightVisionColorFilter(item);
    platform::SystemSound::play(kClickSound);
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
    setLevelSliderValue(static_cast<float>(m_settings.scopeNightVisionLevel()), true);
}

void LumivueViewController::setLevelSliderHidden(bool hidden)
{
    if (m_sliderNVLevel)
        m_sliderNVLevel->setHidden(hidden);
    if (m_levelCaption)
        m_levelCaption->setHidden(hidden);
}

void LumivueViewController::setLevelSliderValue(float value, bool animated)
{
    if (m_sliderNVLevel)
        m_sliderNVLevel->setValue(value, animated);
}

// ---- Camera controls ----

// Each change of camera, preset, zoom or light shows the night filter another picture than the
// one it has averaged, so it starts afresh instead of blending the old scene into the new.

void LumivueViewController::presetChange(int item)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    m_camera.presetChange(item);
    m_geometry.invalidate();
    m_pipeline.resetNightMode();
}

void LumivueViewController::changeCamera()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
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
    platform::SystemSound::play(kClickSound);
}

void LumivueViewController::changeNightMode()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    // Switched on, the pipeline restarts the filter itself at its next frame.
    m_settings.setNightMode(!m_settings.isNightMode());
    showNightMode();
    platform::SystemSound::play(kClickSound);
    m_renderer.requestOverlayRedraw();
}

void LumivueViewController::showNightMode()
{
    if (!m_denoiseButton)
        return;
    const bool on = m_settings.isNightMode();
    m_denoiseButton->setImage(
        ButtonArt::nightMode(m_denoiseButton->bounds().width(), platform::Screen::main().scale(), on));
    m_denoiseButton->setSelected(on);
}

void LumivueViewController::changeScopeGrid()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    platform::SystemSound::play(kClickSound);
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
    if (m_cameraButton)
        m_cameraButton->setHidden(hidden);
}

void LumivueViewController::setTorchButtonHidden(bool hidden)
{
    if (m_torchButton)
        m_torchButton->setHidden(hidden);
}

void LumivueViewController::setSideControlsHidden(bool hidden)
{
    if (m_controllHUDView)
        m_controllHUDView->setHidden(hidden);
    if (m_denoiseButton)
        m_denoiseButton->setHidden(hidden);
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

// ---- Photos ----

void LumivueViewController::takePicture()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
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
    platform::SystemSound::play(kClickSound);
    const platform::AssetURL url = lastImageURL();
    if (url.isEmpty())
        return;
    // The viewer is a Qt Quick screen (Viewer.qml); this toolkit screen cannot present it.
    platform::logLine(
        platform::lcPhotos(), QStringLiteral("Viewer not shown on this screen: ") + url.toString());
}

void LumivueViewController::setTakePictureButtonEnabled(bool enabled)
{
    if (m_takePictureButton)
        m_takePictureButton->setEnabled(enabled);
}

void LumivueViewController::showThumbnail(const QImage& thumbnail)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!m_captureButton)
        return;
    m_captureButton->setEnabled(true);
    const QSizeF size = m_captureButton->bounds().size();
    const qreal scale = platform::Screen::main().scale();
    // A photo that is gone shows the empty-album symbol rather than a blank control.
    m_captureButton->setImage(thumbnail.isNull()
            ? ButtonArt::albumPlaceholder(size.width(), scale)
            : thumbnailArt(thumbnail, size, m_captureButton->layer().cornerRadius(), scale));
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

} // namespace ui
