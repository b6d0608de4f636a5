#pragma once

// The photos level of the camera screen controller: taking a still, enhancing it at full size,
// giving it its metadata and saving it to the album; the last photo with its thumbnail on the
// album control; opening the photo viewer. The screen above implements the protected hooks
// (shutter and album control, presenting the viewer, the last location fix).
//
// The road of one photo (threads in brackets):
//   takePicture [main] → captureStillImage [main] → capture completion [camera still thread]:
//   enhance, metadata, start the album write, stopTakingPicture → album-write completion
//   [album thread]: last photo, thumbnail lookup [album thread] → hooks [main].
//
// Threads:
// - takePicture, captureStillImage, startTakingPicture, setLastPhotoURL, photoAlbum,
//   setAlbumDirectory, shutdownPhotoCapture: the main (GUI) thread.
// - stopTakingPicture, updateThumb, lastImageURL: any thread.
// - Every screen hook is called on the main thread only: work finishing on the camera's or the
//   album's thread posts its screen effects to the main thread's event loop.
//
// Lifetime: the destructor (and shutdownPhotoCapture, which a screen whose hooks read its own
// members calls first in its own destructor) waits for a still being processed, lets the album
// finish what it started, and drops screen effects not yet delivered.

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include <QImage>
#include <QString>

#include "imaging/CameraScope.h"
#include "photos/Location.h"
#include "platform/album/AssetURL.h"
#include "platform/core/MetadataDictionary.h"

class QObject;

namespace platform {
class AssetsLibrary;
class SampleBuffer;
} // namespace platform

namespace photos {

class LifetimeGate;
class ViewImageController;

class PhotoCapture : public imaging::CameraScope {
public:
    // Make, model and software of every saved photo.
    static inline const QString kMakeModelSoftware = QStringLiteral("Lumivue+");
    static inline const QString kTakePictureEvent = QStringLiteral("TAKE_PICTURE");

    PhotoCapture();
    ~PhotoCapture() override;

    // ---- Album ----

    // Where photos go: `lumivue --album DIR` (created by the host when missing), or the user's default
    // album for an empty text. Main thread, before the screen loads (no photo under way).
    void setAlbumDirectory(const QString& directory);
    QString albumDirectory() const;

    // ---- Still capture ----

    // The shutter's action: disables the shutter, logs "TAKE_PICTURE", requests one still. A
    // tap while the previous still has not yet been handed to the album does nothing.
    void takePicture();
    // Requests one full-size still from the video connection of the still output; returns at
    // once. Without such a connection nothing is taken and the shutter is enabled again.
    void captureStillImage();
    void startTakingPicture();
    // Clears the taking-picture flag at once; the shutter is enabled on the main thread.
    void stopTakingPicture();

    // Image orientation code of a photo taken with the device in `deviceOrientation`:
    // portrait 3 (right), upside down 2 (left), landscape left 0 (up), landscape right 1
    // (down), anything else 3.
    static int imageOrientationForDeviceOrientation(int deviceOrientation);

    // ---- Last photo and album control ----

    // Scans the album and takes its newest photo as the last photo (then updateThumb). An empty
    // or unreadable album leaves the last photo as it was.
    void setLastPhotoURL();
    // Looks the last photo up and shows its thumbnail on the album control; a photo deleted
    // meanwhile clears the image and leaves the control enabled.
    void updateThumb();
    // The album control's action: click sound; with a last photo, presents the viewer on it.
    void photoAlbum();
    platform::AssetURL lastImageURL() const;

    // Waits for a still in progress, finishes the album's work and stops delivering screen
    // effects. Idempotent; main thread.
    void shutdownPhotoCapture();

protected:
    // Screen hooks (main thread).
    virtual void setTakePictureButtonEnabled(bool enabled) { static_cast<void>(enabled); }
    virtual void setCaptureButtonEnabled(bool enabled) { static_cast<void>(enabled); }
    // A null image clears the control's image.
    virtual void setCaptureButtonImage(const QImage& image) { static_cast<void>(image); }
    // Presents the viewer modally over the screen (the screen owns it while it is shown).
    virtual void presentImageViewer(std::unique_ptr<ViewImageController> viewer) { static_cast<void>(viewer); }
    // The location manager's newest fix; none when there is no manager or no fix yet.
    virtual std::optional<Location> lastLocationFix() const { return std::nullopt; }

private:
    struct StillRequest {
        int deviceOrientation { 0 };
        std::optional<Location> location;
    };

    void processStill(const StillRequest& request, const std::shared_ptr<platform::SampleBuffer>& frame,
                      const QString& error);
    void saveToAlbum(const QImage& image, const platform::MetadataDictionary& metadata);
    void storeLastImageURL(const platform::AssetURL& url);
    // Runs `work` on the main thread's event loop, unless the controller has shut down by then.
    void onMainThread(std::function<void()> work);
    // Calls `work` with the album, if there still is one. Never holds the lock across album I/O:
    // the album's operations only queue work.
    void withAlbum(const std::function<void(platform::AssetsLibrary&)>& work);

    std::unique_ptr<QObject> m_mainThread; // context of posted screen effects; made on the main thread
    std::shared_ptr<LifetimeGate> m_stillGate;
    bool m_shutterPressed { false }; // main thread: a still is requested and not yet handed on

    mutable std::mutex m_albumMutex;
    std::unique_ptr<platform::AssetsLibrary> m_album; // guarded by m_albumMutex (the pointer)
    QString m_albumDirectory;                          // main thread

    mutable std::mutex m_lastImageMutex;
    platform::AssetURL m_lastImageURL; // guarded by m_lastImageMutex
};

} // namespace photos
