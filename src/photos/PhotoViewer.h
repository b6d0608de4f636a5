#pragma once

// The photo viewer's model: one album photo, upright, for the viewer screen (Viewer.qml) to show
// in a zooming view over the whole window; or one album video, for the screen's player: then
// `isVideo` is true, `image` stays null and `videoSource` is a file URL the album checked (a
// regular video file of the folder, not a link). A video that is gone says so in `message`, one
// the player cannot play is reported back through videoFailed(). Where Qt Quick draws in software
// (no GPU; headless), a VideoOutput draws nothing: the player then feeds `videoSink` and the view
// shows `videoFrame`, the newest frame as an image.
//
// The photo is read and turned upright on the album's thread; the GUI thread only gets the
// finished image. It is first decoded at the size the view can show (its longer side in device
// pixels, whichever way the device is turned), which is what the fitted photo needs; the full
// resolution is read, again on the album's thread, only once the view zooms past what that
// picture holds (`zoomedTo`). `photoSize` is the photo's full upright size whichever picture
// `image` holds, so the view's zoom and centring do not change when the full resolution arrives.
// A photo that is gone (deleted since its URL was stored), damaged (cut short) or unreadable
// leaves `image` null and says so in `message` and `messageDetail`.
//
// The lookup starts from the event loop once `albumDirectory` and `imageUrl` are set, so a view
// may set them in any order; a new URL or folder starts over and drops what the old lookup
// delivers. `loading` is true from then until the photo or the message is there.
//
// Threads: GUI thread only. Destroying the viewer waits for a lookup under way and drops its
// result.

#include <cstdint>
#include <memory>
#include <mutex>

#include <QImage>
#include <QObject>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <QUrl>
#include <QVideoFrame>

class QVideoSink;

#include "platform/core/ThreadChecker.h"

namespace platform {
class AssetsLibrary;
}

namespace photos {

class PhotoViewer : public QObject {
    Q_OBJECT
    Q_PROPERTY(
        QString albumDirectory READ albumDirectory WRITE setAlbumDirectory NOTIFY albumDirectoryChanged)
    Q_PROPERTY(QString imageUrl READ imageUrl WRITE setImageUrl NOTIFY imageUrlChanged)
    // The view's size in points, for the size the photo is first decoded at; empty: the screen's.
    Q_PROPERTY(QSizeF viewSize READ viewSize WRITE setViewSize NOTIFY viewSizeChanged)
    Q_PROPERTY(QImage image READ image NOTIFY imageChanged)
    Q_PROPERTY(QSize photoSize READ photoSize NOTIFY photoSizeChanged)
    Q_PROPERTY(bool fullResolution READ fullResolution NOTIFY imageChanged)
    // Device pixels per point: the largest zoom, where a photo pixel covers a device pixel.
    Q_PROPERTY(qreal pixelScale READ pixelScale CONSTANT)
    Q_PROPERTY(QString message READ message NOTIFY messageChanged)
    Q_PROPERTY(QString messageDetail READ messageDetail NOTIFY messageChanged)
    Q_PROPERTY(bool loading READ loading NOTIFY loadingChanged)
    Q_PROPERTY(bool isVideo READ isVideo NOTIFY videoChanged)
    Q_PROPERTY(QUrl videoSource READ videoSource NOTIFY videoChanged)
    Q_PROPERTY(QObject* videoSink READ videoSink CONSTANT)
    Q_PROPERTY(QImage videoFrame READ videoFrame NOTIFY videoFrameChanged)

public:
    explicit PhotoViewer(QObject* parent = nullptr);
    ~PhotoViewer() override;

    QString albumDirectory() const { return m_albumDirectory; }
    void setAlbumDirectory(const QString& directory);
    QString imageUrl() const { return m_imageUrl; }
    void setImageUrl(const QString& url);
    QSizeF viewSize() const { return m_viewSize; }
    void setViewSize(const QSizeF& size);
    QImage image() const { return m_image; }
    QSize photoSize() const { return m_photoSize; }
    bool fullResolution() const { return m_fullResolution; }
    qreal pixelScale() const;
    QString message() const { return m_message; }
    QString messageDetail() const { return m_messageDetail; }
    bool loading() const { return m_loading; }
    bool isVideo() const { return m_isVideo; }
    QUrl videoSource() const { return m_videoSource; }
    QObject* videoSink();
    QImage videoFrame() const { return m_videoFrame; }

    // The view shows the photo at `zoom` points per photo pixel: once a device pixel of it covers
    // less than a pixel of the decoded picture, the full resolution is read (once).
    Q_INVOKABLE void zoomedTo(qreal zoom);
    // The close control: clicks. The view closes itself.
    Q_INVOKABLE void done();
    // The player could not play the video (`reason`, the player's words, goes to the log).
    Q_INVOKABLE void videoFailed(const QString& reason);

signals:
    void albumDirectoryChanged();
    void imageUrlChanged();
    void viewSizeChanged();
    void imageChanged();
    void photoSizeChanged();
    void messageChanged();
    void loadingChanged();
    void videoChanged();
    void videoFrameChanged();

private:
    void restart();
    void startLookup();
    // Reads the photo on the album's thread, decoded to fit `bounds` (pixels; empty: full size).
    void lookUp(const QSize& bounds);
    void show(std::uint64_t lookup, const QImage& upright, int orientation, const QSize& photoSize,
        const QString& damage);
    void showVideo(std::uint64_t lookup, const QUrl& source);
    void showNewestVideoFrame();
    void setLoading(bool loading);
    void setMessage(const QString& message, const QString& detail);

    QString m_albumDirectory;
    QString m_imageUrl;
    QSizeF m_viewSize;
    QImage m_image;
    QSize m_photoSize;
    bool m_fullResolution { false };
    bool m_fullResolutionRequested { false };
    bool m_startQueued { false };
    QString m_message;
    QString m_messageDetail;
    bool m_loading { false };
    bool m_isVideo { false };
    QUrl m_videoSource;
    QVideoSink* m_videoSink { nullptr }; // a child, made when asked for
    QImage m_videoFrame;
    // The newest frame from the player's thread, converted on the GUI thread; frames that arrive
    // before it gets to them replace each other, so a slow GUI never queues a backlog. Shared with
    // the sink's connection, which may still run on the player's thread while the viewer goes:
    // `viewer` is cleared first, under the lock.
    struct FrameHandoff {
        std::mutex mutex;
        PhotoViewer* viewer { nullptr };
        QVideoFrame frame;
        bool queued { false };
    };
    std::shared_ptr<FrameHandoff> m_frames;
    // Counts lookups started over; a result of an older one is dropped.
    std::uint64_t m_lookup { 0 };
    std::unique_ptr<platform::AssetsLibrary> m_library; // while a lookup runs or has run
    [[no_unique_address]] platform::ThreadChecker m_guiThread;
};

} // namespace photos
