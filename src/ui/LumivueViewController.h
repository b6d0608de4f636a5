#pragma once

// The camera screen: the live preview with the scope over it, the option panel, the shutter,
// the album thumbnail, the torch and camera switches, the night-mode toggle, the grid toggle and
// the two sliders. It
// builds its interface in code (loadView), runs the screen's set-up when the view loads, starts
// and stops the camera and the location updates as it appears and disappears, and turns its
// buttons in place when the device turns (the interface itself stays in portrait).
//
// Every control's accessibility name is its field name (previewView, takePictureButton,
// captureButton, cameraButton, torchButton, denoiseButton, NVButton, sliderZoom, sliderNVLevel,
// controllHUDView, controllView, controllScreenView, bEnlight, bColorSpace, bPreset), so
// scripted control reaches them by name.
//
// The work is done by parts it owns and wires together: the settings, the geometry, the frame
// pipeline (frame delegate, slot, enhancement, timer), the camera and the scope renderer of the
// imaging library; the photo saver and the last photo of the photos library. They know nothing of
// controls or sounds: the screen reacts to their signals (a redraw due, a still handed on, a photo
// saved or refused, a new thumbnail), updates the controls, plays the click and shows alerts.
//
// Threads: every member function on the GUI thread. The parts' own headers say which of their
// members run elsewhere (the frame queue, the timer thread, the camera's still thread, the
// album's thread); the timer's redraw signals are connected directly and only ask layers to
// redraw, and the photo signals arrive on the GUI thread.
//
// Lifetime: the destructor logs "LumivueViewController dealoc", removes the orientation
// observer, lets a still being saved finish, and stops the timer thread and the camera (joined)
// before any member goes.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

#include <QImage>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QTransform>

#include "imaging/FramePipeline.h"
#include "imaging/ScopeCamera.h"
#include "imaging/ScopeGeometry.h"
#include "imaging/ScopeRenderer.h"
#include "imaging/ScopeSettings.h"
#include "photos/LastPhoto.h"
#include "photos/Location.h"
#include "photos/PhotoSaver.h"
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

class LumivueViewController : public platform::ViewController {
public:
    // `backend` supplies the cameras; null runs the screen without a camera (it says so on the
    // scope).
    explicit LumivueViewController(std::shared_ptr<platform::CaptureBackend> backend = nullptr);
    ~LumivueViewController() override;

    static constexpr int kClickSound = 1104;
    static inline const QString kTakePictureEvent = QStringLiteral("TAKE_PICTURE");

    // Where photos go (see LastPhoto::setAlbumDirectory); before the screen loads.
    void setAlbumDirectory(const QString& directory) { m_lastPhoto.setAlbumDirectory(directory); }
    QString albumDirectory() const { return m_lastPhoto.albumDirectory(); }

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
    // Turns captureButton, cameraButton, takePictureButton, NVButton and denoiseButton in place over 0.5 s
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

    // ---- Enhancement controls ----
    // "Enlight" chooser: 0 Auto, 1 Manual, 2 Off; any other item changes no setting. The level
    // slider shows in manual mode only, starting at the level the automatic mode left. Click.
    void enlightChange(int item);
    // "Color" chooser: the item becomes the colour filter. Click.
    void colorSpaceChange(int item);
    // The level slider moved: in manual mode the level follows it, truncated toward zero.
    void sliderNVAction(float value);
    // The level slider was let go: it comes to rest, animated, on the integer level.
    void sliderNVFinish();

    // ---- Camera controls ----
    // "Preset" chooser: 0 Low, 1 Med, 2 High, 3 Photo; either way the geometry is recomputed from
    // the next picture.
    void presetChange(int item);
    // Swaps the back and front cameras (keeps the only one there is).
    void changeCamera();
    // Shows torchButton only when the camera in use has a torch and the grid toggle has not
    // hidden the side controls.
    void checkTorch();
    // Toggles the torch of the camera in use; click sound in every case.
    void changeScopeTorch();
    // Hides or shows the side controls, in turn; click sound; overlay redraw.
    void changeScopeGrid();
    // Night mode on or off (denoiseButton): the scope is filtered over time before the gain and
    // its mode label says so. Click sound; overlay redraw. The filter starts afresh when it comes
    // on, and again whenever the camera, the preset, the zoom or the torch changes.
    void changeNightMode();
    std::int32_t scopeGridType() const { return m_scopeGridType; }

    // ---- Photos ----
    // The shutter's action: disables the shutter, logs "TAKE_PICTURE", requests one still. A
    // tap while the previous still has not yet been handed to the album does nothing.
    void takePicture();
    // The album control's action: click sound; with a last photo, presents the viewer on it.
    void photoAlbum();
    // Looks the last photo up again / scans the album for it (LastPhoto).
    void updateThumb() { m_lastPhoto.updateThumb(); }
    void setLastPhotoURL() { m_lastPhoto.setLastPhotoURL(); }
    platform::AssetURL lastImageURL() const { return m_lastPhoto.lastImageURL(); }

