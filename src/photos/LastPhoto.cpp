#include "photos/LastPhoto.h"

#include <QMetaObject>

#include "platform/album/AssetsLibrary.h"
#include "platform/core/Log.h"

namespace photos {

LastPhoto::LastPhoto()
    : m_mainThread(std::make_unique<QObject>())
    , m_album(std::make_unique<platform::AssetsLibrary>())
{
}

LastPhoto::~LastPhoto()
{
    shutdown();
}

void LastPhoto::shutdown()
{
    LUMIVUE_CHECK_THREAD(m_mainThreadChecker);
    m_shutDown = true;
    std::unique_ptr<platform::AssetsLibrary> album;
    {
        std::scoped_lock lock(m_albumMutex);
        album = std::move(m_album);
    }
    // Lets the album finish and deliver what it started; its completions find no album to start
    // more with, and their effects are still posted (and then dropped below).
    album.reset();
    m_mainThread.reset();
}

void LastPhoto::setAlbumDirectory(const QString& directory)
{
    LUMIVUE_CHECK_THREAD(m_mainThreadChecker);
    if (m_shutDown)
        return;
    auto album = directory.isEmpty() ? std::make_unique<platform::AssetsLibrary>()
                                     : std::make_unique<platform::AssetsLibrary>(directory);
    m_albumDirectory = directory;
    {
        std::scoped_lock lock(m_albumMutex);
        std::swap(album, m_album);
    }
    // The old album finishes its work outside the lock.
}

QString LastPhoto::albumDirectory() const
{
    std::scoped_lock lock(m_albumMutex);
    return m_album ? m_album->directory() : m_albumDirectory;
}

void LastPhoto::withAlbum(const std::function<void(platform::AssetsLibrary&)>& work)
{
    std::scoped_lock lock(m_albumMutex);
    if (m_album)
        work(*m_album);
}

void LastPhoto::onMainThread(std::function<void()> work)
{
    // m_mainThread is only reset after the album has drained, so nobody posts while it goes away.
    if (QObject* context = m_mainThread.get())
        QMetaObject::invokeMethod(context, std::move(work), Qt::QueuedConnection);
}

platform::AssetURL LastPhoto::lastImageURL() const
{
    std::scoped_lock lock(m_lastImageMutex);
    return m_lastImageURL;
}

void LastPhoto::storeLastImageURL(const platform::AssetURL& url)
{
    std::scoped_lock lock(m_lastImageMutex);
    m_lastImageURL = url;
}

void LastPhoto::photoAdded(const platform::AssetURL& url)
{
    storeLastImageURL(url);
    updateThumb();
}

void LastPhoto::setLastPhotoURL()
{
    LUMIVUE_CHECK_THREAD(m_mainThreadChecker);
    withAlbum([this](platform::AssetsLibrary& album) {
        album.enumerateGroupsWithTypes(
            platform::AssetsLibrary::GroupSavedPhotos,
            [this](const std::shared_ptr<platform::AssetsGroup>& group) {
                platform::logLine(platform::lcPhotos(), QStringLiteral("Enum Group"));
                if (!group)
                    return;
                const int last = group->numberOfAssets() - 1;
                // Every asset is visited; only the one at the last index is taken.
                group->enumerateAssetsUsingBlock(
                    [this, last](const std::shared_ptr<platform::Asset>& asset, int index) {
                        if (!asset || index != last)
                            return;
                        photoAdded(asset->defaultRepresentation().url());
                    });
            },
            [](const platform::AlbumError& error) {
                platform::log(platform::lcPhotos(), "Failed %s", qUtf8Printable(error.description()));
            });
    });
}

void LastPhoto::updateThumb()
{
    const platform::AssetURL url = lastImageURL();
    if (url.isEmpty())
        return;
    withAlbum([this, &url](platform::AssetsLibrary& album) {
        album.assetForURL(
            url,
            [this](const std::shared_ptr<platform::Asset>& asset) {
                // Read on the album thread: the main thread only gets the small image.
                const QImage thumbnail = asset ? asset->thumbnail() : QImage();
                onMainThread([this, thumbnail] {
                    emit thumbnailChanged(thumbnail);
                    if (!thumbnail.isNull())
                        platform::logLine(platform::lcPhotos(), QStringLiteral("taking thumbnail OK"));
                });
            },
            [](const platform::AlbumError&) {
                platform::logLine(platform::lcPhotos(), QStringLiteral("Error taking thumbnail"));
            });
    });
}

} // namespace photos
