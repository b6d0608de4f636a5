#pragma once

// Taking a still and saving it: one full-size frame from the still output, enhanced by the
// frame pipeline in full-size mode, given its metadata (the camera's attachments, the EXIF
// orientation of the device orientation at the tap, make, model and software, the location fix
// at the tap) and written to the album; the new photo becomes the last photo. The owner hears of
// each step through the signals, on the main thread.
//
// The road of one photo (threads in brackets):
//   captureStillImage [main] → capture completion [camera still thread]: enhance, metadata,
//   start the album write, stillHandedOn → album-write completion [album thread]: last photo,
//   thumbnail lookup → photoSaved or saveFailed [main].
//
// With night mode on (and more than one frame to stack) a tap takes a burst instead: the stills
// are asked for one after the other, each request made on the main thread once the previous
// still has arrived, and kept on the still thread; the last one's completion aligns and merges
// them (imaging::BurstMerger::stack) and the merged picture, with the first still's attachments,
// takes the road above. The EXIF ImageDescription says how many stills were merged
// (nightDescription). A still that fails ends the burst: what arrived before it is saved, and a
// burst without any still saves nothing, as a single failed still does. With night mode off the
// settings of the burst are not read at all.
//
// Threads: captureStillImage and shutdown on the main (GUI) thread; the signals are emitted on
// the main thread only. While a still is taken the pipeline's taking-picture flag is set, so the
// frame delegate drops frames and the overlay draws its ring.
//
// Lifetime: finishPhotosUnderWay lets the photos tapped for reach the album before the app quits
// (bounded). shutdown (and the destructor) waits for a still being processed, lets the album
// finish what it started, drops effects not yet delivered, and says on stderr when a tapped
// photo was not saved because the still had not arrived yet.

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include <QObject>
#include <QString>

#include "photos/Location.h"
#include "platform/album/AssetURL.h"
#include "platform/core/MetadataDictionary.h"
#include "platform/core/ThreadChecker.h"

class QEventLoop;
class QImage;

namespace imaging {
class FramePipeline;
class ScopeSettings;
} // namespace imaging

namespace platform {
class SampleBuffer;
class StillImageOutput;
} // namespace platform

namespace photos {

class LastPhoto;
class LifetimeGate;

class PhotoSaver : public QObject {
    Q_OBJECT
public:
    // Make, model and software of every saved photo.
    static inline const QString kMakeModelSoftware = QStringLiteral("Lumivue+");

    // What is known at the tap, on the main thread.
    struct StillRequest {
        int deviceOrientation { 0 };
        std::optional<Location> location;
    };

    // `settings` say whether a tap takes a burst (night mode, stack frames); `pipeline` enhances
    // the stills; `lastPhoto` owns the album and takes the new photo. All three outlive the saver.
    PhotoSaver(
        const imaging::ScopeSettings& settings, imaging::FramePipeline& pipeline, LastPhoto& lastPhoto);
    ~PhotoSaver() override;

    // Requests one full-size still (in night mode a burst of them, read from the settings now)
    // from the video connection of `output`; returns at once. Without such a connection nothing
    // is taken and stillHandedOn follows.
    void captureStillImage(
        const std::shared_ptr<platform::StillImageOutput>& output, const StillRequest& request);

    // Image orientation code of a photo taken with the device in `deviceOrientation`:
    // portrait 3 (right), upside down 2 (left), landscape left 0 (up), landscape right 1
    // (down), anything else 3.
    static int imageOrientationForDeviceOrientation(int deviceOrientation);

    // The EXIF ImageDescription of a photo merged from `frames` stills: "Lumivue night: 8 frames".
    static QString nightDescription(int frames);

    // Main thread: runs the event loop (a burst asks for its stills there) until every photo
    // tapped for has been saved or refused, or `limit` has passed. True when none is left.
    bool finishPhotosUnderWay(std::chrono::milliseconds limit);

    // Waits for a still in progress, finishes the album's work and stops delivering signals.
    // Idempotent.
    void shutdown();

signals:
    // The still has been handed to the album, or nothing could be taken: the shutter is free.
    void stillHandedOn();
    // The album holds the new photo (it is the last photo now).
    void photoSaved(const platform::AssetURL& url);
    // The album refused the photo; `message` says why.
    void saveFailed(const QString& message);
    // The device orientation at the tap was none of the four the photo can be turned for.
    void orientationUnknownAtTap();

private:
    struct Burst;

    // `mergedFrames` above 0: the picture is a merged burst, and the photo says so.
    void processStill(const StillRequest& request, const std::shared_ptr<platform::SampleBuffer>& frame,
        const QString& error, int mergedFrames = 0);
    // Main thread: asks for the burst's next still.
    void requestBurstStill(const std::shared_ptr<Burst>& burst);
    // Still thread: keeps one still of the burst, then asks for the next or finishes.
    void collectBurstStill(const std::shared_ptr<Burst>& burst,
        const std::shared_ptr<platform::SampleBuffer>& frame, const QString& error);
    // Still thread: merges what the burst holds and saves it.
    void finishBurst(Burst& burst);
    void saveToAlbum(const QImage& image, const platform::MetadataDictionary& metadata);
    void stopTakingPicture();
    // The photo under way ended without a file: the shutter is freed and nothing follows.
    void tellNoPhoto(const QString& reason);
    void endWithoutPhoto();
    // A photo under way has its outcome (saved, refused or nothing taken). Any thread.
    void settle();
    // Runs `work` on the main thread's event loop, unless shut down by then.
    void onMainThread(std::function<void()> work);

    const imaging::ScopeSettings& m_settings;
    imaging::FramePipeline& m_pipeline;
    LastPhoto& m_lastPhoto;
    std::unique_ptr<QObject> m_mainThread; // context of posted effects; made on the main thread
    std::shared_ptr<LifetimeGate> m_stillGate;
    // Tapped for and not yet saved, refused or given up: from the request to the album's answer.
    std::atomic<int> m_underWay { 0 };
    QEventLoop* m_waitingLoop { nullptr }; // main thread: finishPhotosUnderWay's loop while it runs
    platform::ThreadChecker m_mainThreadChecker;
};

} // namespace photos
