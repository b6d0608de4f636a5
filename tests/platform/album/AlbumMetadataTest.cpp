// Photos written through the album carry their metadata in standard EXIF/IPTC form, as read back
// by exiv2 on its own, and the album's reader gives the same values back.

#include <cmath>

#include <QDateTime>
#include <QTemporaryDir>
#include <QTimeZone>

#include "AlbumTestSupport.h"
#include "platform/album/ImageOrientation.h"
#include "platform/album/ImagePropertyKeys.h"
#include "support/TestNames.h"

using namespace albumtest;
namespace ip = platform::ImageProperty;

namespace {

class AlbumMetadataTest : public ::testing::Test {
protected:
    QString onlyPhotoPath() const
    {
        const QStringList entries = folderEntries(m_dir.path());
        EXPECT_EQ(entries, QStringList { "IMG_0001.JPG" });
        return m_dir.filePath(entries.value(0));
    }

    QTemporaryDir m_dir;
    platform::AssetsLibrary m_library { m_dir.path() };
};

platform::MetadataDictionary cameraMetadata()
{
    return {
        { ip::Orientation, 6 },
        { ip::TIFFDictionary,
            QVariantMap { { ip::TIFFMake, "Lumivue+" }, { ip::TIFFModel, "Lumivue+" },
                { ip::TIFFSoftware, "Lumivue+" },
                { ip::TIFFDateTime, QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9)) } } },
        { ip::ExifDictionary,
            QVariantMap { { ip::ExifExposureTime, 1.0 / 60.0 }, { ip::ExifFNumber, 2.4 },
                { ip::ExifISOSpeedRatings, QVariantList { 400 } }, { "ExposureBiasValue", -0.5 },
                { "Flash", 16 },
                { ip::ExifPixelXDimension, 9999 }, // the camera's claim; the file states its own
                { ip::ExifDateTimeOriginal, QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9)) },
                { ip::ExifUserComment, QString::fromUtf8("Nachtsicht \u00fcber dem See") },
                { "NoSuchTag", 12 } } },
        { ip::IPTCDictionary, QVariantMap { { ip::IPTCKeywords, QStringList { "night", "lake" } } } },
    };
}

TEST_F(AlbumMetadataTest, CameraMetadataLandsAsStandardExifAndReadsBackAsWritten)
{
    const WriteResult result = writeAndWait(m_library, splitImage(320, 240), cameraMetadata());
    ASSERT_FALSE(result.error) << result.error->description().toStdString();
    const FileMetadata file = readFile(onlyPhotoPath());

    EXPECT_EQ(QSize(file.width, file.height), QSize(320, 240));
    // Make, model, software and exposure as the program test reads them; here the rest.
    for (const auto& [key, value] : std::initializer_list<std::pair<const char*, const char*>> {
             { "Exif.Image.DateTime", "2024:05:06 07:08:09" },
             { "Exif.Photo.DateTimeOriginal", "2024:05:06 07:08:09" }, { "Exif.Photo.ExposureTime", "1/60" },
             { "Exif.Photo.ExposureBiasValue", "-1/2" }, { "Exif.Photo.Flash", "16" },
             { "Exif.Photo.PixelXDimension", "320" }, { "Exif.Photo.PixelYDimension", "240" } })
        EXPECT_EQ(text(file.exif, key), value) << key;

    std::vector<std::string> keywords;
    for (const auto& datum : file.iptc)
        if (datum.key() == "Iptc.Application2.Keywords")
            keywords.push_back(datum.toString());
    EXPECT_EQ(keywords, (std::vector<std::string> { "night", "lake" }));

    // The album's own reader gives the same values back, in the dictionary layout.
    const LookupResult found = lookupAndWait(m_library, result.url);
    ASSERT_TRUE(found.asset);
    const platform::MetadataDictionary metadata = found.asset->defaultRepresentation().metadata();

    EXPECT_EQ(metadata.value(ip::PixelHeight).toInt(), 240);
    const QVariantMap exif = metadata.value(ip::ExifDictionary).toMap();
    EXPECT_EQ(exif.value(ip::ExifISOSpeedRatings).toList(), QVariantList { 400 });
    EXPECT_EQ(exif.value(ip::ExifUserComment).toString(), QString::fromUtf8("Nachtsicht \u00fcber dem See"));
    EXPECT_EQ(metadata.value(ip::IPTCDictionary).toMap().value(ip::IPTCKeywords).toStringList(),
        (QStringList { "night", "lake" }));
    EXPECT_FALSE(metadata.contains(ip::GPSDictionary));
}

