#pragma once

// The stored form of one photo: its URL, its metadata, its pixels and their orientation.
// Each call reads the file again (nothing is cached), so a photo deleted meanwhile gives an
// empty dictionary, a null image and orientation 0. A video has a URL, a size and a file URL for
// a player; its metadata is empty, its images null.
//
// Any thread; the album's completions call it on the album thread.

#include <memory>
#include <optional>

#include <QImage>
#include <QString>
#include <QUrl>

#include "platform/album/AssetURL.h"
#include "platform/core/MetadataDictionary.h"

namespace platform {

class AlbumFolder;

class AssetRepresentation {
public:
    AssetRepresentation(std::shared_ptr<const AlbumFolder> folder, QString name);

    AssetURL url() const;
    bool isVideo() const;
    // The file's size in bytes; 0 when it is gone.
    qint64 size() const;
    // A video's length, when its container tells it (this decodes its start).
    std::optional<qint64> durationMs() const;
    // A video's file:// URL for a player, checked to be a regular video file of the album (not a
    // link) now; empty otherwise.
    QUrl fileURL() const;

    // Read back from the file: "Orientation", "PixelWidth"/"PixelHeight", {TIFF}, {Exif}, {GPS},
    // {IPTC}, in the layout of platform/album/ImagePropertyKeys.h.
    MetadataDictionary metadata() const;

    // The stored pixels, not turned upright (Format_ARGB32_Premultiplied).
    QImage fullResolutionImage() const;
    // The stored pixels (not turned upright), reduced for a screen that shows at most `bounds`:
    // by the largest of 1/2, 1/4, 1/8 that still holds the photo fitted to `bounds`, a reduction
    // the JPEG decoder does inside its DCT, so a screen-sized picture of a 5 MP photo costs a
    // fraction of the full decode. Never enlarged; an invalid `bounds` reads the full size. `storedSize`,
    // when given, receives the full stored size (empty when the photo cannot be read). A file
    // that is cut short or otherwise damaged gives a null image and, in `damage`, what is wrong.
    QImage imageFitting(const QSize& bounds, QSize* storedSize = nullptr, QString* damage = nullptr) const;

    // How to show those pixels upright: an image orientation code (0 up, 1 down, 2 left,
    // 3 right, 4..7 mirrored), from the file's EXIF orientation.
    int orientation() const;

private:
    std::shared_ptr<const AlbumFolder> m_folder;
    QString m_name;
};

} // namespace platform
