#pragma once

// The key texts of a metadata dictionary (platform/core/MetadataDictionary.h): the property
// names the image I/O libraries publish, so that dictionaries from cameras, pickers and album
// assets share one layout. Top-level entries plus nested groups under the "{...}" keys.

#include <QString>

namespace platform::ImageProperty {

// Top level.
inline const QString Orientation = QStringLiteral("Orientation"); // EXIF orientation 1..8
inline const QString PixelWidth = QStringLiteral("PixelWidth"); // read back only
inline const QString PixelHeight = QStringLiteral("PixelHeight"); // read back only

// Group keys.
inline const QString ExifDictionary = QStringLiteral("{Exif}");
inline const QString TIFFDictionary = QStringLiteral("{TIFF}");
inline const QString GPSDictionary = QStringLiteral("{GPS}");
inline const QString IPTCDictionary = QStringLiteral("{IPTC}");

// {Exif}
inline const QString ExifExposureTime = QStringLiteral("ExposureTime");
inline const QString ExifFNumber = QStringLiteral("FNumber");
inline const QString ExifISOSpeedRatings = QStringLiteral("ISOSpeedRatings");
inline const QString ExifDateTimeOriginal = QStringLiteral("DateTimeOriginal");
inline const QString ExifDateTimeDigitized = QStringLiteral("DateTimeDigitized");
inline const QString ExifUserComment = QStringLiteral("UserComment");
inline const QString ExifDigitalZoomRatio = QStringLiteral("DigitalZoomRatio");
inline const QString ExifPixelXDimension = QStringLiteral("PixelXDimension");
inline const QString ExifPixelYDimension = QStringLiteral("PixelYDimension");

// {TIFF}
inline const QString TIFFMake = QStringLiteral("Make");
inline const QString TIFFModel = QStringLiteral("Model");
inline const QString TIFFSoftware = QStringLiteral("Software");
inline const QString TIFFDateTime = QStringLiteral("DateTime");
inline const QString TIFFImageDescription = QStringLiteral("ImageDescription");
inline const QString TIFFOrientation = QStringLiteral("Orientation");

// {GPS}: latitude and longitude are non-negative degrees, the sign lives in the refs.
inline const QString GPSLatitude = QStringLiteral("Latitude");
inline const QString GPSLatitudeRef = QStringLiteral("LatitudeRef"); // "N" or "S"
inline const QString GPSLongitude = QStringLiteral("Longitude");
inline const QString GPSLongitudeRef = QStringLiteral("LongitudeRef"); // "E" or "W"
inline const QString GPSAltitude = QStringLiteral("Altitude"); // metres, non-negative
inline const QString GPSAltitudeRef = QStringLiteral("AltitudeRef"); // 0 above, 1 below sea level
inline const QString GPSTimeStamp = QStringLiteral("TimeStamp"); // a QDateTime (UTC on read)
inline const QString GPSDateStamp = QStringLiteral("DateStamp"); // "yyyy:MM:dd", read back only

// {IPTC}
inline const QString IPTCKeywords = QStringLiteral("Keywords"); // QStringList

} // namespace platform::ImageProperty