TEST_F(AlbumMetadataTest, EmbeddedThumbnailIsASmallDecodableJpeg)
{
    ASSERT_FALSE(writeAndWait(m_library, splitImage(2592, 1936), cameraMetadata()).error);
    const FileMetadata file = readFile(onlyPhotoPath());
    Exiv2::ExifThumbC thumb(file.exif);
    const Exiv2::DataBuf bytes = thumb.copy();
    ASSERT_GT(bytes.size_, 0);
    const QImage decoded
        = QImage::fromData(QByteArray(reinterpret_cast<const char*>(bytes.pData_), bytes.size_));
    ASSERT_FALSE(decoded.isNull());
    EXPECT_EQ(decoded.size(), QSize(160, 120));
    EXPECT_TRUE(isReddish(decoded.pixel(10, 60)));
    EXPECT_FALSE(isReddish(decoded.pixel(150, 60)));
}

// ---- GPS: the zero and the rounding edge, signed input as a position fix gives it -------------

struct Position {
    double latitude;
    double longitude;
    const char* latitudeRef;
    const char* longitudeRef;
};

class AlbumGpsTest : public AlbumMetadataTest, public ::testing::WithParamInterface<Position> { };

TEST_P(AlbumGpsTest, CoordinatesAreDegreeRationalsWithRefs)
{
    const Position p = GetParam();
    // As the metadata dictionary stores a fix: non-negative 32-bit degrees, the sign in the ref.
    const float latitude = float(std::fabs(p.latitude));
    const float longitude = float(std::fabs(p.longitude));
    const QDateTime stamp(QDate(2024, 5, 6), QTime(7, 8, 9, 500), QTimeZone::utc());
    const platform::MetadataDictionary metadata { { ip::GPSDictionary,
        QVariantMap { { ip::GPSLatitude, latitude }, { ip::GPSLatitudeRef, p.latitude < 0 ? "S" : "N" },
            { ip::GPSLongitude, longitude }, { ip::GPSLongitudeRef, p.longitude < 0 ? "W" : "E" },
            { ip::GPSTimeStamp, stamp } } } };
    const WriteResult result = writeAndWait(m_library, splitImage(64, 48), metadata);
    ASSERT_FALSE(result.error);
    const FileMetadata file = readFile(onlyPhotoPath());

    EXPECT_EQ(text(file.exif, "Exif.GPSInfo.GPSLatitudeRef"), p.latitudeRef);
    EXPECT_EQ(text(file.exif, "Exif.GPSInfo.GPSLongitudeRef"), p.longitudeRef);
    EXPECT_NEAR(degrees(file.exif, "Exif.GPSInfo.GPSLatitude"), double(latitude), 1e-7);
    EXPECT_NEAR(degrees(file.exif, "Exif.GPSInfo.GPSLongitude"), double(longitude), 1e-7);
    EXPECT_LT(rational(file.exif, "Exif.GPSInfo.GPSLatitude", 1), 60.0);
    EXPECT_LT(rational(file.exif, "Exif.GPSInfo.GPSLatitude", 2), 60.0);
    EXPECT_EQ(text(file.exif, "Exif.GPSInfo.GPSDateStamp"), "2024:05:06");
    EXPECT_NEAR(rational(file.exif, "Exif.GPSInfo.GPSTimeStamp", 2), 9.5, 1e-9);
    EXPECT_EQ(text(file.exif, "Exif.GPSInfo.GPSVersionID"), "2 2 0 0");

    const platform::MetadataDictionary back
        = lookupAndWait(m_library, result.url).asset->defaultRepresentation().metadata();
    const QVariantMap gps = back.value(ip::GPSDictionary).toMap();
    EXPECT_EQ(gps.value(ip::GPSLatitudeRef).toString(), p.latitudeRef);
    EXPECT_NEAR(gps.value(ip::GPSLongitude).toDouble(), double(longitude), 1e-7);
    EXPECT_EQ(gps.value(ip::GPSTimeStamp).toDateTime(), stamp);
}

INSTANTIATE_TEST_SUITE_P(Edges, AlbumGpsTest,
    // Southern, western and both signs are the capture's and the program's photos.
    ::testing::Values(Position { 0.0, 0.0, "N", "E" }, Position { 89.9999999, 179.9999999, "N", "E" }),
    [](const auto& row) {
        return std::string(row.param.latitude == 0.0 ? "Zero" : "SecondsRoundBelowSixty");
    });

