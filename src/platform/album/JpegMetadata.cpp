#include "platform/album/JpegMetadata.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <mutex>
#include <string>

#include <QBuffer>
#include <QDateTime>
#include <QImageWriter>
#include <QTimeZone>

#include <exiv2/exiv2.hpp>

#include "platform/album/ImagePropertyKeys.h"

namespace platform {

namespace ip = ImageProperty;

namespace {

const QString kExifDateFormat = QStringLiteral("yyyy:MM:dd HH:mm:ss");
const QString kExifDayFormat = QStringLiteral("yyyy:MM:dd");
const QSize kThumbnailSize { 160, 120 };
constexpr int kThumbnailQuality = 85;

enum class Kind { Ascii, Date, UShort, ULong, URational, SRational, UShortList, Comment };

struct Tag {
    const char* group;
    const char* key;
    const char* exiv2Key;
    Kind kind;
};

// Dictionary entries with a standard EXIF tag. GPS position and time are handled separately
// because one entry spans several tags.
constexpr Tag kTags[] = {
    { "{TIFF}", "Make", "Exif.Image.Make", Kind::Ascii },
    { "{TIFF}", "Model", "Exif.Image.Model", Kind::Ascii },
    { "{TIFF}", "Software", "Exif.Image.Software", Kind::Ascii },
    { "{TIFF}", "DateTime", "Exif.Image.DateTime", Kind::Date },
    { "{TIFF}", "ImageDescription", "Exif.Image.ImageDescription", Kind::Ascii },
    { "{TIFF}", "Artist", "Exif.Image.Artist", Kind::Ascii },
    { "{TIFF}", "Copyright", "Exif.Image.Copyright", Kind::Ascii },
    { "{TIFF}", "XResolution", "Exif.Image.XResolution", Kind::URational },
    { "{TIFF}", "YResolution", "Exif.Image.YResolution", Kind::URational },
    { "{TIFF}", "ResolutionUnit", "Exif.Image.ResolutionUnit", Kind::UShort },
    { "{Exif}", "ExposureTime", "Exif.Photo.ExposureTime", Kind::URational },
    { "{Exif}", "FNumber", "Exif.Photo.FNumber", Kind::URational },
    { "{Exif}", "ExposureProgram", "Exif.Photo.ExposureProgram", Kind::UShort },
    { "{Exif}", "ISOSpeedRatings", "Exif.Photo.ISOSpeedRatings", Kind::UShortList },
    { "{Exif}", "DateTimeOriginal", "Exif.Photo.DateTimeOriginal", Kind::Date },
    { "{Exif}", "DateTimeDigitized", "Exif.Photo.DateTimeDigitized", Kind::Date },
    { "{Exif}", "SubsecTimeOriginal", "Exif.Photo.SubSecTimeOriginal", Kind::Ascii },
    { "{Exif}", "SubsecTimeDigitized", "Exif.Photo.SubSecTimeDigitized", Kind::Ascii },
    { "{Exif}", "ShutterSpeedValue", "Exif.Photo.ShutterSpeedValue", Kind::SRational },
    { "{Exif}", "ApertureValue", "Exif.Photo.ApertureValue", Kind::URational },
    { "{Exif}", "BrightnessValue", "Exif.Photo.BrightnessValue", Kind::SRational },
    { "{Exif}", "ExposureBiasValue", "Exif.Photo.ExposureBiasValue", Kind::SRational },
    { "{Exif}", "MeteringMode", "Exif.Photo.MeteringMode", Kind::UShort },
    { "{Exif}", "Flash", "Exif.Photo.Flash", Kind::UShort },
    { "{Exif}", "FocalLength", "Exif.Photo.FocalLength", Kind::URational },
    { "{Exif}", "SubjectArea", "Exif.Photo.SubjectArea", Kind::UShortList },
    { "{Exif}", "UserComment", "Exif.Photo.UserComment", Kind::Comment },
    { "{Exif}", "ColorSpace", "Exif.Photo.ColorSpace", Kind::UShort },
    { "{Exif}", "SensingMethod", "Exif.Photo.SensingMethod", Kind::UShort },
    { "{Exif}", "ExposureMode", "Exif.Photo.ExposureMode", Kind::UShort },
    { "{Exif}", "WhiteBalance", "Exif.Photo.WhiteBalance", Kind::UShort },
    { "{Exif}", "DigitalZoomRatio", "Exif.Photo.DigitalZoomRatio", Kind::URational },
    { "{Exif}", "FocalLenIn35mmFilm", "Exif.Photo.FocalLengthIn35mmFilm", Kind::UShort },
    { "{Exif}", "SceneCaptureType", "Exif.Photo.SceneCaptureType", Kind::UShort },
    { "{Exif}", "LensMake", "Exif.Photo.LensMake", Kind::Ascii },
    { "{Exif}", "LensModel", "Exif.Photo.LensModel", Kind::Ascii },
    { "{GPS}", "Speed", "Exif.GPSInfo.GPSSpeed", Kind::URational },
    { "{GPS}", "SpeedRef", "Exif.GPSInfo.GPSSpeedRef", Kind::Ascii },
    { "{GPS}", "ImgDirection", "Exif.GPSInfo.GPSImgDirection", Kind::URational },
    { "{GPS}", "ImgDirectionRef", "Exif.GPSInfo.GPSImgDirectionRef", Kind::Ascii },
};

void initialiseExiv2()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::XmpParser::initialize(); // must precede use from several threads
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    });
}

