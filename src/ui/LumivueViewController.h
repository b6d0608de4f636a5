#pragma once

// The camera screen: the live preview with the scope over it, the option panel, the shutter,
// the album thumbnail, the torch and camera switches, the grid toggle and the two sliders. It
// builds its interface in code (loadView), runs the screen's set-up when the view loads, starts
// and stops the camera and the location updates as it appears and disappears, and turns its
// buttons in place when the device turns (the interface itself stays in portrait).
//
// Every control's accessibility name is its field name (previewView, takePictureButton,
// captureButton, cameraButton, torchButton, NVButton, sliderZoom, sliderNVLevel,
// controllHUDView, controllView, controllScreenView, bEnlight, bColorSpace, bPreset), so
// scripted control reaches them by name.
//
// The photos level below it takes the stills, keeps the last photo and opens the viewer; the
// screen answers its hooks with the shutter, the album control (the thumbnail), a modal
// presentation and the location manager's newest fix.
//
// Threads: every member function on the GUI thread, except the CameraScope hooks the header of
// CameraScope marks otherwise (zoomValue is read on the frame queue, from an atomic). The photo
// hooks are called on the GUI thread only.
//
// Lifetime: the destructor logs "LumivueViewController dealoc", removes the orientation
// observer, lets a still being saved finish, and stops the timer thread and the camera (joined)
// before any member goes.

#include <atomic>
#include <memory>
#include <optional>

#include <QImage>
#include <QSizeF>
#include <QString>
#include <QTransform>

#include "photos/PhotoCapture.h"
#include "platform/core/NotificationCenter.h"
#include "platform/ui/ViewController.h"
#include "ui/ScreenLayout.h"

namespace platform {
class Button;
class CaptureBackend;
class ImageView;
class LocationManager;
class Slider;
class View;
} // namespace platform

namespace ui {

class HUDView;
class OptionButton;

class LumivueViewController : public platform::ViewController, public photos::PhotoCapture {
public:
    // `backend` supplies the cameras; null runs the screen without a camera (it says so on the
    // scope).
    explicit LumivueViewController(std::shared_ptr<platform::CaptureBackend> backend = nullptr);
    ~LumivueViewController() override;

    // ---- View lifecycle ----
    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void viewDidUnload() override;

    // ---- Orientation and the option panel ----
    // Creates the option buttons on the panel the first time, re-places and shows them after, and
    // sizes the panel: 232 × 128 points on a phone (Enlight, Color, Preset), 222 × 88 on a tablet.
    void updateOptionButtonVisibility();
    // Turns captureButton, cameraButton, takePictureButton and NVButton in place over 0.5 s
    // (animation "chanheOrientation"), then turns and re-anchors the panel.
    void orientationChanged(const platform::Notification& notification);
    // Only portrait (1): the interface never rotates as a whole.
    bool shouldAutorotateToInterfaceOrientation(int interfaceOrientation) const;
    // The turn for a device orientation code: 2 → π, 3 → +π/2, 4 → −π/2, anything else identity.
    static QTransform rotationForOrientation(int deviceOrientation);

    // The album control's picture of a thumbnail: it fills `points` (cropped to its shape around
    // the centre, never stretched), at `scale` pixels per point, with corners rounded by
    // `cornerRadius` (transparent outside them). A null thumbnail gives a null image.
    static QImage thumbnailArt(const QImage& thumbnail, QSizeF points, qreal cornerRadius, qreal scale);

    // ---- Outlets (null while the view is not loaded) ----
    platform::View* previewView() const { return m_previewView; }
    platform::Button* takePictureButton() const { return m_takePictureButton; }
    platform::Button* captureButton() const { return m_captureButton; }
    platform::Button* cameraButton() const { return m_cameraButton; }
    platform::Button* torchButton() const { return m_torchButton; }
    platform::Button* NVButton() const { return m_NVButton; }
    platform::Slider* sliderZoom() const { return m_sliderZoom; }
    platform::Slider* sliderNVLevel() const { return m_sliderNVLevel; }
    platform::View* controllView() const { return m_controllView; }
    platform::View* controllScreenView() const { return m_controllScreenView; }
    HUDView* controllHUDView() const { return m_controllHUDView; }
    OptionButton* bEnlight() const { return m_bEnlight; }
    OptionButton* bColorSpace() const { return m_bColorSpace; }
    OptionButton* bPreset() const { return m_bPreset; }
    platform::LocationManager* locationManager() const { return m_locationManager.get(); }

protected:
    // CameraScope hooks, answered by the screen's controls and the device.
    void setLevelSliderHidden(bool hidden) override;
    void setLevelSliderValue(float value, bool animated) override;
    float levelSliderValue() const override;
    float zoomValue() const override { return m_zoom.load(std::memory_order_relaxed); }
    void playSystemSound(int soundId) override;
    float mainScreenScale() const override;
    bool isTabletInterface() const override;
    int deviceOrientation() const override;
    std::shared_ptr<platform::Layer> previewViewLayer() override;
    void setCameraButtonHidden(bool hidden) override;
    void setTorchButtonHidden(bool hidden) override;
    void setSideControlsHidden(bool hidden) override;

    // PhotoCapture hooks.
    void setTakePictureButtonEnabled(bool enabled) override;
    void setCaptureButtonEnabled(bool enabled) override;
    void setCaptureButtonImage(const QImage& image) override;
    void presentImageViewer(std::unique_ptr<photos::ViewImageController> viewer) override;
    std::optional<photos::Location> lastLocationFix() const override;

private:
    void buildInterface(const ScreenLayout& layout);
    void connectControls();
    void observeOrientation();
    void stopObservingOrientation();
    void clearOutlets();

    // Outlets: views of the interface, owned by the view tree (cleared when it goes).
    platform::View* m_previewView { nullptr };
    platform::Button* m_NVButton { nullptr };
    platform::Button* m_captureButton { nullptr };
    platform::Button* m_cameraButton { nullptr };
    platform::Button* m_takePictureButton { nullptr };
    platform::Button* m_torchButton { nullptr };
    platform::Slider* m_sliderZoom { nullptr };
    platform::Slider* m_sliderNVLevel { nullptr };
    platform::View* m_levelCaption { nullptr }; // shown with sliderNVLevel
    platform::View* m_controllView { nullptr };
    platform::View* m_controllScreenView { nullptr };
    HUDView* m_controllHUDView { nullptr };
    // The option buttons, owned by the panel.
    OptionButton* m_bEnlight { nullptr };
    OptionButton* m_bColorSpace { nullptr };
    OptionButton* m_bPreset { nullptr };

    std::unique_ptr<platform::LocationManager> m_locationManager;
    platform::NotificationCenter::Token m_orientationObserver { 0 };
    // sliderZoom's value, read by the frame queue and the drawing.
    std::atomic<float> m_zoom { 0.0f };
};

} // namespace ui
