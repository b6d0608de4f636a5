#pragma once

// The camera screen's controller: the live preview with the scope over it, the option panel, the
// shutter, the album thumbnail, the torch and camera switches, the night-mode toggle, the grid
// toggle and the two sliders. The controls themselves are Qt Quick items (qrc:/lumivue/Main.qml);
// they show this object's properties and call its actions, which keep the names the controls'
// actions have always had. It starts and stops the camera and the location updates as the screen
// appears and disappears (the viewer over it, the app in the background), and the controls turn in
// place when the device turns while the interface itself stays in portrait.
//
// Every control's objectName is its field name (previewView, takePictureButton, captureButton,
// cameraButton, torchButton, denoiseButton, NVButton, sliderZoom, sliderNVLevel, controllHUDView,
// controllView, controllScreenView, bEnlight, bColorSpace, bPreset), so scripted control reaches
// them by name.
//
// The work is done by parts it owns and wires together: the settings, the geometry, the frame
// pipeline (frame delegate, slot, enhancement, timer), the camera and the scope renderer of the
// imaging library; the photo saver and the last photo of the photos library. They know nothing of
// controls or sounds: the screen reacts to their signals (a redraw due, a still handed on, a photo
// saved or refused, a new thumbnail), updates its properties, plays the click and shows alerts.
//
// Threads: every member function on the GUI thread. The parts' own headers say which of their
// members run elsewhere (the frame queue, the timer thread, the camera's still thread, the
// album's thread); the timer's redraw requests are posted to the GUI thread, at most one of each
// kind waiting, and the photo signals arrive on the GUI thread.
//
// Lifetime: the destructor logs "LumivueViewController dealoc", removes the orientation
// observer, lets a still being saved finish, and stops the timer thread and the camera (joined)
// before any member goes.

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QSizeF>
#include <QString>
#include <QTimer>
#include <QTransform>

#include "imaging/FramePipeline.h"
#include "imaging/ScopeCamera.h"
#include "imaging/ScopeGeometry.h"
#include "imaging/ScopeRenderer.h"
#include "imaging/ScopeSettings.h"
#include "photos/LastPhoto.h"
#include "photos/Location.h"
#include "photos/PhotoSaver.h"
#include "photos/VideoSaver.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/ThreadChecker.h"

class QQuickItem;

namespace platform {
class CaptureBackend;
class LocationManager;
} // namespace platform

namespace ui {

class CameraPreviewItem;
class PictureItem;

class LumivueViewController : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool tablet READ isTablet CONSTANT)
    Q_PROPERTY(qreal screenScale READ screenScale CONSTANT)
    Q_PROPERTY(int scopeSize READ scopePixelSize NOTIFY scopeSizeChanged)
    Q_PROPERTY(bool levelSliderHidden READ isLevelSliderHidden NOTIFY controlsChanged)
    Q_PROPERTY(bool torchHidden READ isTorchHidden NOTIFY controlsChanged)
    Q_PROPERTY(bool cameraButtonHidden READ isCameraButtonHidden NOTIFY controlsChanged)
    Q_PROPERTY(bool sideControlsHidden READ areSideControlsHidden NOTIFY controlsChanged)
    Q_PROPERTY(bool nightMode READ isNightMode NOTIFY controlsChanged)
    Q_PROPERTY(bool shutterEnabled READ isShutterEnabled NOTIFY controlsChanged)
    Q_PROPERTY(int deviceOrientation READ deviceOrientation NOTIFY deviceOrientationChanged)
    Q_PROPERTY(QImage thumbnail READ thumbnail NOTIFY thumbnailChanged)
    Q_PROPERTY(bool hasThumbnail READ hasThumbnail NOTIFY thumbnailChanged)
    Q_PROPERTY(QString viewerPhoto READ viewerPhoto NOTIFY viewerChanged)
    Q_PROPERTY(QString albumDirectory READ albumDirectory CONSTANT)
    Q_PROPERTY(QString alertTitle READ alertTitle NOTIFY alertChanged)
    Q_PROPERTY(QString alertMessage READ alertMessage NOTIFY alertChanged)
    Q_PROPERTY(QString alertButton READ alertButton NOTIFY alertChanged)
    Q_PROPERTY(bool alertShown READ isAlertShown NOTIFY alertChanged)
    Q_PROPERTY(int timerSeconds READ timerSeconds NOTIFY timerChanged)
    Q_PROPERTY(int countdown READ countdown NOTIFY countdownChanged)
    Q_PROPERTY(bool videoMode READ isVideoMode NOTIFY captureModeChanged)
    Q_PROPERTY(bool recording READ isRecording NOTIFY recordingChanged)
    Q_PROPERTY(int recordingSeconds READ recordingSeconds NOTIFY recordingSecondsChanged)

