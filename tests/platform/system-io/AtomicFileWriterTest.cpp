// The one atomic file writer: replacing a file (the kept previous version is the read-back
// test's), creating a new file that never replaces one, and what a failed write leaves behind
// (nothing).

#include "platform/system/AtomicFileWriter.h"

#include <functional>

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using platform::AtomicFileWriter;
using Access = AtomicFileWriter::Access;
using Durability = AtomicFileWriter::Durability;

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll();
}

mode_t permissionsOf(const QString& path)
{
    struct stat info { };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return 0;
    return info.st_mode & 07777;
}

void writePlain(const QString& path, const QByteArray& bytes, mode_t mode)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
}

QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// Offers `names` in order, then nothing; counts the calls.
AtomicFileWriter::NameSource offering(QStringList names, int* calls = nullptr)
{
    return [names, calls, next = 0]() mutable -> std::optional<QString> {
        if (calls)
            ++*calls;
        if (next == names.size())
            return std::nullopt;
        return names[next++];
    };
}

struct ReplaceRow {
    const char* name;
    Durability durability;
    Access access;
    mode_t modeBefore; // the old file's, which the new one must not inherit
    mode_t modeAfter;
};

class AtomicReplaceTest : public ::testing::TestWithParam<ReplaceRow> { };

TEST_P(AtomicReplaceTest, ReplacesTheWholeFileWithItsOwnModeAndNoLitter)
{
    const ReplaceRow& row = GetParam();
    QTemporaryDir dir;
    const QString target = dir.filePath(".tallyStored7.archive");
    writePlain(target, QByteArray(5000, 'a'), row.modeBefore);

    ASSERT_TRUE(AtomicFileWriter::write(target, "short", row.durability, row.access));
    EXPECT_EQ(readFile(target), "short"); // no tail of the longer version survives
    EXPECT_EQ(permissionsOf(target), row.modeAfter);
    EXPECT_EQ(entriesOf(dir.path()), QStringList { ".tallyStored7.archive" });
}

INSTANTIATE_TEST_SUITE_P(Modes, AtomicReplaceTest,
    ::testing::Values(ReplaceRow { "RenameOnly", Durability::RenameOnly, Access::OwnerOnly, 0644, 0600 },
        ReplaceRow { "SyncEveryoneReads", Durability::Sync, Access::EveryoneReads, 0600, 0644 }),
    [](const auto& row) { return std::string(row.param.name); });

TEST(AtomicCreateTest, TakesTheFirstFreeNameAfterTheDataIsOnDiskAndNeverReplaces)
{
    QTemporaryDir dir;
    writePlain(dir.filePath("IMG_0001.JPG"), "first", 0600);
    int calls = 0;
    const AtomicFileWriter::NameSource names = offering({ "IMG_0001.JPG", "IMG_0002.JPG" }, &calls);
    QStringList seenAtFirstName;
    const auto result = AtomicFileWriter::createNew(dir.path(), "IMG", "second", Access::EveryoneReads, [&] {
        if (calls == 0)
            seenAtFirstName = entriesOf(dir.path());
        return names();
    });

    ASSERT_TRUE(result) << result.error.toStdString();
    EXPECT_EQ(result.fileName, "IMG_0002.JPG");
    EXPECT_EQ(calls, 2);
    // The complete photo sat under a hidden temporary name when the first name was asked for.
    ASSERT_EQ(seenAtFirstName.size(), 2);
    EXPECT_TRUE(QDir::match(".IMG-??????.tmp", seenAtFirstName.front()))
        << seenAtFirstName.front().toStdString();
    EXPECT_EQ(readFile(dir.filePath("IMG_0001.JPG")), "first");
    EXPECT_EQ(readFile(dir.filePath("IMG_0002.JPG")), "second");
    EXPECT_EQ(permissionsOf(dir.filePath("IMG_0002.JPG")), mode_t(0644));
    EXPECT_EQ(entriesOf(dir.path()), (QStringList { "IMG_0001.JPG", "IMG_0002.JPG" }));
}

struct FailureRow {
    const char* name;
    std::function<AtomicFileWriter::Result(const QString& folder)> write;
    QStringList entriesAfter;
    int errorNumber; // 0: any
};

