// Videos in the album: names shared with photos, recordings claimed, stored and found again after
// a kill, links refused, and thumbnails with a play mark.

#include <array>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include "AlbumTestSupport.h"
#include "support/TestVideo.h"

using namespace albumtest;
using platform::AlbumFolder;

namespace {

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
    QSet<QString> numbers; // a rename over another file would leave fewer entries
    for (const QString& name : folderEntries(dir.path()))
        numbers.insert(name.mid(4, 4));
    EXPECT_EQ(numbers.size(), 2 * kEach) << folderEntries(dir.path()).join(' ').toStdString();
}

// Links named like videos or recordings (to a file outside) are neither, but hold their number.
TEST(AlbumRecordingTest, ClaimsAreLockedReleasedOnesAreFoundAgainEmptyOnesRemovedLinksRefused)
{
    QTemporaryDir dir;
    for (const char* name : { "VID_0001.MP4", ".VID-abcdef.MP4.part" })
        ASSERT_TRUE(QFile::link(LUMIVUE_SOURCE_DIR "/README.md", dir.filePath(name)));
    const AlbumFolder folder(dir.path(), AlbumFolder::Creation::Never);
    EXPECT_FALSE(folder.find("VID_0001.MP4").present || folder.openVideo("VID_0001.MP4").isValid()
        || !folder.videoFileURL("VID_0001.MP4").isEmpty());
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
    EXPECT_EQ(folder.storeRecording(std::move(left[0])).name, "VID_0002.WEBM");
    const AlbumFolder::Stored nothing = folder.storeRecording(std::move(left[1]));
    ASSERT_TRUE(nothing.error);
    EXPECT_EQ(nothing.error->kind(), platform::AlbumError::Kind::NothingRecorded);
    EXPECT_EQ(folder.storeRecording(std::move(live)).name, "VID_0003.MP4");
    EXPECT_EQ(folder.list().names, (std::vector<QString> { "VID_0002.WEBM", "VID_0003.MP4" }));
    EXPECT_EQ(folderEntries(dir.path()).size(), 4);

    // A file put in a claim's place is not the recording: left alone.
    platform::RecordingClaim replaced = recorded(folder, "MP4");
    const QString path = replaced.path();
    ASSERT_TRUE(QFile::remove(path) && QFile(path).open(QIODevice::WriteOnly));
    EXPECT_TRUE(folder.storeRecording(std::move(replaced)).error);
    EXPECT_TRUE(QFile::exists(path));
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
    QFile damaged(path); // still in the album, with a plain picture
    ASSERT_TRUE(row.pattern ? testing_support::makeTestVideo(path, row.pattern, path.endsWith("WEBM"))
                            : damaged.open(QIODevice::WriteOnly) && damaged.write(QByteArray(5000, 'x')) > 0);
    platform::AssetsLibrary library(dir.path());
    const auto asset = lookupAndWait(library, enumerateAndWait(library).urls.at(0)).asset;
    ASSERT_TRUE(asset && asset->isVideo());
    const QImage thumbnail = asset->thumbnail();
    ASSERT_EQ(thumbnail.size(), QSize(160, 120));
    const auto distance = [&](QPoint p, QRgb c) {
        const QRgb t = thumbnail.pixel(p);
        return std::max(
            { std::abs(qRed(t) - qRed(c)), std::abs(qGreen(t) - qGreen(c)), std::abs(qBlue(t) - qBlue(c)) });
    };
    EXPECT_LT(distance({ 4, 4 }, row.corner), 40);
    EXPECT_LT(distance({ 80, 60 }, qRgb(255, 255, 255)), 40) << "the triangle";
    // Inside the circle, beside the triangle: the frame darkened.
    EXPECT_LT(qGray(thumbnail.pixel(80, 40)), qGray(row.corner) / 2 + 1);

    const platform::AssetRepresentation representation = asset->defaultRepresentation();
    EXPECT_EQ(representation.fileURL(), QUrl::fromLocalFile(path));
    EXPECT_EQ(representation.size(), QFileInfo(path).size());
    EXPECT_EQ(
        representation.durationMs().value_or(0) / 100, row.pattern ? 10 : 0); // ten frames at 10 a second
}

INSTANTIATE_TEST_SUITE_P(Videos, AlbumVideoThumbnailTest,
    ::testing::Values(ThumbnailRow { "Mp4", "VID_0001.MP4", "red", qRgb(255, 0, 0) },
        ThumbnailRow { "WebM", "VID_0001.WEBM", "blue", qRgb(0, 0, 255) },
        ThumbnailRow { "Damaged", "VID_0001.MP4", nullptr, qRgb(32, 32, 32) }),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