// The closest fraction with a denominator up to maxDenominator (continued fractions).
// Nothing for negative, infinite or not-a-number values, or values too large for 32 bits.
std::optional<std::pair<std::uint32_t, std::uint32_t>> unsignedFraction(
    double value, std::uint32_t maxDenominator = 1'000'000)
{
    if (!std::isfinite(value) || value < 0 || value > double(std::numeric_limits<std::uint32_t>::max()))
        return std::nullopt;
    std::uint64_t h0 = 0, h1 = 1, k0 = 1, k1 = 0;
    double x = value;
    for (int i = 0; i < 40; ++i) {
        const double whole = std::floor(x);
        const std::uint64_t a = std::uint64_t(whole);
        const std::uint64_t h2 = a * h1 + h0;
        const std::uint64_t k2 = a * k1 + k0;
        if (k2 > maxDenominator || h2 > std::numeric_limits<std::uint32_t>::max())
            break;
        h0 = h1;
        h1 = h2;
        k0 = k1;
        k1 = k2;
        const double rest = x - whole;
        if (rest < 1e-12 || std::fabs(double(h1) / double(k1) - value) <= value * 1e-12)
            break;
        x = 1.0 / rest;
    }
    if (k1 == 0)
        return std::nullopt;
    return std::pair { std::uint32_t(h1), std::uint32_t(k1) };
}

std::optional<Exiv2::URational> toURational(double value)
{
    const auto fraction = unsignedFraction(value);
    if (!fraction)
        return std::nullopt;
    return Exiv2::URational(fraction->first, fraction->second);
}

std::optional<Exiv2::Rational> toRational(double value)
{
    const auto fraction = unsignedFraction(std::fabs(value), 1'000'000);
    if (!fraction || fraction->first > std::uint32_t(std::numeric_limits<std::int32_t>::max()))
        return std::nullopt;
    const auto numerator = std::int32_t(fraction->first);
    return Exiv2::Rational(value < 0 ? -numerator : numerator, std::int32_t(fraction->second));
}

std::optional<double> toNumber(const QVariant& value)
{
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (!ok || !std::isfinite(number))
        return std::nullopt;
    return number;
}

std::optional<std::uint16_t> toUShort(const QVariant& value)
{
    const auto number = toNumber(value);
    if (!number || *number < 0 || *number > 65535)
        return std::nullopt;
    return std::uint16_t(std::lround(*number));
}

