// The album on disk: order, enumeration, concurrent writers, failing writes and the lifetime of
// the library with work still queued.

#include <atomic>
#include <thread>

#include <QFile>
#include <QTemporaryDir>

#include "AlbumTestSupport.h"

using namespace albumtest;

namespace {

TEST(AlbumOrderTest, EnumerationFollowsWriteOrder)
{
    QTemporaryDir dir;
    platform::AssetsLibrary library(dir.path());
    EXPECT_EQ(enumerateAndWait(library).numberOfAssets, 0); // empty album: one empty group

    std::vector<platform::AssetURL> written;
    for (int i = 0; i < 3; ++i)
        written.push_back(writeAndWait(library, splitImage(32, 24)).url);

    const Enumeration listed = enumerateAndWait(library);
    EXPECT_EQ(listed.groups, 1);
    EXPECT_EQ(listed.numberOfAssets, 3);
    EXPECT_EQ(listed.urls, written);
    EXPECT_TRUE(listed.endedWithNoAsset);

    // Another group type: only the closing call.
    const Enumeration other = enumerateAndWait(library, 1);
    EXPECT_EQ(other.groups, 0);
    EXPECT_FALSE(other.failure);
}

struct NamingRow {
    const char* name;
    QStringList present; // files already in the album
    QStringList expected; // the names new photos (IMG_) and recordings (VID_) get, in order
};

class AlbumNamingTest : public ::testing::TestWithParam<NamingRow> { };

TEST_P(AlbumNamingTest, NewPhotosAndVideosGetTheNextFreeNames)
{
    const NamingRow& row = GetParam();
    QTemporaryDir dir;
    for (const QString& name : row.present) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    platform::AssetsLibrary library(dir.path());
    const platform::AlbumFolder folder(dir.path(), platform::AlbumFolder::Creation::Never);
    for (const QString& name : row.expected) {
        const auto video = [&] {
            const auto stored = folder.storeRecording(recorded(folder, name.section('.', 1)));
            return WriteResult { folder.urlForName(stored.name), stored.error };
        };
        const auto written = name.startsWith("IMG") ? writeAndWait(library, splitImage(16, 16)) : video();
        ASSERT_FALSE(written.error) << written.error->description().toStdString();
        EXPECT_TRUE(QFile::exists(dir.filePath(name)))
            << name.toStdString() << " in " << folderEntries(dir.path()).join(' ').toStdString();
        EXPECT_FALSE(lookupAndWait(library, written.url).asset->thumbnail().isNull());
    }
}

INSTANTIATE_TEST_SUITE_P(Albums, AlbumNamingTest,
    ::testing::Values(
        // Only canonical names count as photos.
        NamingRow { "AfterTheNewestIgnoringStrangers",
            { "IMG_0007.JPG", "IMG_7.JPG", "IMG_00009.JPG", "notes.txt", "img_0050.jpg" },
            { "IMG_0008.JPG", "IMG_0009.JPG" } },
        NamingRow { "PastFourDigits", { "IMG_9999.JPG" }, { "IMG_10000.JPG", "IMG_10001.JPG" } },
        // One stray file with the highest possible number must not end the album.
        NamingRow { "GapsBelowTheTop", { "IMG_0001.JPG", "IMG_0003.JPG", "IMG_999999999.JPG" },
            { "IMG_0002.JPG", "IMG_0004.JPG" } },
        NamingRow { "LastNumberThenGaps", { "IMG_999999998.JPG" }, { "IMG_999999999.JPG", "IMG_0001.JPG" } },
        // Photos and videos share one sequence; only canonical video names count.
        NamingRow { "VideoAfterPhotoAfterVideo",
            { "IMG_0003.JPG", "VID_7.MP4", "vid_0009.mp4", "VID_0009.MOV" },
            { "VID_0004.MP4", "IMG_0005.JPG", "VID_0006.WEBM" } },
        NamingRow { "VideoPastFourDigits", { "VID_9999.WEBM", "VID_00009.MP4" },
            { "IMG_10000.JPG", "VID_10001.MP4" } }),
    [](const auto& row) { return std::string(row.param.name); });

TEST(AlbumConcurrencyTest, ConcurrentWritersNeverShareAName)
{
    // Several libraries on one folder (as two processes would be), each fed from its own thread.
    constexpr int kWriters = 4;
    constexpr int kPhotosEach = 5;
    QTemporaryDir dir;
    std::vector<std::unique_ptr<platform::AssetsLibrary>> libraries;
    libraries.reserve(kWriters);
    for (int i = 0; i < kWriters; ++i)
        libraries.push_back(std::make_unique<platform::AssetsLibrary>(dir.path()));

    std::atomic<int> failures { 0 };
    {
        std::vector<std::jthread> threads;
        threads.reserve(kWriters);
        for (int i = 0; i < kWriters; ++i) {
            threads.emplace_back([&, i] {
                for (int n = 0; n < kPhotosEach; ++n) {
                    libraries[std::size_t(i)]->writeImageToSavedPhotosAlbum(splitImage(48, 32), {},
                        [&](const platform::AssetURL&, const std::optional<platform::AlbumError>& error) {
                            if (error)
                                ++failures;
                        });
                }
            });
        }
    }
    libraries.clear(); // drains every pending write

    EXPECT_EQ(failures.load(), 0);
    // A name shared would leave fewer files (one rename over the other); no temporary files left.
    EXPECT_EQ(folderEntries(dir.path()).size(), kWriters * kPhotosEach);
}

// ---- Failing writes -----------------------------------------------------------------------------

void expectReadableFailure(const WriteResult& result, const QString& folder, platform::AlbumError::Kind kind)
{
    ASSERT_TRUE(result.error);
    EXPECT_TRUE(result.url.isEmpty());
    EXPECT_EQ(result.error->kind(), kind);
    const QString text = result.error->description();
    EXPECT_TRUE(text.startsWith("The photo could not be saved")) << text.toStdString();
    EXPECT_TRUE(text.contains(folder)) << text.toStdString();
}

// Made when asked to: the program tests start on an --album folder that does not exist yet.
TEST(AlbumFailureTest, MissingFolderIsReportedAndNotMadeUnasked)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath("gone");
    platform::AssetsLibrary library(missing);
    expectReadableFailure(
        writeAndWait(library, splitImage(16, 16)), missing, platform::AlbumError::Kind::FolderMissing);
    EXPECT_TRUE(folderEntries(dir.path()).isEmpty()) << "no folder made";
    EXPECT_EQ(enumerateAndWait(library).numberOfAssets, 0);
}