public:
    // `backend` supplies the cameras; null runs the screen without a camera (it says so on the
    // scope).
    explicit LumivueViewController(std::shared_ptr<platform::CaptureBackend> backend = nullptr);
    ~LumivueViewController() override;

    static constexpr int kClickSound = 1104;
    static inline const QString kTakePictureEvent = QStringLiteral("TAKE_PICTURE");
    // Logged when a recording ends, with its length: {"seconds": whole seconds}.
    static inline const QString kTakeVideoEvent = QStringLiteral("TAKE_VIDEO");

    // Where photos go (see LastPhoto::setAlbumDirectory); before the screen loads.
    void setAlbumDirectory(const QString& directory) { m_lastPhoto.setAlbumDirectory(directory); }
    QString albumDirectory() const { return m_lastPhoto.albumDirectory(); }

    // ---- Lifecycle ----
    // The screen's items, once the QML has made them: the live picture and the scope's two
    // pictures. Before viewDidLoad.
    Q_INVOKABLE void attachItems(QQuickItem* preview, QQuickItem* scopeImage, QQuickItem* scopeGrid);
    // The screen's size in points and the scope's side that fits it; the geometry follows.
    Q_INVOKABLE void setViewSize(qreal width, qreal height, int scopeSide);
    // Sets the screen up and starts the camera, the location updates, the orientation observer
    // and the timer.
    void viewDidLoad();
    // The screen shows again (the viewer closed, back from the background): camera and location
    // run again, the thumbnail is looked up.
    void viewWillAppear();
    // Something covers the screen: the camera (released) and the location updates stop.
    void viewWillDisappear();

    // ---- Orientation ----
    // The turn of the individual controls and of the panel for a device orientation code:
    // 2 → π, 3 → +π/2, 4 → −π/2, anything else identity.
    static QTransform rotationForOrientation(int deviceOrientation);
    int deviceOrientation() const { return m_deviceOrientation; }
    // Only portrait (1): the interface never rotates as a whole.
    bool shouldAutorotateToInterfaceOrientation(int interfaceOrientation) const
    {
        return interfaceOrientation == 1;
    }

    // The album control's picture of a thumbnail: it fills `points` (cropped to its shape around
    // the centre, never stretched), at `scale` pixels per point, with corners rounded by
    // `cornerRadius` (transparent outside them). A null thumbnail gives a null image.
    static QImage thumbnailArt(const QImage& thumbnail, QSizeF points, qreal cornerRadius, qreal scale);
    Q_INVOKABLE QImage thumbnailArtSized(qreal width, qreal height, qreal cornerRadius) const;
    // A button's symbol (ButtonArt::named), `points` square, sharp at the screen scale.
    Q_INVOKABLE QImage buttonArt(const QString& name, qreal points) const;

    // ---- Enhancement controls ----
    // "Enlight" chooser: 0 Auto, 1 Manual, 2 Off; any other item changes no setting. The level
    // slider shows in manual mode only, starting at the level the automatic mode left. Click.
    Q_INVOKABLE void enlightChange(int item);
    // "Color" chooser: the item becomes the colour filter. Click.
    Q_INVOKABLE void colorSpaceChange(int item);
    // The level slider moved: in manual mode the level follows it, truncated toward zero.
    Q_INVOKABLE void sliderNVAction(float value);
    // The level slider was let go: it comes to rest, animated, on the integer level.
    Q_INVOKABLE void sliderNVFinish();
    // The zoom slider moved: the scope magnifies; the night filter starts afresh.
    Q_INVOKABLE void sliderZoomAction(float value);

    // ---- Camera controls ----
    // "Preset" chooser: 0 Low, 1 Med, 2 High, 3 Photo; either way the geometry is recomputed from
    // the next picture.
    Q_INVOKABLE void presetChange(int item);
    // Swaps the back and front cameras (keeps the only one there is).
    Q_INVOKABLE void changeCamera();
    // Shows torchButton only when the camera in use has a torch and the grid toggle has not
    // hidden the side controls.
    void checkTorch();
    // Toggles the torch of the camera in use; click sound in every case.
    Q_INVOKABLE void changeScopeTorch();
    // Hides or shows the side controls, in turn; click sound; overlay redraw.
    Q_INVOKABLE void changeScopeGrid();
    // Night mode on or off (denoiseButton): the scope is filtered over time before the gain and
    // its mode label says so. Click sound; overlay redraw. The filter starts afresh when it comes
    // on, and again whenever the camera, the preset, the zoom or the torch changes.
    Q_INVOKABLE void changeNightMode();
    std::int32_t scopeGridType() const { return m_scopeGridType; }

    // ---- Photos and videos ----
    // The shutter's action. With the self-timer off: disables the shutter, logs "TAKE_PICTURE",
    // requests one still; a tap while the previous still has not yet been handed to the album
    // does nothing. With it set: starts the countdown ("Self-timer: N s"), at whose end the photo
    // is taken so; a tap while it counts cancels it. In video mode the photo is a recording
    // instead: started (after the countdown, if set), and stopped by the next tap.
    Q_INVOKABLE void takePicture();
    // The photo/video switch (captureModeButton); not while recording. Click.
    Q_INVOKABLE void changeCaptureMode();
    bool isVideoMode() const { return m_videoMode; }
    bool isRecording() const { return m_videoSaver.isRecording(); }
    // Whole seconds recorded so far; 0 when not recording.
    int recordingSeconds() const { return m_recordingSeconds; }
    // Whether recordings take sound from the microphone (`--no-audio` turns it off).
    void setAudioEnabled(bool enabled) { m_audioEnabled = enabled; }
    // Stops a recording under way and stores it; nothing otherwise. The background, a camera or
    // preset change, the viewer and a lost camera stop it too.
    void stopRecording();
    // The self-timer control: Off → 3 s → 10 s → Off. Click.
    Q_INVOKABLE void changeTimer();
    // 0 (off), 3 or 10; anything else is taken as off. The app keeps it between starts.
    void setTimerSeconds(int seconds);
    int timerSeconds() const { return m_timerSeconds; }
    // The whole seconds left before the self-timer takes the photo; 0 when none is counting.
    int countdown() const { return m_countdown; }
    // Stops a countdown under way ("Self-timer cancelled"); the photo is not taken.
    Q_INVOKABLE void cancelCountdown();
    // The album control's action: click sound; with a last photo, opens the viewer on it (the
    // camera stops while it is open).
    Q_INVOKABLE void photoAlbum();
    // The viewer's Done: the camera screen shows again.
    Q_INVOKABLE void closeViewer();
    QString viewerPhoto() const { return m_viewerPhoto; }
    // Looks the last photo up again / scans the album for it (LastPhoto).
    void updateThumb() { m_lastPhoto.updateThumb(); }
    void setLastPhotoURL() { m_lastPhoto.setLastPhotoURL(); }
    platform::AssetURL lastImageURL() const { return m_lastPhoto.lastImageURL(); }
    QImage thumbnail() const { return m_thumbnail; }
    bool hasThumbnail() const { return !m_thumbnail.isNull(); }

    // ---- Alerts ----
    // Shows a one-button alert (queued behind one already shown) and logs "Alert: title: message
    // [button]".
    void presentAlert(const QString& title, const QString& message, const QString& button);
    // The alert's button: the next alert, if any, shows.
    Q_INVOKABLE void dismissAlert();
    QString alertTitle() const { return m_alerts.empty() ? QString() : m_alerts.front().title; }
    QString alertMessage() const { return m_alerts.empty() ? QString() : m_alerts.front().message; }
    QString alertButton() const { return m_alerts.empty() ? QString() : m_alerts.front().button; }
    bool isAlertShown() const { return !m_alerts.empty(); }

    // ---- State the controls show ----
    bool isTablet() const;
    qreal screenScale() const { return m_geometry.screenScale(); }
    bool isLevelSliderHidden() const { return m_levelSliderHidden; }
    bool isTorchHidden() const { return m_torchHidden; }
    bool isCameraButtonHidden() const { return m_cameraButtonHidden; }
    bool areSideControlsHidden() const { return m_sideControlsHidden; }
    bool isNightMode() const { return m_settings.isNightMode(); }
    // In video mode the shutter always starts or stops a recording.
    bool isShutterEnabled() const { return m_videoMode || m_shutterEnabled; }

    // ---- The parts ----
    imaging::ScopeSettings& settings() { return m_settings; }
    const imaging::ScopeGeometry& geometry() const { return m_geometry; }
    imaging::FramePipeline& pipeline() { return m_pipeline; }
    const imaging::ScopeCamera& camera() const { return m_camera; }
    imaging::ScopeRenderer& renderer() { return m_renderer; }
    photos::LastPhoto& lastPhoto() { return m_lastPhoto; }
    platform::LocationManager* locationManager() const { return m_locationManager.get(); }

    // Shortcuts to the fields the screen is known by.
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

