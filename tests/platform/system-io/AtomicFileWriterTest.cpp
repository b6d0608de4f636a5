#include "platform/system/AtomicFileWriter.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using platform::AtomicFileWriter;

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

class AtomicFileWriterTest : public ::testing::Test {
protected:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QStringList entries() const
    {
        return QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
};

TEST_F(AtomicFileWriterTest, ReplacesTheWholeFileOwnerOnlyAndLeavesNoTemporaryFiles)
{
    const QString target = path(".tallyStored7.archive");
    for (const auto durability :
        { AtomicFileWriter::Durability::RenameOnly, AtomicFileWriter::Durability::Sync }) {
        ASSERT_TRUE(AtomicFileWriter::write(target, QByteArray(5000, 'a'), durability));
        ASSERT_TRUE(AtomicFileWriter::write(target, "short", durability));
        EXPECT_EQ(readFile(target), "short"); // no tail of the longer version survives
        EXPECT_EQ(permissionsOf(target), mode_t(0600));
        EXPECT_EQ(entries(), QStringList { ".tallyStored7.archive" });
    }
    ASSERT_TRUE(AtomicFileWriter::write(target, {}));
    EXPECT_TRUE(QFileInfo::exists(target));
    EXPECT_EQ(readFile(target), QByteArray());
}

TEST_F(AtomicFileWriterTest, TightensAFileThatOthersCouldRead)
{
    const QString target = path("shared");
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("old");
    file.close();
    ::chmod(QFile::encodeName(target).constData(), 0644);
    ASSERT_TRUE(AtomicFileWriter::write(target, "new"));
    EXPECT_EQ(permissionsOf(target), mode_t(0600));
}

TEST_F(AtomicFileWriterTest, AFailedWriteKeepsTheOldFileAndCleansUp)
{
    // Renaming a file over a non-empty folder fails after the temporary file has been written.
    const QString blocked = path("blocked");
    ASSERT_TRUE(QDir(m_dir.path()).mkpath("blocked/inside"));
    const auto result = AtomicFileWriter::write(blocked, "data");
    EXPECT_FALSE(result);
    EXPECT_FALSE(result.error.isEmpty());
    EXPECT_TRUE(QFileInfo(blocked).isDir());
    EXPECT_EQ(entries(), QStringList { "blocked" });

    const auto missingFolder = AtomicFileWriter::write(path("no/such/folder/file"), "data");
    EXPECT_FALSE(missingFolder);
    EXPECT_FALSE(missingFolder.error.isEmpty());
}

TEST_F(AtomicFileWriterTest, KeepPreviousLeavesTheVersionBeforeBesideTheNewest)
{
    const QString target = path(".tallyCurrent7.archive");
    const auto valid = [](const QByteArray& bytes) { return bytes.startsWith("v"); };
    EXPECT_FALSE(AtomicFileWriter::readLatest(target, valid));
    ASSERT_TRUE(AtomicFileWriter::write(target, "v1", AtomicFileWriter::Durability::KeepPrevious));
    ASSERT_TRUE(AtomicFileWriter::write(target, "v2", AtomicFileWriter::Durability::KeepPrevious));
    EXPECT_EQ(readFile(target), "v2");
    EXPECT_EQ(readFile(AtomicFileWriter::previousPath(target)), "v1");
    EXPECT_EQ(AtomicFileWriter::readLatest(target, valid), QByteArray("v2"));
    EXPECT_EQ(permissionsOf(AtomicFileWriter::previousPath(target)), mode_t(0600));

    // A process killed between the two renames: only the previous version is there.
    ASSERT_TRUE(QFile::remove(target));
    EXPECT_EQ(AtomicFileWriter::readLatest(target, valid), QByteArray("v1"));
    // A damaged newest version falls back as well; nothing valid at all is absent.
    ASSERT_TRUE(AtomicFileWriter::write(target, "garbage"));
    EXPECT_EQ(AtomicFileWriter::readLatest(target, valid), QByteArray("v1"));
    EXPECT_EQ(AtomicFileWriter::readLatest(target, valid, 1), std::nullopt); // over the size limit

    EXPECT_TRUE(AtomicFileWriter::remove(target));
    EXPECT_TRUE(entries().isEmpty());
}

TEST_F(AtomicFileWriterTest, EnsureDirectoryCreatesOwnerOnlyParents)
{
    const QString nested = path("a/b/c");
    ASSERT_TRUE(AtomicFileWriter::ensureDirectory(nested));
    EXPECT_TRUE(QFileInfo(nested).isDir());
    EXPECT_EQ(permissionsOf(path("a")), mode_t(0700));
    EXPECT_EQ(permissionsOf(nested), mode_t(0700));
    EXPECT_TRUE(AtomicFileWriter::ensureDirectory(nested)); // existing is fine
    ASSERT_TRUE(AtomicFileWriter::write(path("plain"), "x"));
    EXPECT_FALSE(AtomicFileWriter::ensureDirectory(path("plain/sub")));
    EXPECT_FALSE(AtomicFileWriter::ensureDirectory(QString()));
}

} // namespace
