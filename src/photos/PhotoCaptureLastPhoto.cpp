// PhotoCapture: the last photo, its thumbnail on the album control, and opening the viewer.

#include "photos/PhotoCapture.h"

#include "photos/ViewImageController.h"
#include "platform/album/AssetsLibrary.h"
#include "platform/core/Log.h"

namespace photos {

platform::AssetURL PhotoCapture::lastImageURL() const
{
    std::scoped_lock lock(m_lastImageMutex);
    return m_lastImageURL;
}

void PhotoCapture::storeLastImageURL(const platform::AssetURL& url)
{
    std::scoped_lock lock(m_lastImageMutex);
    m_lastImageURL = url;
}

void PhotoCapture::setLastPhotoURL()
{
    withAlbum([this](platform::AssetsLibrary& album) {
        album.enumerateGroupsWithTypes(
            platform::AssetsLibrary::GroupSavedPhotos,
            [this](const std::shared_ptr<platform::AssetsGroup>& group) {
                platform::logLine(platform::lcPhotos(), QStringLiteral("Enum Group"));
                if (!group)
                    return;
                const int last = group->numberOfAssets() - 1;
                // Every asset is visited; only the one at the last index is taken.
                group->enumerateAssetsUsingBlock([this, last](const std::shared_ptr<platform::Asset>& asset, int index) {
                    if (!asset || index != last)
                        return;
                    storeLastImageURL(asset->defaultRepresentation().url());
                    updateThumb();
                });
            },
            [](const platform::AlbumError& error) {
                platform::log(platform::lcPhotos(), "Failed %s", qUtf8Printable(error.description()));
            });
    });
}

void PhotoCapture::updateThumb()
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
                    setCaptureButtonEnabled(true);
                    setCaptureButtonImage(thumbnail);
                    if (!thumbnail.isNull())
                        platform::logLine(platform::lcPhotos(), QStringLiteral("taking thumbnail OK"));
                });
            },
            [](const platform::AlbumError&) { platform::logLine(platform::lcPhotos(), QStringLiteral("Error taking thumbnail")); });
    });
}

void PhotoCapture::photoAlbum()
{
    playSystemSound(kClickSound);
    const platform::AssetURL url = lastImageURL();
    if (url.isEmpty())
        return;
    auto viewer = std::make_unique<ViewImageController>(albumDirectory());
    viewer->setImageURL(url);
    presentImageViewer(std::move(viewer));
}

} // namespace photos
