// Videos in the album: names shared with photos, recordings claimed, stored and found again after
// a kill, links refused, and thumbnails with a play mark.

#include <array>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include "AlbumTestSupport.h"
#include "support/TestVideo.h"

using namespace albumtest;
using platform::AlbumFolder;

namespace {

// A recording's claim with `bytes` written into it, as a recorder would.
platform::RecordingClaim recorded(const AlbumFolder& folder, const QString& extension, int bytes = 4096)
{
    AlbumFolder::Claimed claimed = folder.claimRecording(extension);
    EXPECT_FALSE(claimed.error);
    QFile file(claimed.claim.path());
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(bytes, 'v'));
    return std::move(claimed.claim);
}

QString fileName(const platform::AssetURL& url)
{
    return url.toString().section('/', -1).section('?', 0, 0);
}

struct SequenceRow {
    const char* name;
    QStringList present;
    QString steps; // one letter a step: p a photo, m an MP4 recording, w a WebM one
    QStringList expected; // the album's listing afterwards
};

class AlbumVideoSequenceTest : public ::testing::TestWithParam<SequenceRow> { };

TEST_P(AlbumVideoSequenceTest, PhotosAndVideosShareOneNumberSequence)
{
    const SequenceRow& row = GetParam();
    QTemporaryDir dir;
    for (const QString& name : row.present) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    platform::AssetsLibrary library(dir.path());
    const AlbumFolder folder(dir.path(), AlbumFolder::Creation::Never);
    for (const QChar step : row.steps) {
        if (step == 'p') {
            ASSERT_FALSE(writeAndWait(library, splitImage(16, 16)).error);
            continue;
        }
        const AlbumFolder::Stored stored
            = folder.storeRecording(recorded(folder, step == 'm' ? "mp4" : ".WEBM"));
        ASSERT_FALSE(stored.error) << stored.error->description().toStdString();
    }
    QStringList listed;
    for (const platform::AssetURL& url : enumerateAndWait(library).urls) {
        listed << fileName(url);
        EXPECT_TRUE(lookupAndWait(library, url).asset) << url.toString().toStdString();
    }
    EXPECT_EQ(listed, row.expected) << folderEntries(dir.path()).join(' ').toStdString();
    EXPECT_TRUE(folderEntries(dir.path()).filter(QRegularExpression("^\\.")).isEmpty())
        << "no hidden file left";
}

INSTANTIATE_TEST_SUITE_P(Albums, AlbumVideoSequenceTest,
    ::testing::Values(SequenceRow { "VideoAfterPhotoAfterVideo", { "IMG_0003.JPG" }, "mpw",
                          { "IMG_0003.JPG", "VID_0004.MP4", "IMG_0005.JPG", "VID_0006.WEBM" } },
        // Only canonical video names count.
        SequenceRow { "StrangersIgnored", { "VID_7.MP4", "vid_0009.mp4", "VID_0009.MOV", "VID_00009.WEBM" },
            "mp", { "VID_0001.MP4", "IMG_0002.JPG" } },
        SequenceRow { "PastFourDigits", { "VID_9999.WEBM" }, "p", { "VID_9999.WEBM", "IMG_10000.JPG" } }),
    [](const auto& row) { return std::string(row.param.name); });

TEST(AlbumVideoConcurrencyTest, RacingPhotoAndVideoWritersNeverShareANumber)
{
    constexpr int kEach = 10;
    QTemporaryDir dir;
    {
        auto photos = std::make_unique<platform::AssetsLibrary>(dir.path());
        const AlbumFolder folder(dir.path(), AlbumFolder::Creation::Never);
        std::jthread videos([&] {
            for (int i = 0; i < kEach; ++i)
                EXPECT_FALSE(folder.storeRecording(recorded(folder, "MP4")).error);
        });
        for (int i = 0; i < kEach; ++i)
            photos->writeImageToSavedPhotosAlbum(splitImage(64, 48), {}, {});
    } // both writers done
    const QStringList entries = folderEntries(dir.path());
    EXPECT_EQ(entries.size(), 2 * kEach) << entries.join(' ').toStdString();
    QSet<QString> numbers;
    for (const QString& name : entries)
        numbers.insert(name.mid(4, 4));
    EXPECT_EQ(numbers.size(), 2 * kEach) << entries.join(' ').toStdString();
}

