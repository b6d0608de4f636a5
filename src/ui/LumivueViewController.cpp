// LumivueViewController: construction, the view lifecycle and the screen hooks of CameraScope.

#include "ui/LumivueViewController.h"

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
    platform::logLine(QStringLiteral("LumivueViewController dealoc"));
    stopObservingOrientation();
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
    if (!hasLastImageURL())
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
    if (hasLastImageURL())
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
    platform::logLine(QStringLiteral("LumivueViewController viewDidUnload"));
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

// ---- Photos ----

void LumivueViewController::takePicture()
{
    platform::logLine(QStringLiteral("Shutter: still photos are not available in this build"));
}

void LumivueViewController::photoAlbum()
{
    platform::logLine(QStringLiteral("Album: no photos in this build"));
}

void LumivueViewController::setLastPhotoURL() { }

void LumivueViewController::updateThumb() { }

} // namespace ui