class AtomicFailureTest : public ::testing::TestWithParam<FailureRow> { };

TEST_P(AtomicFailureTest, FailsWithAReasonAndLeavesTheFolderAsItWas)
{
    const FailureRow& row = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath("blocked/inside"));
    writePlain(dir.filePath("taken"), "old", 0600);

    const auto result = row.write(dir.path());
    EXPECT_FALSE(result);
    EXPECT_FALSE(result.error.isEmpty());
    EXPECT_NE(result.errorNumber, 0);
    if (row.errorNumber != 0) {
        EXPECT_EQ(result.errorNumber, row.errorNumber);
    }
    EXPECT_EQ(entriesOf(dir.path()), row.entriesAfter);
    EXPECT_EQ(readFile(dir.filePath("taken")), "old");
}

const QStringList kUntouched { "blocked", "taken" };

INSTANTIATE_TEST_SUITE_P(Writes, AtomicFailureTest,
    ::testing::Values(
        // Renaming over a non-empty folder fails once the temporary file is complete.
        FailureRow { "ReplaceOverAFolder",
            [](const QString& folder) {
                return AtomicFileWriter::write(folder + "/blocked", "x", Durability::Sync);
            },
            kUntouched, 0 },
        FailureRow { "ReplaceInAMissingFolder",
            [](const QString& folder) { return AtomicFileWriter::write(folder + "/no/such/file", "x"); },
            kUntouched, ENOENT },
        FailureRow { "CreateOutOfNames",
            [](const QString& folder) {
                return AtomicFileWriter::createNew(
                    folder, "IMG", "x", Access::EveryoneReads, offering({ "taken", "blocked" }));
            },
            kUntouched, EEXIST }),
    [](const auto& row) { return std::string(row.param.name); });

TEST(AtomicKeepPreviousTest, ReadLatestFallsBackToTheCompletePreviousVersion)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(".tallyCurrent7.archive");
    const auto valid = [](const QByteArray& bytes) { return bytes.startsWith("v"); };
    EXPECT_FALSE(AtomicFileWriter::readLatest(target, valid));
    ASSERT_TRUE(AtomicFileWriter::write(target, "v1", Durability::KeepPrevious));
    ASSERT_TRUE(AtomicFileWriter::write(target, "v2", Durability::KeepPrevious));
    EXPECT_EQ(AtomicFileWriter::readLatest(target, valid), QByteArray("v2"));

    // A process killed between the two renames: only the previous version is there.
    ASSERT_TRUE(QFile::remove(target));
    EXPECT_EQ(AtomicFileWriter::readLatest(target, valid), QByteArray("v1"));
    // A damaged newest version falls back as well; nothing valid at all is absent.
    ASSERT_TRUE(AtomicFileWriter::write(target, "garbage"));
    EXPECT_EQ(AtomicFileWriter::readLatest(target, valid), QByteArray("v1"));
    EXPECT_EQ(AtomicFileWriter::readLatest(target, valid, 1), std::nullopt); // over the size limit

    EXPECT_TRUE(AtomicFileWriter::remove(target));
    EXPECT_TRUE(entriesOf(dir.path()).isEmpty());
}

TEST(AtomicEnsureDirectoryTest, CreatesOwnerOnlyParentsAndRefusesAFileInTheWay)
{
    QTemporaryDir dir;
    const QString nested = dir.filePath("a/b/c");
    ASSERT_TRUE(AtomicFileWriter::ensureDirectory(nested));
    EXPECT_EQ(permissionsOf(dir.filePath("a")), mode_t(0700));
    EXPECT_EQ(permissionsOf(nested), mode_t(0700));
    EXPECT_TRUE(AtomicFileWriter::ensureDirectory(nested)); // existing is fine
    ASSERT_TRUE(AtomicFileWriter::write(dir.filePath("plain"), "x"));
    EXPECT_FALSE(AtomicFileWriter::ensureDirectory(dir.filePath("plain/sub")));
    EXPECT_FALSE(AtomicFileWriter::ensureDirectory(QString()));
}

} // namespace