TEST(AlbumRecordingTest, ClaimsAreLockedReleasedOnesAreFoundAgainAndEmptyOnesRemoved)
{
    QTemporaryDir dir;
    const AlbumFolder folder(dir.path(), AlbumFolder::Creation::Never);
    platform::RecordingClaim live = recorded(folder, "MP4");
    ASSERT_TRUE(live.fileName().startsWith(".VID-") && live.fileName().endsWith(".MP4.part"));
    struct stat info { };
    ASSERT_EQ(::stat(QFile::encodeName(live.path()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    {
        recorded(folder, "WEBM");
    } // dropped unstored, as by a killed recorder
    AlbumFolder::Claimed empty = folder.claimRecording("MP4");
    ASSERT_FALSE(empty.error);
    const QString emptyName = empty.claim.fileName();
    empty.claim = {};
    // Old enough for the photos' sweep, which must leave recordings alone.
    const QString old = dir.filePath(".IMG-abc123.tmp");
    QFile(old).open(QIODevice::WriteOnly);
    for (const QString& path : { old, dir.filePath(emptyName) })
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(),
                      std::array<timespec, 2> { timespec { 1, 0 }, timespec { 1, 0 } }.data(), 0),
            0);
    EXPECT_EQ(folder.removeStaleTemporaryFiles(), 1);
    EXPECT_FALSE(folder.claimRecording("MOV").claim.isValid());

    // The live claim is held (even from this process); the two released ones are found.
    std::vector<platform::RecordingClaim> left = folder.interruptedRecordings();
    ASSERT_EQ(left.size(), 2u) << folderEntries(dir.path()).join(' ').toStdString();
    EXPECT_TRUE(folder.interruptedRecordings().empty()) << "claimed by the first call";
    if (left[0].fileName() == emptyName)
        std::swap(left[0], left[1]);
    EXPECT_EQ(folder.storeRecording(std::move(left[0])).name, "VID_0001.WEBM");
    const AlbumFolder::Stored nothing = folder.storeRecording(std::move(left[1]));
    ASSERT_TRUE(nothing.error);
    EXPECT_EQ(nothing.error->kind(), platform::AlbumError::Kind::NothingRecorded);
    EXPECT_EQ(folder.storeRecording(std::move(live)).name, "VID_0002.MP4");
    EXPECT_EQ(folderEntries(dir.path()), (QStringList { "VID_0001.WEBM", "VID_0002.MP4" }));
}

TEST(AlbumRecordingTest, LinksAreNeitherVideosNorRecordings)
{
    QTemporaryDir dir;
    QTemporaryDir outside;
    ASSERT_TRUE(testing_support::makeTestVideo(outside.filePath("v.mp4"), "red"));
    for (const char* name : { "VID_0001.MP4", ".VID-abcdef.MP4.part" })
        ASSERT_TRUE(QFile::link(outside.filePath("v.mp4"), dir.filePath(name)));
    ASSERT_TRUE(QDir(dir.path()).mkdir("VID_0002.MP4"));
    const AlbumFolder folder(dir.path(), AlbumFolder::Creation::Never);
    EXPECT_TRUE(folder.list().names.empty());
    EXPECT_TRUE(folder.interruptedRecordings().empty());
    for (const char* name : { "VID_0001.MP4", "VID_0002.MP4" }) {
        EXPECT_FALSE(folder.find(name).present);
        EXPECT_FALSE(folder.openVideo(name).isValid());
        EXPECT_TRUE(folder.videoFileURL(name).isEmpty());
    }
    // Named like a video: not read as a photo; the next video goes past the link's number.
    EXPECT_FALSE(folder.readPhoto("VID_0001.MP4"));
    EXPECT_EQ(folder.storeRecording(recorded(folder, "MP4")).name, "VID_0003.MP4");
}

struct ThumbnailRow {
    const char* name;
    const char* file;
    const char* pattern; // nullptr: not a video at all
    QRgb corner; // the thumbnail's colour away from the mark
};

class AlbumVideoThumbnailTest : public ::testing::TestWithParam<ThumbnailRow> { };

TEST_P(AlbumVideoThumbnailTest, FirstFrameWithAPlayMark)
{
    const ThumbnailRow& row = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath(row.file);
    if (row.pattern) {
        ASSERT_TRUE(testing_support::makeTestVideo(path, row.pattern, path.endsWith("WEBM")));
    } else {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(5000, 'x')); // damaged: still in the album, with a plain picture
    }
    platform::AssetsLibrary library(dir.path());
    const Enumeration listed = enumerateAndWait(library);
    ASSERT_EQ(listed.urls.size(), 1u);
    const auto asset = lookupAndWait(library, listed.urls[0]).asset;
    ASSERT_TRUE(asset && asset->isVideo());
    const QImage thumbnail = asset->thumbnail();
    ASSERT_FALSE(thumbnail.isNull());
    EXPECT_LE(thumbnail.width(), 160);
    EXPECT_LE(thumbnail.height(), 120);
    const int w = thumbnail.width(), h = thumbnail.height();
    const auto near = [](QRgb a, QRgb b) {
        return std::abs(qRed(a) - qRed(b)) < 40 && std::abs(qGreen(a) - qGreen(b)) < 40
            && std::abs(qBlue(a) - qBlue(b)) < 40;
    };
    EXPECT_TRUE(near(thumbnail.pixel(4, 4), row.corner)) << std::hex << thumbnail.pixel(4, 4);
    EXPECT_TRUE(near(thumbnail.pixel(w / 2, h / 2), qRgb(255, 255, 255))) << "the triangle";
    // Inside the circle, beside the triangle: the frame darkened.
    const QRgb ring = thumbnail.pixel(w / 2, h / 2 - int(h * 0.18));
    EXPECT_LT(qGray(ring), qGray(row.corner) + 1);
    EXPECT_FALSE(near(ring, qRgb(255, 255, 255)));

    const platform::AssetRepresentation representation = asset->defaultRepresentation();
    EXPECT_EQ(representation.fileURL(), QUrl::fromLocalFile(path));
    EXPECT_EQ(representation.size(), QFileInfo(path).size());
}

INSTANTIATE_TEST_SUITE_P(Videos, AlbumVideoThumbnailTest,
    ::testing::Values(ThumbnailRow { "Mp4", "VID_0001.MP4", "red", qRgb(255, 0, 0) },
        ThumbnailRow { "WebM", "VID_0001.WEBM", "blue", qRgb(0, 0, 255) },
        ThumbnailRow { "Damaged", "VID_0001.MP4", nullptr, qRgb(32, 32, 32) }),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
