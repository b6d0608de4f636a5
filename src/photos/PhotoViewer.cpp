#include "photos/PhotoViewer.h"

#include <algorithm>
#include <cmath>

#include <QMetaObject>
#include <QVideoSink>

#include "platform/album/AlbumFolder.h"
#include "platform/album/AssetsLibrary.h"
#include "platform/album/ImageOrientation.h"
#include "platform/core/Log.h"
#include "platform/device/Screen.h"
#include "platform/device/SystemSound.h"

namespace photos {

PhotoViewer::PhotoViewer(QObject* parent)
    : QObject(parent)
{
}

PhotoViewer::~PhotoViewer()
{
    // The library drains first: its last results are posted to this object, and go with it
    // undelivered.
    m_library.reset();
    if (m_frames) {
        std::scoped_lock lock(m_frames->mutex);
        m_frames->viewer = nullptr; // frames from now on are dropped
    }
}

void PhotoViewer::setAlbumDirectory(const QString& directory)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (directory == m_albumDirectory)
        return;
    m_albumDirectory = directory;
    m_library.reset(); // an album of the old folder
    emit albumDirectoryChanged();
    restart();
}

void PhotoViewer::setImageUrl(const QString& url)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (url == m_imageUrl)
        return;
    m_imageUrl = url;
    emit imageUrlChanged();
    restart();
}

void PhotoViewer::setViewSize(const QSizeF& size)
{
    if (size == m_viewSize)
        return;
    m_viewSize = size;
    emit viewSizeChanged();
}

qreal PhotoViewer::pixelScale() const
{
    return platform::Screen::main().scale();
}

void PhotoViewer::setLoading(bool loading)
{
    if (loading == m_loading)
        return;
    m_loading = loading;
    emit loadingChanged();
}

void PhotoViewer::setMessage(const QString& message, const QString& detail)
{
    if (message == m_message && detail == m_messageDetail)
        return;
    m_message = message;
    m_messageDetail = detail;
    emit messageChanged();
}

void PhotoViewer::restart()
{
    ++m_lookup;
    m_fullResolution = false;
    m_fullResolutionRequested = false;
    if (!m_image.isNull()) {
        m_image = QImage();
        emit imageChanged();
    }
    if (!m_photoSize.isEmpty()) {
        m_photoSize = QSize();
        emit photoSizeChanged();
    }
    setMessage({}, {});
    if (m_isVideo) {
        m_isVideo = false;
        m_videoSource.clear();
        emit videoChanged();
    }
    const bool ready = !m_albumDirectory.isEmpty() && !m_imageUrl.isEmpty();
    setLoading(ready);
    if (ready && !m_startQueued) {
        m_startQueued = true;
        QMetaObject::invokeMethod(this, &PhotoViewer::startLookup, Qt::QueuedConnection);
    }
}

void PhotoViewer::startLookup()
{
    m_startQueued = false;
    if (!m_loading)
        return; // the URL or the folder was cleared since
    // The longest side, in device pixels, the view shows of a fitted photo in any turn.
    const QSizeF points = m_viewSize.isEmpty() ? platform::Screen::main().bounds().size() : m_viewSize;
    const int side = int(std::ceil(std::max(points.width(), points.height()) * pixelScale()));
    lookUp(QSize(side, side));
}

void PhotoViewer::lookUp(const QSize& bounds)
{
    if (!m_library)
        m_library = std::make_unique<platform::AssetsLibrary>(
            m_albumDirectory, platform::AssetsLibrary::FolderCreation::Never);
    auto deliver = [this, lookup = m_lookup](
                       QImage upright, int orientation, QSize photoSize, QString damage = {}) {
        QMetaObject::invokeMethod(
            this, [=, this] { show(lookup, upright, orientation, photoSize, damage); }, Qt::QueuedConnection);
    };
    // A video's URL that finds nothing says so as a video.
    const platform::AssetURL url = platform::AssetURL::fromString(m_imageUrl);
    const auto name
        = platform::AlbumFolder(m_albumDirectory, platform::AlbumFolder::Creation::Never).nameForURL(url);
    const bool video = name && platform::AlbumFolder::isVideoName(*name);
    m_library->assetForURL(
        url,
        [this, lookup = m_lookup, deliver, bounds, video](const std::shared_ptr<platform::Asset>& asset) {
            // The decode and the turn happen here, on the album's thread.
            if (!asset && !video) {
                deliver(QImage(), 0, QSize()); // the photo is gone
                return;
            }
            if (!asset || asset->isVideo()) {
                QMetaObject::invokeMethod(
                    this,
                    [this, lookup, source = asset ? asset->defaultRepresentation().fileURL() : QUrl()] {
                        showVideo(lookup, source);
                    },
                    Qt::QueuedConnection);
                return;
            }
            const platform::AssetRepresentation representation = asset->defaultRepresentation();
            QSize stored;
            QString damage;
            const QImage image = representation.imageFitting(bounds, &stored, &damage);
            if (image.isNull()) {
                deliver(QImage(), 0, QSize(), damage);
                return;
            }
            const int orientation = representation.orientation();
            const int exif = platform::exifOrientationForImageOrientation(orientation);
            const bool quarterTurn = exif >= 5 && exif <= 8;
            deliver(platform::imageTurnedUpright(image, exif), orientation,
                quarterTurn ? stored.transposed() : stored);
        },
        [deliver](const platform::AlbumError&) { deliver(QImage(), 0, QSize()); });
}

