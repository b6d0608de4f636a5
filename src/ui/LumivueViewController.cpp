// LumivueViewController: construction, the view lifecycle and the screen hooks of CameraScope.

#include "ui/LumivueViewController.h"

#include <QPainter>
#include <QPainterPath>

#include "analytics/TallyAPI.h"
#include "imaging/LivePreviewLayer.h"
#include "platform/core/Log.h"
#include "platform/graphics/Layer.h"
#include "platform/ui/Button.h"
#include "platform/ui/Device.h"
#include "platform/ui/LocationManager.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Slider.h"
#include "platform/ui/SystemSound.h"
#include "photos/ViewImageController.h"
#include "ui/ButtonArt.h"
#include "ui/HUDView.h"

namespace ui {

using platform::Device;
using platform::NotificationCenter;

LumivueViewController::LumivueViewController(std::shared_ptr<platform::CaptureBackend> backend)
{
    setCaptureBackend(std::move(backend));
}

LumivueViewController::~LumivueViewController()
{
    platform::logLine(platform::lcUi(), QStringLiteral("LumivueViewController dealoc"));
    stopObservingOrientation();
    // A still being saved and the album's deliveries call the photo hooks, which reach the
    // controls and the location manager: let them finish while every member is still here.
    shutdownPhotoCapture();
    // The frame queue and the timer call back into this object: stop them while it is whole.
    shutdownScope();
    m_locationManager.reset();
}

void LumivueViewController::viewDidLoad()
{
    ViewController::viewDidLoad();
    updateOptionButtonVisibility();

    m_locationManager = platform::LocationManager::create();
    if (m_locationManager) {
        m_locationManager->startUpdatingLocation();
        // On a first start there may be no fix yet; analytics then gets no position at all
        // rather than a made-up one at 0°, 0°.
        if (const auto fix = m_locationManager->location()) {
            analytics::TallyAPI::setLatitude(fix->latitude, fix->longitude, float(fix->horizontalAccuracy),
                                             float(fix->verticalAccuracy));
        }
    }

    setLevelSliderHidden(true);
    setLevelSliderValue(1.0f, false);
    setScopeNightVisionMode(imaging::NightVisionMode::Auto);

    // Screen scale, thresholds and the scope's size for the device class.
    setScopeNightVisionThread(100);
    setupScopeGeometry();
    setupCaptureSessionVideo();
    if (previewLayer())
        previewLayer()->startAutoRefresh(); // the live picture follows the camera from the event loop
    // A first guess before any frame has come; the first tick with a picture corrects it.
    const auto layerScale = previewLayer() ? float(previewLayer()->layer()->contentsScale()) : 1.0f;
    setScopeScreenScaledRadius(static_cast<std::int32_t>(float(scopeScreenRadius()) * layerScale));
    calculateScreen();
    setupScopeLayers();

    observeOrientation();
    if (lastImageURL().isEmpty())
        setLastPhotoURL();
    startTimerThread();

    m_torchButton->layer().setCornerRadius(15);
    m_cameraButton->layer().setCornerRadius(15);
}

void LumivueViewController::viewWillAppear(bool animated)
{
    ViewController::viewWillAppear(animated);
    if (m_controllHUDView)
        m_controllHUDView->saveOriginalPosition();
    if (m_locationManager)
        m_locationManager->startUpdatingLocation();
    scopeGridLayer()->setNeedsDisplay();
    startCaptureSession(); // then checkTorch
    // Coming back from the viewer: the known photo is looked up again, without an album scan.
    if (!lastImageURL().isEmpty())
        updateThumb();
    else
        setLastPhotoURL();
}

void LumivueViewController::viewWillDisappear(bool animated)
{
    ViewController::viewWillDisappear(animated);
    if (m_locationManager)
        m_locationManager->stopUpdatingLocation();
    stopCaptureSession();
}

void LumivueViewController::viewDidUnload()
{
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
    m_orientationObserver = NotificationCenter::defaultCenter().addObserver(
        Device::orientationDidChangeNotification, this,
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

// ---- CameraScope hooks ----

void LumivueViewController::setLevelSliderHidden(bool hidden)
{
    CameraScope::setLevelSliderHidden(hidden);
    if (m_sliderNVLevel)
        m_sliderNVLevel->setHidden(hidden);
    if (m_levelCaption)
        m_levelCaption->setHidden(hidden);
}

void LumivueViewController::setLevelSliderValue(float value, bool animated)
{
    CameraScope::setLevelSliderValue(value, animated);
    if (m_sliderNVLevel)
        m_sliderNVLevel->setValue(value, animated);
}

float LumivueViewController::levelSliderValue() const
{
    return m_sliderNVLevel ? m_sliderNVLevel->value() : CameraScope::levelSliderValue();
}

void LumivueViewController::playSystemSound(int soundId) { platform::SystemSound::play(soundId); }

float LumivueViewController::mainScreenScale() const { return float(platform::Screen::main().scale()); }

bool LumivueViewController::isTabletInterface() const { return Device::current().isTablet(); }

int LumivueViewController::deviceOrientation() const { return Device::current().orientation(); }

std::shared_ptr<platform::Layer> LumivueViewController::previewViewLayer()
{
    return m_previewView ? m_previewView->layerPointer() : CameraScope::previewViewLayer();
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
    if (hidden) {
        setTorchButtonHidden(true);
        setCameraButtonHidden(true);
        return;
    }
    // Shown again only where they work: a torch switch for a camera without a torch, or a
    // camera switch with one camera, would be a button that does nothing.
    checkTorch();
    setCameraButtonHidden(!(cDeviceBack() && cDeviceFront()));
}

// ---- Photo hooks ----

void LumivueViewController::setTakePictureButtonEnabled(bool enabled)
{
    if (m_takePictureButton)
        m_takePictureButton->setEnabled(enabled);
}

void LumivueViewController::setCaptureButtonEnabled(bool enabled)
{
    if (m_captureButton)
        m_captureButton->setEnabled(enabled);
}

void LumivueViewController::setCaptureButtonImage(const QImage& image)
{
    if (!m_captureButton)
        return;
    const QSizeF size = m_captureButton->bounds().size();
    const qreal scale = platform::Screen::main().scale();
    // A photo that is gone shows the empty-album symbol rather than a blank control.
    m_captureButton->setImage(image.isNull()
                                  ? ButtonArt::albumPlaceholder(size.width(), scale)
                                  : thumbnailArt(image, size, m_captureButton->layer().cornerRadius(), scale));
}

void LumivueViewController::presentImageViewer(std::unique_ptr<photos::ViewImageController> viewer)
{
    presentModalViewController(std::move(viewer), true);
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

QImage LumivueViewController::thumbnailArt(const QImage& thumbnail, QSizeF points, qreal cornerRadius, qreal scale)
{
    const QSize pixels = (points * scale).toSize();
    if (thumbnail.isNull() || pixels.isEmpty())
        return {};
    // Aspect fill: scale so the thumbnail covers the whole control, then keep the centre.
    const QImage filled = thumbnail.scaled(pixels, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    const QRect centre(QPoint((filled.width() - pixels.width()) / 2, (filled.height() - pixels.height()) / 2), pixels);

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
