// The metadata dictionary operations, alone and with the album. The photo tests read back what a
// capture saves: the orientation and the camera's attachments in the file.

#include <cmath>
#include <future>

#include <QDateTime>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "../platform/album/AlbumTestSupport.h"
#include "photos/ImageMetadataCategory.h"
#include "platform/album/AssetsLibrary.h"
#include "platform/album/ImagePropertyKeys.h"

namespace ip = platform::ImageProperty;
using photos::ImageMetadataCategory;
using photos::Location;

namespace {

QVariantMap group(const ImageMetadataCategory& metadata, const QString& key)
{
    return metadata.dictionary().value(key).toMap();
}

// ---- Position -----------------------------------------------------------------------------------

// A fix that is no number gets the refs of north and east rather than garbage, and no fix changes
// nothing. Signed fixes are the capture tests', read back from the saved photos.
TEST(ImageMetadataLocationTest, FixThatIsNoNumberGetsNorthAndEastAndNoFixChangesNothing)
{
    ImageMetadataCategory metadata;
    metadata.setLocation(Location { std::nan(""), std::nan(""), QDateTime::currentDateTimeUtc() });
    const QVariantMap gps = group(metadata, ip::GPSDictionary);
    EXPECT_EQ(gps.value(ip::GPSLatitudeRef).toString(), "N");
    EXPECT_EQ(gps.value(ip::GPSLongitudeRef).toString(), "E");
    metadata.setLocation(std::nullopt);
    EXPECT_EQ(group(metadata, ip::GPSDictionary), gps);
}

TEST(ImageMetadataLocationTest, ReadingHonoursOnlyExactRefs)
{
    const auto read = [](QVariantMap gps) {
        return ImageMetadataCategory(platform::MetadataDictionary { { ip::GPSDictionary, gps } }).location();
    };
    EXPECT_GT(read({ { ip::GPSLatitude, 33.9 }, { ip::GPSLatitudeRef, "s" } })->latitude, 0.0);
    EXPECT_LT(read({ { ip::GPSLatitude, 33.9 }, { ip::GPSLatitudeRef, "S" } })->latitude, 0.0);
    EXPECT_LT(read({ { ip::GPSLongitude, 70.0 }, { ip::GPSLongitudeRef, "W" } })->longitude, 0.0);
    const auto missing = read({ { ip::GPSLatitudeRef, "S" } });
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->latitude, 0.0);
    EXPECT_EQ(missing->longitude, 0.0);
    EXPECT_FALSE(missing->timestamp.isValid());
    EXPECT_FALSE(ImageMetadataCategory().location());
}

// ---- Groups -------------------------------------------------------------------------------------

TEST(ImageMetadataGroupTest, SettersKeepEntriesOfGroupsFromElsewhereAndRepairBrokenOnes)
{
    // A TIFF group as another map form (as a copied, read-only group would arrive) and an EXIF
    // group holding the camera's data: both keep what they had.
    QVariantHash tiff { { "XResolution", 72 } };
    ImageMetadataCategory metadata(platform::MetadataDictionary { { ip::TIFFDictionary, tiff },
        { ip::ExifDictionary, QVariantMap { { ip::ExifExposureTime, 0.01 } } } });
    metadata.setMake("Lumivue+", "Model X", "Lumivue 1.0");
    metadata.setDigitalZoom(2.5f);

    const QVariantMap tiffGroup = group(metadata, ip::TIFFDictionary);
    EXPECT_EQ(metadata.dictionary().value(ip::TIFFDictionary).typeId(), QMetaType::QVariantMap);
    EXPECT_EQ(tiffGroup.value("XResolution").toInt(), 72);
    EXPECT_EQ(tiffGroup.value(ip::TIFFMake).toString(), "Lumivue+");
    const QVariantMap exif = group(metadata, ip::ExifDictionary);
    EXPECT_EQ(exif.value(ip::ExifExposureTime).toDouble(), 0.01);
    EXPECT_EQ(exif.value(ip::ExifDigitalZoomRatio).toFloat(), 2.5f);

    // A group asked for is made; a value that is no map at all is replaced by a group rather
    // than written into.
    ImageMetadataCategory broken(
        platform::MetadataDictionary { { ip::IPTCDictionary, QStringLiteral("junk") } });
    EXPECT_TRUE(broken.dictionaryForKey(ip::GPSDictionary).isEmpty());
    EXPECT_EQ(broken.dictionary().value(ip::GPSDictionary).typeId(), QMetaType::QVariantMap);
    broken.setKeywords(QStringList { "a", "b" });
    EXPECT_EQ(
        group(broken, ip::IPTCDictionary).value(ip::IPTCKeywords).toStringList(), (QStringList { "a", "b" }));
}