std::string toAscii(const QVariant& value)
{
    return value.toString().toStdString();
}

std::string toExifDate(const QVariant& value)
{
    if (value.typeId() == QMetaType::QDateTime)
        return value.toDateTime().toLocalTime().toString(kExifDateFormat).toStdString();
    if (value.typeId() == QMetaType::QDate)
        return value.toDate().toString(kExifDayFormat).toStdString() + " 00:00:00";
    return value.toString().toStdString();
}

QVariantList toList(const QVariant& value)
{
    if (value.typeId() == QMetaType::QVariantList || value.typeId() == QMetaType::QStringList)
        return value.toList();
    return { value };
}

void setValue(Exiv2::ExifData& exif, const char* key, const Exiv2::Value& value)
{
    exif[key].setValue(&value);
}

void writeTag(Exiv2::ExifData& exif, const Tag& tag, const QVariant& value)
{
    switch (tag.kind) {
    case Kind::Ascii:
        if (const std::string text = toAscii(value); !text.empty())
            exif[tag.exiv2Key] = text;
        return;
    case Kind::Date:
        if (const std::string text = toExifDate(value); !text.empty())
            exif[tag.exiv2Key] = text;
        return;
    case Kind::Comment: {
        const QString text = value.toString();
        if (text.isEmpty())
            return;
        bool ascii = true;
        for (const QChar c : text)
            ascii = ascii && c.unicode() < 0x80;
        exif[tag.exiv2Key] = (ascii ? "charset=Ascii " : "charset=Unicode ") + text.toStdString();
        return;
    }
    case Kind::UShort:
        if (const auto number = toUShort(value))
            exif[tag.exiv2Key] = *number;
        return;
    case Kind::ULong:
        if (const auto number = toNumber(value); number && *number >= 0 && *number <= 4294967295.0)
            exif[tag.exiv2Key] = std::uint32_t(std::llround(*number));
        return;
    case Kind::URational:
        if (const auto number = toNumber(value))
            if (const auto rational = toURational(*number))
                exif[tag.exiv2Key] = *rational;
        return;
    case Kind::SRational:
        if (const auto number = toNumber(value))
            if (const auto rational = toRational(*number))
                exif[tag.exiv2Key] = *rational;
        return;
    case Kind::UShortList: {
        Exiv2::UShortValue list;
        for (const QVariant& item : toList(value))
            if (const auto number = toUShort(item))
                list.value_.push_back(*number);
        if (!list.value_.empty())
            setValue(exif, tag.exiv2Key, list);
        return;
    }
    }
}