signals:
    void controlsChanged();
    void scopeSizeChanged();
    void deviceOrientationChanged();
    void thumbnailChanged();
    void viewerChanged();
    void alertChanged();
    // The level slider goes to `value`, gliding when `animated`.
    void levelSliderSet(float value, bool animated);
    void timerChanged();
    void countdownChanged();
    void captureModeChanged();
    void recordingChanged();
    void recordingSecondsChanged();

private:
    struct Alert {
        QString title;
        QString message;
        QString button;
    };

    void wireParts();
    void observeOrientation();
    void stopObservingOrientation();
    void orientationChanged(int orientation);
    void setLevelSliderHidden(bool hidden);
    void setCameraButtonHidden(bool hidden);
    void setTorchButtonHidden(bool hidden);
    // controllHUDView, torchButton, cameraButton and denoiseButton together (changeScopeGrid).
    void setSideControlsHidden(bool hidden);
    void setTakePictureButtonEnabled(bool enabled);
    // The shutter's photo itself, at once (the self-timer's end, or no self-timer).
    void captureNow();
    void countdownTick();
    // The countdown's end or the shutter: a photo, or a recording started or stopped.
    void shutterNow();
    void startRecording();
    void recordingTick();
    void showThumbnail(const QImage& thumbnail);
    void click();
    // Background and foreground: the camera, the timer and the location stop and start again.
    void applicationStateChanged(Qt::ApplicationState state);
    void redrawOverlay();
    void redrawPicture();
    std::optional<photos::Location> lastLocationFix() const;
    void shutdownScope();

    QPointer<CameraPreviewItem> m_previewItem;
    QPointer<PictureItem> m_scopeImageItem;
    QPointer<PictureItem> m_scopeGridItem;
    // A redraw posted to the GUI thread and not yet done: the timer never queues a second one.
    std::atomic<bool> m_overlayRedrawPosted { false };
    std::atomic<bool> m_pictureRedrawPosted { false };

    std::unique_ptr<platform::LocationManager> m_locationManager;
    platform::NotificationCenter::Token m_orientationObserver { 0 };
    std::int32_t m_scopeGridType { 0 };
    int m_deviceOrientation { 1 };
    bool m_shutterPressed { false }; // a still is requested and not yet handed on
    bool m_loaded { false };
    bool m_running { false }; // the camera runs: loaded, in front, not covered by the viewer
    bool m_inBackground { false };
    bool m_levelSliderHidden { true };
    bool m_torchHidden { true };
    bool m_cameraButtonHidden { true }; // found cameras decide whether it shows
    bool m_sideControlsHidden { false };
    bool m_shutterEnabled { true };
    int m_timerSeconds { 0 };
    int m_countdown { 0 };
    QTimer m_countdownTimer;
    bool m_videoMode { false };
    bool m_audioEnabled { true };
    int m_recordingSeconds { 0 };
    QTimer m_recordingTimer; // the elapsed time, and a look for a lost camera
    QImage m_thumbnail;
    QString m_viewerPhoto;
    std::deque<Alert> m_alerts;
    [[no_unique_address]] platform::ThreadChecker m_guiThread;

    // The parts, in the order they depend on each other; the destructor stops the threads
    // (shutdownScope, the photo saver) before any of them goes.
    imaging::ScopeSettings m_settings;
    imaging::ScopeGeometry m_geometry;
    imaging::FramePipeline m_pipeline { m_settings, m_geometry };
    imaging::ScopeCamera m_camera;
    imaging::ScopeRenderer m_renderer { m_settings, m_geometry, m_pipeline, m_camera };
    photos::LastPhoto m_lastPhoto;
    photos::PhotoSaver m_photoSaver { m_settings, m_pipeline, m_lastPhoto };
    photos::VideoSaver m_videoSaver { m_pipeline, m_lastPhoto };
};

} // namespace ui