// ---- Initialisers -------------------------------------------------------------------------------

class ImageMetadataInitTest : public ::testing::Test {
protected:
    QTemporaryDir m_dir;
    platform::AssetsLibrary m_library { m_dir.path() };
};

TEST_F(ImageMetadataInitTest, PickerOnOldOrUnknownSystemsGivesNothing)
{
    const photos::ImagePickerInfo info { std::nullopt,
        platform::MetadataDictionary { { ip::Orientation, 3 } } };
    for (const auto& [version, kept] : { std::pair { "4.0", false }, { "", false }, { "four", false },
             { "4.1", true }, { "17.0.1", true } }) {
        ImageMetadataCategory metadata;
        metadata.initWithInfoFromImagePicker(info, version, m_library);
        EXPECT_EQ(metadata.dictionary().value(ip::Orientation).toInt(), kept ? 3 : 0) << version;
    }
    ImageMetadataCategory none;
    none.initWithInfoFromImagePicker({}, "17.0", m_library);
    EXPECT_TRUE(none.dictionary().isEmpty());
}

// The album's metadata arrives later, through the URL or the picker; a lookup that fails (a URL
// that leaves the album) or arrives after newer content or after its receiver is gone changes
// nothing.
TEST_F(ImageMetadataInitTest, AssetUrlBringsTheAlbumMetadataUnlessFailedOrOvertaken)
{
    ImageMetadataCategory source;
    source.setMake("Lumivue+", "Lumivue+", "Lumivue+");
    source.setImageOrientation(3);
    const platform::AssetURL url
        = albumtest::writeAndWait(m_library, albumtest::splitImage(96, 64), source.dictionary()).url;
    std::promise<void> viaURL, viaPicker, failedDone, overtaken, dropped;
    ImageMetadataCategory fromURL, fromPicker, failed, reused;
    fromURL.initFromAssetURL(m_library, url, [&] { viaURL.set_value(); });
    fromPicker.initWithInfoFromImagePicker({ url, platform::MetadataDictionary { { "ignored", 1 } } }, "5.0",
        m_library, [&] { viaPicker.set_value(); });
    failed.initFromAssetURL(m_library,
        platform::AssetURL::fromString("assets-library://asset/../../etc/passwd"),
        [&] { failedDone.set_value(); });
    reused.initFromAssetURL(m_library, url, [&] { overtaken.set_value(); });
    reused.initWithImageSampleBuffer({ { "fresh", true } });
    {
        ImageMetadataCategory gone;
        gone.initFromAssetURL(m_library, url, [&] { dropped.set_value(); });
    }
    for (auto* done : { &viaURL, &viaPicker, &failedDone, &overtaken, &dropped })
        ASSERT_EQ(done->get_future().wait_for(albumtest::kWait), std::future_status::ready);
    for (const ImageMetadataCategory* metadata : { &fromURL, &fromPicker }) {
        EXPECT_EQ(metadata->dictionary().value(ip::Orientation).toInt(), 6);
        EXPECT_EQ(group(*metadata, ip::TIFFDictionary).value(ip::TIFFModel).toString(), "Lumivue+");
    }
    EXPECT_FALSE(fromPicker.dictionary().contains("ignored"));
    EXPECT_TRUE(failed.dictionary().isEmpty());
    EXPECT_EQ(reused.dictionary(), (platform::MetadataDictionary { { "fresh", true } }));
}

} // namespace