// Degrees as degree/1, minute/1, second/10000: exact to the ten-thousandth of a second.
Exiv2::URationalValue degreesValue(double degrees)
{
    const auto total = std::uint64_t(std::llround(degrees * 3600.0 * 10000.0));
    Exiv2::URationalValue value;
    value.value_.emplace_back(std::uint32_t(total / 36'000'000), 1);
    value.value_.emplace_back(std::uint32_t(total / 600'000 % 60), 1);
    value.value_.emplace_back(std::uint32_t(total % 600'000), 10'000);
    return value;
}

// One coordinate with its ref. A negative value flips the ref, so the file always holds the
// non-negative degrees that EXIF requires; values that are not finite or out of range are
// left out rather than written as garbage.
void writeCoordinate(Exiv2::ExifData& exif, const QVariantMap& gps, const QString& key, const QString& refKey,
    double limit, const char* positive, const char* negative, const char* exivKey, const char* exivRefKey)
{
    const auto value = toNumber(gps.value(key));
    if (!value)
        return;
    const bool refNegative = gps.value(refKey).toString() == QLatin1String(negative);
    const double signedValue = refNegative ? -*value : *value;
    if (std::fabs(signedValue) > limit)
        return;
    setValue(exif, exivKey, degreesValue(std::fabs(signedValue)));
    exif[exivRefKey] = std::string(signedValue < 0 ? negative : positive);
}

void writeGps(Exiv2::ExifData& exif, const QVariantMap& gps)
{
    if (gps.isEmpty())
        return;
    writeCoordinate(exif, gps, ip::GPSLatitude, ip::GPSLatitudeRef, 90.0, "N", "S",
        "Exif.GPSInfo.GPSLatitude", "Exif.GPSInfo.GPSLatitudeRef");
    writeCoordinate(exif, gps, ip::GPSLongitude, ip::GPSLongitudeRef, 180.0, "E", "W",
        "Exif.GPSInfo.GPSLongitude", "Exif.GPSInfo.GPSLongitudeRef");
    if (const auto altitude = toNumber(gps.value(ip::GPSAltitude))) {
        const bool below = *altitude < 0 || gps.value(ip::GPSAltitudeRef).toInt() == 1;
        if (const auto rational = unsignedFraction(std::fabs(*altitude), 1000)) {
            exif["Exif.GPSInfo.GPSAltitude"] = Exiv2::URational(rational->first, rational->second);
            exif["Exif.GPSInfo.GPSAltitudeRef"] = std::string(below ? "1" : "0");
        }
    }
    const QVariant stamp = gps.value(ip::GPSTimeStamp);
    if (stamp.typeId() == QMetaType::QDateTime && stamp.toDateTime().isValid()) {
        const QDateTime utc = stamp.toDateTime().toUTC();
        const QTime time = utc.time();
        Exiv2::URationalValue value;
        value.value_.emplace_back(std::uint32_t(time.hour()), 1);
        value.value_.emplace_back(std::uint32_t(time.minute()), 1);
        value.value_.emplace_back(std::uint32_t(time.second() * 1000 + time.msec()), 1000);
        setValue(exif, "Exif.GPSInfo.GPSTimeStamp", value);
        exif["Exif.GPSInfo.GPSDateStamp"] = utc.date().toString(kExifDayFormat).toStdString();
    }
    if (exif.findKey(Exiv2::ExifKey("Exif.GPSInfo.GPSLatitude")) != exif.end()
        || exif.findKey(Exiv2::ExifKey("Exif.GPSInfo.GPSTimeStamp")) != exif.end())
        exif["Exif.GPSInfo.GPSVersionID"] = std::string("2 2 0 0");
}

void writeKeywords(Exiv2::IptcData& iptc, const QVariant& keywords)
{
    bool any = false;
    for (const QVariant& item : toList(keywords)) {
        const std::string keyword = item.toString().toStdString();
        if (keyword.empty())
            continue;
        Exiv2::StringValue value(keyword);
        iptc.add(Exiv2::IptcKey("Iptc.Application2.Keywords"), &value);
        any = true;
    }
    if (any)
        iptc["Iptc.Envelope.CharacterSet"] = std::string("\x1b%G"); // UTF-8
}

double rationalToDouble(const Exiv2::Rational& r, bool* ok)
{
    *ok = r.second != 0;
    return *ok ? double(r.first) / double(r.second) : 0.0;
}

std::optional<double> readNumber(const Exiv2::Exifdatum& datum, long index = 0)
{
    if (datum.count() <= index)
        return std::nullopt;
    const Exiv2::TypeId type = datum.typeId();
    if (type == Exiv2::unsignedRational) {
        const Exiv2::URational r
            = static_cast<const Exiv2::URationalValue&>(datum.value()).value_.at(std::size_t(index));
        if (r.second == 0)
            return std::nullopt;
        return double(r.first) / double(r.second);
    }
    if (type == Exiv2::signedRational) {
        bool ok = false;
        const double value = rationalToDouble(datum.toRational(index), &ok);
        return ok ? std::optional(value) : std::nullopt;
    }
    return double(datum.toLong(index));
}

QString readText(const Exiv2::Exifdatum& datum)
{
    QString text = QString::fromStdString(datum.toString());
    while (text.endsWith(QChar(0)))
        text.chop(1);
    return text;
}

QVariant integerVariant(double value)
{
    const auto integer = qint64(value);
    if (integer >= std::numeric_limits<int>::min() && integer <= std::numeric_limits<int>::max())
        return int(integer);
    return integer;
}

std::optional<QVariant> readTag(const Exiv2::Exifdatum& datum, Kind kind)
{
    switch (kind) {
    case Kind::Ascii:
        return readText(datum);
    case Kind::Date: {
        const QString text = readText(datum);
        const QDateTime date = QDateTime::fromString(text, kExifDateFormat);
        return date.isValid() ? QVariant(date) : QVariant(text);
    }
    case Kind::Comment:
        if (const auto* comment = dynamic_cast<const Exiv2::CommentValue*>(&datum.value()))
            return QString::fromStdString(comment->comment());
        return readText(datum);
    case Kind::UShort:
    case Kind::ULong:
        if (const auto number = readNumber(datum))
            return integerVariant(*number);
        return std::nullopt;
    case Kind::URational:
    case Kind::SRational:
        if (const auto number = readNumber(datum))
            return *number;
        return std::nullopt;
    case Kind::UShortList: {
        QVariantList list;
        for (long i = 0; i < datum.count(); ++i)
            list.append(int(datum.toLong(i)));
        return list;
    }
    }
    return std::nullopt;
}

const Exiv2::Exifdatum* find(const Exiv2::ExifData& exif, const char* key)
{
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    return it == exif.end() ? nullptr : &*it;
}

std::optional<double> readDegrees(const Exiv2::ExifData& exif, const char* key)
{
    const Exiv2::Exifdatum* datum = find(exif, key);
    if (!datum || datum->count() != 3)
        return std::nullopt;
    const auto d = readNumber(*datum, 0), m = readNumber(*datum, 1), s = readNumber(*datum, 2);
    if (!d || !m || !s)
        return std::nullopt;
    return *d + *m / 60.0 + *s / 3600.0;
}

QVariantMap readGps(const Exiv2::ExifData& exif)
{
    QVariantMap gps;
    const auto readCoordinate
        = [&](const char* key, const char* refKey, const QString& name, const QString& refName) {
              if (const auto degrees = readDegrees(exif, key)) {
                  gps.insert(name, *degrees);
                  if (const Exiv2::Exifdatum* ref = find(exif, refKey))
                      gps.insert(refName, readText(*ref));
              }
          };
    readCoordinate(
        "Exif.GPSInfo.GPSLatitude", "Exif.GPSInfo.GPSLatitudeRef", ip::GPSLatitude, ip::GPSLatitudeRef);
    readCoordinate(
        "Exif.GPSInfo.GPSLongitude", "Exif.GPSInfo.GPSLongitudeRef", ip::GPSLongitude, ip::GPSLongitudeRef);
    if (const Exiv2::Exifdatum* altitude = find(exif, "Exif.GPSInfo.GPSAltitude")) {
        if (const auto metres = readNumber(*altitude)) {
            gps.insert(ip::GPSAltitude, *metres);
            const Exiv2::Exifdatum* ref = find(exif, "Exif.GPSInfo.GPSAltitudeRef");
            gps.insert(ip::GPSAltitudeRef, ref && ref->count() > 0 ? int(ref->toLong()) : 0);
        }
    }
    QString day;
    if (const Exiv2::Exifdatum* date = find(exif, "Exif.GPSInfo.GPSDateStamp")) {
        day = readText(*date);
        gps.insert(ip::GPSDateStamp, day);
    }
    if (const Exiv2::Exifdatum* time = find(exif, "Exif.GPSInfo.GPSTimeStamp"); time && time->count() == 3) {
        const auto h = readNumber(*time, 0), m = readNumber(*time, 1), s = readNumber(*time, 2);
        const QDate date = QDate::fromString(day, kExifDayFormat);
        // A file's numbers can be anything; only a time of day is a time stamp (a leap second
        // allowed), which also keeps the conversions to int in range.
        const auto inRange = [](const std::optional<double>& value, double end) {
            return value && *value >= 0 && *value < end;
        };
        if (inRange(h, 24) && inRange(m, 60) && inRange(s, 61) && date.isValid()) {
            const QTime clock = QTime(int(*h), int(*m)).addMSecs(qint64(std::llround(*s * 1000.0)));
            gps.insert(ip::GPSTimeStamp, QDateTime(date, clock, QTimeZone::utc()));
        }
    }
    for (const Tag& tag : kTags) {
        if (qstrcmp(tag.group, "{GPS}") != 0)
            continue;
        if (const Exiv2::Exifdatum* datum = find(exif, tag.exiv2Key))
            if (const auto value = readTag(*datum, tag.kind))
                gps.insert(QString::fromLatin1(tag.key), *value);
    }
    return gps;
}

} // namespace

QByteArray encodeJpeg(const QImage& image, int quality)
{
    if (image.isNull())
        return {};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    if (!writer.write(image))
        return {};
    return bytes;
}

QByteArray makeThumbnailJpeg(const QImage& image)
{
    if (image.isNull())
        return {};
    QImage small = image;
    if (small.width() > 4 * kThumbnailSize.width() && small.height() > 4 * kThumbnailSize.height()) {
        // A cheap first step to a few times the target; the smooth step then sees few pixels.
        small = small.scaled(kThumbnailSize * 4, Qt::KeepAspectRatio, Qt::FastTransformation);
    }
    if (small.width() > kThumbnailSize.width() || small.height() > kThumbnailSize.height())
        small = small.scaled(kThumbnailSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return encodeJpeg(small, kThumbnailQuality);
}

std::optional<QString> writeJpegMetadata(
    QByteArray& jpeg, const MetadataDictionary& metadata, QSize pixelSize, const QByteArray& thumbnailJpeg)
{
    initialiseExiv2();
    try {
        auto image = Exiv2::ImageFactory::open(
            reinterpret_cast<const Exiv2::byte*>(jpeg.constData()), long(jpeg.size()));
        if (!image.get())
            return QStringLiteral("the encoded image is not understood");
        image->readMetadata();
        Exiv2::ExifData exif;
        Exiv2::IptcData iptc;

        QVariant orientation = metadata.value(ip::Orientation);
        if (!orientation.isValid())
            orientation = metadata.value(ip::TIFFDictionary).toMap().value(ip::TIFFOrientation);
        if (const auto code = toUShort(orientation); code && *code >= 1 && *code <= 8)
            exif["Exif.Image.Orientation"] = *code;

        for (const Tag& tag : kTags) {
            const QVariantMap group = metadata.value(QString::fromLatin1(tag.group)).toMap();
            const auto it = group.constFind(QString::fromLatin1(tag.key));
            if (it != group.constEnd())
                writeTag(exif, tag, *it);
        }
        // The file describes itself: its own pixel size, whatever the camera said.
        exif["Exif.Photo.PixelXDimension"] = std::uint32_t(pixelSize.width());
        exif["Exif.Photo.PixelYDimension"] = std::uint32_t(pixelSize.height());
        writeGps(exif, metadata.value(ip::GPSDictionary).toMap());
        writeKeywords(iptc, metadata.value(ip::IPTCDictionary).toMap().value(ip::IPTCKeywords));

        if (!thumbnailJpeg.isEmpty()) {
            Exiv2::ExifThumb thumb(exif);
            thumb.setJpegThumbnail(
                reinterpret_cast<const Exiv2::byte*>(thumbnailJpeg.constData()), long(thumbnailJpeg.size()));
        }
        image->setExifData(exif);
        image->setIptcData(iptc);
        image->writeMetadata();

        Exiv2::BasicIo& io = image->io();
        if (io.open() != 0)
            return QStringLiteral("the photo could not be assembled in memory");
        const Exiv2::DataBuf written = io.read(long(io.size()));
        io.close();
        jpeg = QByteArray(reinterpret_cast<const char*>(written.pData_), qsizetype(written.size_));
        return std::nullopt;
    } catch (const Exiv2::AnyError& e) {
        return QString::fromStdString(e.what());
    } catch (const std::exception& e) {
        return QString::fromStdString(e.what());
    }
}

std::optional<JpegMetadata> readJpegMetadata(const QByteArray& bytes)
{
    initialiseExiv2();
    try {
        auto image = Exiv2::ImageFactory::open(
            reinterpret_cast<const Exiv2::byte*>(bytes.constData()), long(bytes.size()));
        if (!image.get())
            return std::nullopt;
        image->readMetadata();
        const Exiv2::ExifData& exif = image->exifData();

        JpegMetadata result;
        MetadataDictionary& dictionary = result.dictionary;
        if (image->pixelWidth() > 0 && image->pixelHeight() > 0) {
            dictionary.insert(ip::PixelWidth, image->pixelWidth());
            dictionary.insert(ip::PixelHeight, image->pixelHeight());
        }
        if (const Exiv2::Exifdatum* orientation = find(exif, "Exif.Image.Orientation");
            orientation && orientation->count() > 0) {
            const long code = orientation->toLong();
            if (code >= 1 && code <= 8) {
                result.exifOrientation = int(code);
                dictionary.insert(ip::Orientation, int(code));
            }
        }
        QVariantMap exifGroup;
        QVariantMap tiffGroup;
        for (const Tag& tag : kTags) {
            QVariantMap* group = qstrcmp(tag.group, "{Exif}") == 0 ? &exifGroup
                : qstrcmp(tag.group, "{TIFF}") == 0                ? &tiffGroup
                                                                   : nullptr;
            if (!group)
                continue;
            if (const Exiv2::Exifdatum* datum = find(exif, tag.exiv2Key))
                if (const auto value = readTag(*datum, tag.kind))
                    group->insert(QString::fromLatin1(tag.key), *value);
        }
        for (const auto& [key, exivKey] :
            { std::pair { &ip::ExifPixelXDimension, "Exif.Photo.PixelXDimension" },
                std::pair { &ip::ExifPixelYDimension, "Exif.Photo.PixelYDimension" } })
            if (const Exiv2::Exifdatum* datum = find(exif, exivKey))
                if (const auto number = readNumber(*datum))
                    exifGroup.insert(*key, integerVariant(*number));
        if (!exifGroup.isEmpty())
            dictionary.insert(ip::ExifDictionary, exifGroup);
        if (!tiffGroup.isEmpty())
            dictionary.insert(ip::TIFFDictionary, tiffGroup);
        if (const QVariantMap gps = readGps(exif); !gps.isEmpty())
            dictionary.insert(ip::GPSDictionary, gps);

        QStringList keywords;
        for (const Exiv2::Iptcdatum& datum : image->iptcData())
            if (datum.key() == "Iptc.Application2.Keywords")
                keywords.append(QString::fromStdString(datum.toString()));
        if (!keywords.isEmpty())
            dictionary.insert(ip::IPTCDictionary, QVariantMap { { ip::IPTCKeywords, keywords } });

        Exiv2::ExifThumbC thumb(exif);
        const Exiv2::DataBuf thumbnail = thumb.copy();
        if (thumbnail.size_ > 0 && std::string(thumb.mimeType()) == "image/jpeg")
            result.thumbnailJpeg
                = QByteArray(reinterpret_cast<const char*>(thumbnail.pData_), thumbnail.size_);
        return result;
    } catch (const Exiv2::AnyError&) {
        return std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace platform
