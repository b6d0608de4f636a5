#pragma once

// The photo album the camera screen saves to, and its newest item, a photo or a video: finding it
// by a scan, remembering the one just saved, and reading its thumbnail (a video's shows its first
// frame with a play mark). The thumbnail is handed to the
// owner through thumbnailChanged on the main thread.
//
// Threads:
// - setAlbumDirectory, albumDirectory, setLastPhotoURL, shutdown: the main (GUI) thread.
// - updateThumb, photoAdded, lastImageURL, withAlbum: any thread (the album's completions call
//   them on the album's worker thread).
// - thumbnailChanged: emitted on the main thread only.
//
// Lifetime: shutdown (and the destructor) lets the album finish and deliver what it started;
// completions then find no album to start more with, and their main-thread effects are dropped.

#include <functional>
#include <memory>
#include <mutex>

#include <QImage>
#include <QObject>
#include <QString>

#include "platform/album/AssetURL.h"
#include "platform/core/ThreadChecker.h"

namespace platform {
class AssetsLibrary;
} // namespace platform

namespace photos {

class LastPhoto : public QObject {
    Q_OBJECT
public:
    LastPhoto();
    ~LastPhoto() override;

    // Where photos go: `lumivue --album DIR` (created by the host when missing), or the user's
    // default album for an empty text. Before the screen loads (no photo under way).
    void setAlbumDirectory(const QString& directory);
    QString albumDirectory() const;

    // Scans the album and takes its newest photo or video as the last photo (then updateThumb). An empty
    // or unreadable album leaves the last photo as it was.
    void setLastPhotoURL();
    // Looks the last photo up and hands its thumbnail on; a photo deleted meanwhile gives a null
    // thumbnail.
    void updateThumb();
    // A photo or video was just saved: it becomes the last photo and its thumbnail is read.
    void photoAdded(const platform::AssetURL& url);
    platform::AssetURL lastImageURL() const;

    // Calls `work` with the album, if there still is one. The lock is not held across album I/O:
    // the album's operations only queue work.
    void withAlbum(const std::function<void(platform::AssetsLibrary&)>& work);
    // Finishes the album's work and stops delivering main-thread effects. Idempotent.
    void shutdown();

signals:
    // The last photo's thumbnail, null when the photo is gone (main thread).
    void thumbnailChanged(const QImage& thumbnail);

private:
    void storeLastImageURL(const platform::AssetURL& url);
    // Runs `work` on the main thread's event loop, unless shut down by then.
    void onMainThread(std::function<void()> work);

    std::unique_ptr<QObject> m_mainThread; // context of posted effects; made on the main thread
    bool m_shutDown { false }; // main thread
    platform::ThreadChecker m_mainThreadChecker;

    mutable std::mutex m_albumMutex;
    std::unique_ptr<platform::AssetsLibrary> m_album; // guarded by m_albumMutex (the pointer)
    QString m_albumDirectory; // main thread

    mutable std::mutex m_lastImageMutex;
    platform::AssetURL m_lastImageURL; // guarded by m_lastImageMutex
};

} // namespace photos