TEST_F(AlbumMetadataTest, GpsSignWithoutRefAndUnusableValuesAreHandledSoundly)
{
    // A negative value (no ref) is a southern/western position, stored as EXIF wants it;
    // a latitude that is not a number is left out rather than written as garbage.
    const platform::MetadataDictionary metadata { { ip::GPSDictionary,
        QVariantMap {
            { ip::GPSLatitude, std::nan("") }, { ip::GPSLongitude, -0.5 }, { ip::GPSAltitude, -12.25 } } } };
    ASSERT_FALSE(writeAndWait(m_library, splitImage(64, 48), metadata).error);
    const FileMetadata file = readFile(onlyPhotoPath());
    EXPECT_EQ(text(file.exif, "Exif.GPSInfo.GPSLatitude"), "<missing>");
    EXPECT_EQ(text(file.exif, "Exif.GPSInfo.GPSLongitudeRef"), "W");
    EXPECT_NEAR(degrees(file.exif, "Exif.GPSInfo.GPSLongitude"), 0.5, 1e-9);
    EXPECT_NEAR(rational(file.exif, "Exif.GPSInfo.GPSAltitude"), 12.25, 1e-9);
    EXPECT_EQ(text(file.exif, "Exif.GPSInfo.GPSAltitudeRef"), "1");
}

// ---- Orientation: stored, read back as an image orientation code, shown upright ---------------
// (the photo tests turn EXIF 6 and 8 upright on the screen too)

struct OrientationRow {
    int exif;
    int imageCode;
    QPointF redAt; // where the stored left (red) half shows on the upright thumbnail, 0-1 of its size
};

class AlbumOrientationTest : public AlbumMetadataTest,
                             public ::testing::WithParamInterface<OrientationRow> { };

TEST_P(AlbumOrientationTest, PixelsStayStoredAndThumbnailIsUpright)
{
    const auto [exif, imageCode, redAt] = GetParam();
    const QImage original = splitImage(200, 100);
    const WriteResult result = writeAndWait(m_library, original, { { ip::Orientation, exif } });
    ASSERT_FALSE(result.error);
    EXPECT_EQ(text(readFile(onlyPhotoPath()).exif, "Exif.Image.Orientation"), std::to_string(exif));

    const auto asset = lookupAndWait(m_library, result.url).asset;
    ASSERT_TRUE(asset);
    const platform::AssetRepresentation representation = asset->defaultRepresentation();
    EXPECT_EQ(representation.orientation(), imageCode);

    const QImage stored = representation.fullResolutionImage();
    EXPECT_EQ(stored.size(), original.size());
    EXPECT_TRUE(isReddish(stored.pixel(20, 50)));

    // Upright: where the red (stored left) half ends up for each orientation.
    const QImage thumb = asset->thumbnail();
    ASSERT_FALSE(thumb.isNull());
    const bool sideways = exif >= 5;
    EXPECT_EQ(thumb.width() < thumb.height(), sideways);
    EXPECT_TRUE(
        isReddish(thumb.pixel(int(redAt.x() * (thumb.width() - 1)), int(redAt.y() * (thumb.height() - 1)))));
}

INSTANTIATE_TEST_SUITE_P(Codes, AlbumOrientationTest,
    ::testing::Values(OrientationRow { 6, 3, { 0.5, 0.02 } }, OrientationRow { 1, 0, { 0.02, 0.5 } },
        OrientationRow { 3, 1, { 0.98, 0.5 } }, OrientationRow { 8, 2, { 0.5, 0.98 } }),
    [](const auto& row) { return "Exif" + std::to_string(row.param.exif); });

TEST(ImageOrientationTest, MirroredFormsTurnUprightConsistently)
{
    // 2×2 picture: A B / C D with distinct colours; each EXIF form lands A where it belongs.
    QImage stored(2, 2, QImage::Format_RGB32);
    const QRgb a = qRgb(255, 0, 0), b = qRgb(0, 255, 0), c = qRgb(0, 0, 255), d = qRgb(255, 255, 0);
    for (const auto& [at, colour] :
        { std::pair { QPoint(0, 0), a }, { QPoint(1, 0), b }, { QPoint(0, 1), c }, { QPoint(1, 1), d } })
        stored.setPixel(at, colour);
    const auto upright = [&](int exif) { return platform::imageTurnedUpright(stored, exif); };
    EXPECT_EQ(upright(2).pixel(0, 0), b);
    EXPECT_EQ(upright(4).pixel(0, 0), c);
    EXPECT_EQ(upright(5).pixel(0, 0), a); // transpose keeps A, swaps B and C
    EXPECT_EQ(upright(5).pixel(1, 0), c);
    EXPECT_EQ(upright(7).pixel(0, 0), d); // transverse
    EXPECT_EQ(upright(6).pixel(1, 0), a); // A to the top right
    EXPECT_EQ(upright(8).pixel(0, 1), a); // A to the bottom left
    // A file's orientation out of range is taken as upright, both ways round.
    EXPECT_EQ(upright(9).pixel(0, 0), a);
    EXPECT_EQ(platform::imageOrientationForExifOrientation(0), 0);
    EXPECT_EQ(platform::exifOrientationForImageOrientation(9), 1);
}

} // namespace
