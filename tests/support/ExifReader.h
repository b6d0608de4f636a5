#pragma once

// exiv2 reading a photo file on its own, independently of the album's reader, for tests that
// check what landed on disk.

#include <string>

#include <QString>

#include <exiv2/exiv2.hpp>

namespace testing_support::exif {

struct FileMetadata {
    Exiv2::ExifData exif;
    Exiv2::IptcData iptc;
    long width { 0 };
    long height { 0 };
};

inline FileMetadata readFile(const QString& path)
{
    auto image = Exiv2::ImageFactory::open(path.toStdString());
    image->readMetadata();
    return { image->exifData(), image->iptcData(), long(image->pixelWidth()), long(image->pixelHeight()) };
}

inline std::string text(const Exiv2::ExifData& exif, const char* key)
{
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    return it == exif.end() ? std::string("<missing>") : it->toString();
}

inline double rational(const Exiv2::ExifData& exif, const char* key, long index = 0)
{
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    if (it == exif.end())
        return -1;
    const Exiv2::Rational r = it->toRational(index);
    return double(r.first) / double(r.second);
}

inline double degrees(const Exiv2::ExifData& exif, const char* key)
{
    return rational(exif, key, 0) + rational(exif, key, 1) / 60.0 + rational(exif, key, 2) / 3600.0;
}

} // namespace testing_support::exif