TEST(AlbumFailureTest, FolderThatIsAFileFailsBothWaysAndStaysIntact)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("album");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("precious");
    }
    platform::AssetsLibrary library(path, platform::AssetsLibrary::FolderCreation::IfMissing);
    expectReadableFailure(
        writeAndWait(library, splitImage(16, 16)), path, platform::AlbumError::Kind::NotAFolder);

    const Enumeration listed = enumerateAndWait(library);
    ASSERT_TRUE(listed.failure);
    EXPECT_TRUE(listed.failure->description().contains(path));
    EXPECT_EQ(folderEntries(dir.path()), QStringList { "album" });
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "precious");
}

TEST(AlbumFailureTest, UnwritableSystemFolderIsReportedAsReadOnly)
{
    // sysfs refuses new files even to root, so this holds whoever runs the tests.
    platform::AssetsLibrary library("/sys");
    expectReadableFailure(
        writeAndWait(library, splitImage(16, 16)), "/sys", platform::AlbumError::Kind::ReadOnly);
}

TEST(AlbumFailureTest, EmptyImageIsRefusedWithoutAFile)
{
    QTemporaryDir dir;
    platform::AssetsLibrary library(dir.path());
    const WriteResult result = writeAndWait(library, QImage());
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->kind(), platform::AlbumError::Kind::InvalidImage);
    EXPECT_TRUE(folderEntries(dir.path()).isEmpty());
}

// ---- Lifetime -----------------------------------------------------------------------------------

TEST(AlbumLifetimeTest, DestroyingWithWritesPendingRunsEveryCompletionFirst)
{
    constexpr int kWrites = 12;
    QTemporaryDir dir;
    auto completed = std::make_shared<std::atomic<int>>(0);
    auto library = std::make_unique<platform::AssetsLibrary>(dir.path());
    for (int i = 0; i < kWrites; ++i)
        library->writeImageToSavedPhotosAlbum(splitImage(640, 480), {},
            [completed](const platform::AssetURL& url, const std::optional<platform::AlbumError>& error) {
                if (!error && !url.isEmpty())
                    ++*completed;
            });
    library->assetForURL(
        platform::AssetURL(), [completed](const std::shared_ptr<platform::Asset>&) { ++*completed; }, {});
    library.reset();
    EXPECT_EQ(completed->load(), kWrites + 1);
    EXPECT_EQ(folderEntries(dir.path()).size(), kWrites);
}

TEST(AlbumLifetimeTest, ThrowingCompletionDoesNotStopTheAlbum)
{
    QTemporaryDir dir;
    platform::AssetsLibrary library(dir.path());
    library.writeImageToSavedPhotosAlbum(
        splitImage(16, 16), {}, [](const platform::AssetURL&, const std::optional<platform::AlbumError>&) {
            throw std::runtime_error("caller bug");
        });
    EXPECT_FALSE(writeAndWait(library, splitImage(16, 16)).error);
    EXPECT_EQ(folderEntries(dir.path()).size(), 2);
}

} // namespace