    // ---- The parts ----
    imaging::ScopeSettings& settings() { return m_settings; }
    const imaging::ScopeGeometry& geometry() const { return m_geometry; }
    imaging::FramePipeline& pipeline() { return m_pipeline; }
    const imaging::ScopeCamera& camera() const { return m_camera; }
    imaging::ScopeRenderer& renderer() { return m_renderer; }
    photos::LastPhoto& lastPhoto() { return m_lastPhoto; }

    // Shortcuts to the fields the Parts name on the screen.
    std::int32_t scopeNightVisionMode() const { return m_settings.scopeNightVisionMode(); }
    std::int32_t scopeNightVisionLevel() const { return m_settings.scopeNightVisionLevel(); }
    std::int32_t scopeNightVisionThread() const { return m_settings.scopeNightVisionThread(); }
    std::int32_t scopeNightVisionColorFilter() const { return m_settings.scopeNightVisionColorFilter(); }
    std::int32_t scopePixelSize() const { return m_geometry.scopePixelSize(); }
    std::int32_t scopeScreenRadius() const { return m_geometry.scopeScreenRadius(); }
    imaging::ImageSlot& qImage() { return m_pipeline.qImage(); }
    bool isTimerThreadRunning() const { return m_pipeline.isTimerThreadRunning(); }
    const std::shared_ptr<platform::CaptureSession>& session() const { return m_camera.session(); }
    imaging::LivePreviewLayer* previewLayer() const { return m_camera.previewLayer(); }
    QString cameraMessage() const { return m_camera.cameraMessage(); }
    const std::shared_ptr<platform::Layer>& scopeImageLayer() const { return m_renderer.scopeImageLayer(); }
    const std::shared_ptr<platform::Layer>& scopeGridLayer() const { return m_renderer.scopeGridLayer(); }

    // ---- Outlets (null while the view is not loaded) ----
    platform::View* previewView() const { return m_previewView; }
    platform::Button* takePictureButton() const { return m_takePictureButton; }
    platform::Button* captureButton() const { return m_captureButton; }
    platform::Button* cameraButton() const { return m_cameraButton; }
    platform::Button* torchButton() const { return m_torchButton; }
    platform::Button* NVButton() const { return m_NVButton; }
    platform::Button* denoiseButton() const { return m_denoiseButton; }
    platform::Slider* sliderZoom() const { return m_sliderZoom; }
    platform::Slider* sliderNVLevel() const { return m_sliderNVLevel; }
    platform::View* controllView() const { return m_controllView; }
    platform::View* controllScreenView() const { return m_controllScreenView; }
    HUDView* controllHUDView() const { return m_controllHUDView; }
    OptionButton* bEnlight() const { return m_bEnlight; }
    OptionButton* bColorSpace() const { return m_bColorSpace; }
    OptionButton* bPreset() const { return m_bPreset; }
    platform::LocationManager* locationManager() const { return m_locationManager.get(); }

private:
    void buildInterface(const ScreenLayout& layout);
    void connectControls();
    void observeOrientation();
    void stopObservingOrientation();
    void clearOutlets();
    void wireParts();
    void setLevelSliderHidden(bool hidden);
    void setLevelSliderValue(float value, bool animated);
    void setCameraButtonHidden(bool hidden);
    void setTorchButtonHidden(bool hidden);
    // denoiseButton's art and selection from the night-mode setting.
    void showNightMode();
    // controllHUDView, torchButton, cameraButton and denoiseButton together (changeScopeGrid).
    void setSideControlsHidden(bool hidden);
    void setTakePictureButtonEnabled(bool enabled);
    void showThumbnail(const QImage& thumbnail);
    std::shared_ptr<platform::Layer> previewViewLayer() const;
    QRectF previewViewBounds() const;
    std::optional<photos::Location> lastLocationFix() const;
    void shutdownScope();

    // Outlets: views of the interface, owned by the view tree (cleared when it goes).
    platform::View* m_previewView { nullptr };
    platform::Button* m_NVButton { nullptr };
    platform::Button* m_captureButton { nullptr };
    platform::Button* m_cameraButton { nullptr };
    platform::Button* m_takePictureButton { nullptr };
    platform::Button* m_torchButton { nullptr };
    platform::Button* m_denoiseButton { nullptr };
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
    std::int32_t m_scopeGridType { 0 };
    bool m_shutterPressed { false }; // a still is requested and not yet handed on

    // The parts, in the order they depend on each other; the destructor stops the threads
    // (shutdownScope, the photo saver) before any of them goes.
    imaging::ScopeSettings m_settings;
    imaging::ScopeGeometry m_geometry;
    imaging::FramePipeline m_pipeline { m_settings, m_geometry };
    imaging::ScopeCamera m_camera;
    imaging::ScopeRenderer m_renderer { m_settings, m_geometry, m_pipeline, m_camera };
    photos::LastPhoto m_lastPhoto;
    photos::PhotoSaver m_photoSaver { m_settings, m_pipeline, m_lastPhoto };
};

} // namespace ui
