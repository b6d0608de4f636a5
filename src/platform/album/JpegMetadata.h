#pragma once

// Metadata dictionaries in and out of JPEG bytes, through exiv2, entirely in memory: the image
// data itself is never decoded or re-encoded. Exiv2 types stay inside the .cpp.
//
// What is written: "Orientation"; the {TIFF}, {Exif} and {GPS} entries that have a standard EXIF
// tag (numbers as the tag's integer or rational type, dates as "yyyy:MM:dd HH:mm:ss" local time,
// GPS coordinates as degree/minute/second rationals with their N/S/E/W refs, the GPS time stamp
// as UTC time and date stamps); {IPTC} keywords; the pixel dimensions of the actual image; and an
// EXIF thumbnail. Entries without a standard tag are left out. Reading gives the same layout
// back, plus "PixelWidth"/"PixelHeight" from the JPEG frame header.
//
// Pure functions; any thread.

#include <optional>

#include <QByteArray>
#include <QImage>
#include <QString>

#include "platform/core/MetadataDictionary.h"

namespace platform {

// The image as a baseline JPEG of the given quality, or empty if it cannot be encoded.
QByteArray encodeJpeg(const QImage& image, int quality);

// A JPEG of at most 160×120 pixels (never enlarged) for embedding as the EXIF thumbnail.
QByteArray makeThumbnailJpeg(const QImage& image);

// Writes the dictionary (and the thumbnail, when not empty) into the JPEG. `pixelSize` is the
// size of the encoded image. Returns the error text on failure, leaving `jpeg` unchanged.
std::optional<QString> writeJpegMetadata(
    QByteArray& jpeg, const MetadataDictionary& metadata, QSize pixelSize, const QByteArray& thumbnailJpeg);

struct JpegMetadata {
    MetadataDictionary dictionary;
    int exifOrientation { 1 };
    QByteArray thumbnailJpeg; // empty when the file has none
};

// Reads the metadata of JPEG bytes; nothing if they are not an image exiv2 understands.
std::optional<JpegMetadata> readJpegMetadata(const QByteArray& bytes);

} // namespace platform