void PhotoViewer::show(std::uint64_t lookup, const QImage& upright, int orientation, const QSize& photoSize,
    const QString& damage)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (lookup != m_lookup)
        return; // for a URL or folder since replaced
    if (upright.isNull()) {
        if (!m_image.isNull())
            return; // the full resolution failed: keep what is shown
        platform::logLine(platform::lcPhotos(),
            damage.isEmpty() ? QStringLiteral("Error taking thumbnail")
                             : QStringLiteral("Error taking thumbnail: the file is damaged: ") + damage);
        // Said on the screen, not only in a log: a black viewer would leave the user guessing.
        setMessage(tr("This photo cannot be shown."),
            damage.isEmpty() ? tr("It was deleted or cannot be read.") : tr("The file is damaged."));
        setLoading(false);
        return;
    }
    const bool full = upright.size() == photoSize;
    if (!m_image.isNull()) {
        // The full resolution replacing the screen-sized picture: the photo size stays.
        if (full && !m_fullResolution) {
            m_image = upright;
            m_fullResolution = true;
            emit imageChanged();
        }
        return;
    }
    m_photoSize = photoSize;
    m_image = upright;
    m_fullResolution = full;
    emit photoSizeChanged();
    emit imageChanged();
    platform::log(platform::lcPhotos(), "taking Full size image OK. Orientation %d", orientation);
    setLoading(false);
}

void PhotoViewer::showVideo(std::uint64_t lookup, const QUrl& source)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (lookup != m_lookup)
        return;
    setLoading(false);
    if (source.isEmpty()) {
        platform::logLine(platform::lcPhotos(), QStringLiteral("Error opening video"));
        setMessage(tr("This video cannot be played."), tr("It was deleted or cannot be read."));
        return;
    }
    m_isVideo = true;
    m_videoSource = source;
    emit videoChanged();
    platform::log(platform::lcPhotos(), "Opening video %s", qUtf8Printable(source.fileName()));
}

QObject* PhotoViewer::videoSink()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!m_videoSink) {
        m_frames = std::make_shared<FrameHandoff>();
        m_frames->viewer = this;
        m_videoSink = new QVideoSink(this);
        // On whichever thread the player hands frames over.
        connect(
            m_videoSink, &QVideoSink::videoFrameChanged, m_videoSink,
            [frames = m_frames](const QVideoFrame& frame) {
                std::scoped_lock lock(frames->mutex);
                frames->frame = frame;
                if (frames->viewer && !std::exchange(frames->queued, true))
                    QMetaObject::invokeMethod(
                        frames->viewer, &PhotoViewer::showNewestVideoFrame, Qt::QueuedConnection);
            },
            Qt::DirectConnection);
    }
    return m_videoSink;
}

void PhotoViewer::showNewestVideoFrame()
{
    QVideoFrame newest;
    {
        std::scoped_lock lock(m_frames->mutex);
        newest = std::exchange(m_frames->frame, QVideoFrame());
        m_frames->queued = false;
    }
    m_videoFrame = newest.toImage();
    emit videoFrameChanged();
}

void PhotoViewer::videoFailed(const QString& reason)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!m_isVideo)
        return;
    platform::log(platform::lcPhotos(), "Video cannot be played: %s", qUtf8Printable(reason));
    setMessage(tr("This video cannot be played."), tr("The file is damaged."));
}

void PhotoViewer::zoomedTo(qreal zoom)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (m_image.isNull() || m_fullResolution || m_fullResolutionRequested || m_photoSize.isEmpty())
        return;
    const qreal devicePixelsWide = zoom * pixelScale() * m_photoSize.width();
    if (!(devicePixelsWide > m_image.width() * 1.01))
        return;
    m_fullResolutionRequested = true;
    lookUp(QSize());
}

void PhotoViewer::done()
{
    platform::SystemSound::play(platform::SystemSound::clickSoundId);
}

} // namespace photos
