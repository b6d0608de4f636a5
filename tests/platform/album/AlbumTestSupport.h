#pragma once

// Helpers for the album tests: event-driven waits on the album's blocks (generous limits, no
// sleeps) and test pictures; support/ExifReader.h reads what landed on disk.

#include <chrono>
#include <future>
#include <optional>
#include <utility>
#include <vector>

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QString>

#include <gtest/gtest.h>

#include "platform/album/AlbumFolder.h"
#include "platform/album/AssetsLibrary.h"
#include "support/ExifReader.h"

namespace albumtest {

using namespace testing_support::exif;

constexpr auto kWait = std::chrono::seconds(60);

// A camera-like picture: left half red, right half blue, opaque.
inline QImage splitImage(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(0, 0, 255));
    QPainter painter(&image);
    painter.fillRect(0, 0, width / 2, height, QColor(255, 0, 0));
    return image;
}

inline bool isReddish(QRgb c)
{
    return qRed(c) > 180 && qBlue(c) < 80;
}

struct WriteResult {
    platform::AssetURL url;
    std::optional<platform::AlbumError> error;
};

inline WriteResult writeAndWait(
    platform::AssetsLibrary& library, const QImage& image, const platform::MetadataDictionary& metadata = {})
{
    std::promise<WriteResult> done;
    library.writeImageToSavedPhotosAlbum(image, metadata,
        [&](const platform::AssetURL& url, const std::optional<platform::AlbumError>& error) {
            done.set_value({ url, error });
        });
    auto future = done.get_future();
    EXPECT_EQ(future.wait_for(kWait), std::future_status::ready);
    return future.get();
}

struct LookupResult {
    std::shared_ptr<platform::Asset> asset;
    std::optional<platform::AlbumError> error;
};

inline LookupResult lookupAndWait(platform::AssetsLibrary& library, const platform::AssetURL& url)
{
    std::promise<LookupResult> done;
    library.assetForURL(
        url,
        [&](const std::shared_ptr<platform::Asset>& asset) {
            done.set_value({ asset, std::nullopt });
        },
        [&](const platform::AlbumError& error) {
            done.set_value({ nullptr, error });
        });
    auto future = done.get_future();
    EXPECT_EQ(future.wait_for(kWait), std::future_status::ready);
    return future.get();
}

struct Enumeration {
    int groups { 0 };
    int numberOfAssets { -1 };
    std::vector<platform::AssetURL> urls;
    bool endedWithNoAsset { false };
    std::optional<platform::AlbumError> failure;
};

// Lists the album: every group, and in it every asset with its index and URL.
inline Enumeration enumerateAndWait(
    platform::AssetsLibrary& library, int types = platform::AssetsLibrary::GroupSavedPhotos)
{
    Enumeration result;
    std::promise<void> done;
    library.enumerateGroupsWithTypes(
        types,
        [&](const std::shared_ptr<platform::AssetsGroup>& group) {
            if (!group) {
                done.set_value();
                return;
            }
            ++result.groups;
            result.numberOfAssets = group->numberOfAssets();
            group->enumerateAssetsUsingBlock([&](const std::shared_ptr<platform::Asset>& asset, int) {
                if (!asset) {
                    result.endedWithNoAsset = true;
                    return;
                }
                result.urls.push_back(asset->defaultRepresentation().url());
            });
        },
        [&](const platform::AlbumError& error) {
            result.failure = error;
            done.set_value();
        });
    EXPECT_EQ(done.get_future().wait_for(kWait), std::future_status::ready);
    return result;
}

// A recording's claim with `bytes` written into it, as a recorder would.
inline platform::RecordingClaim recorded(
    const platform::AlbumFolder& folder, const QString& extension, int bytes = 4096)
{
    platform::AlbumFolder::Claimed claimed = folder.claimRecording(extension);
    EXPECT_FALSE(claimed.error);
    QFile file(claimed.claim.path());
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(bytes, 'v'));
    return std::move(claimed.claim);
}

// Every regular entry of a folder, hidden ones included.
inline QStringList folderEntries(const QString& path)
{
    return QDir(path).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace albumtest
