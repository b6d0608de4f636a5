#include "platform/system/AtomicFileWriter.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/system/FileDescriptor.h"
#include "platform/system/RenameWithoutReplacing.h"

namespace platform {

namespace {

using Result = AtomicFileWriter::Result;

Result failure(const char* what, int error)
{
    return { false,
        QStringLiteral("%1: %2").arg(QString::fromUtf8(what), QString::fromLocal8Bit(std::strerror(error))),
        error, {} };
}

mode_t modeOf(AtomicFileWriter::Access access)
{
    return access == AtomicFileWriter::Access::OwnerOnly ? mode_t(0600) : mode_t(0644);
}

bool writeAll(int fd, const QByteArray& data)
{
    const char* cursor = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, cursor, static_cast<size_t>(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        cursor += written;
        left -= written;
    }
    return true;
}

// Creates a temporary file from `pattern` (a path whose "XXXXXX" is followed by `suffixLength`
// more characters; it becomes the file's path), gives it `mode`, writes `data`, flushes it when
// `sync` and closes it. On failure the file is gone again.
Result writeTemporary(QByteArray& pattern, int suffixLength, const QByteArray& data, mode_t mode, bool sync)
{
    FileDescriptor file(::mkostemps(pattern.data(), suffixLength, O_CLOEXEC)); // created as 0600
    if (!file.isValid())
        return failure("cannot create a temporary file", errno);
    const auto fail = [&](const char* what) {
        const int error = errno;
        file.close();
        ::unlink(pattern.constData());
        return failure(what, error);
    };
    // Before the first byte, so the data is never readable by more than the mode allows, and
    // before the fsync, so the mode is as durable as the data.
    if (::fchmod(file.get(), mode) != 0)
        return fail("cannot set the permissions");
    if (!writeAll(file.get(), data))
        return fail("cannot write");
    if (sync && ::fsync(file.get()) != 0)
        return fail("cannot flush to disk");
    if (!file.close())
        return fail("cannot close");
    return { true, {}, 0, {} };
}

void syncDirectory(const QByteArray& directory)
{
    FileDescriptor folder(::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.isValid())
        ::fsync(folder.get());
}

} // namespace

Result AtomicFileWriter::write(
    const QString& path, const QByteArray& data, Durability durability, Access access)
{
    const QFileInfo info(path);
    const QByteArray target = QFile::encodeName(info.absoluteFilePath());
    const QByteArray directory = QFile::encodeName(info.absolutePath());
    // The leading dot and the random suffix keep temporary files out of everyone's way; the
    // suffix also keeps concurrent writers of the same target apart.
    QByteArray temporary = directory + "/." + QFile::encodeName(info.fileName()) + ".tmp-XXXXXX";
    if (Result written = writeTemporary(temporary, 0, data, modeOf(access), durability == Durability::Sync);
        !written)
        return written;

    const auto fail = [&](const char* what) {
        const int error = errno;
        ::unlink(temporary.constData());
        return failure(what, error);
    };
    if (durability == Durability::KeepPrevious) {
        const QByteArray previous = QFile::encodeName(previousPath(info.absoluteFilePath()));
        ::unlink(previous.constData());
        if (::rename(target.constData(), previous.constData()) != 0 && errno != ENOENT)
            return fail("cannot move the previous version aside");
    }
    if (::rename(temporary.constData(), target.constData()) != 0)
        return fail("cannot rename into place");
    if (durability == Durability::Sync)
        syncDirectory(directory);
    return { true, {}, 0, {} };
}

Result AtomicFileWriter::createNew(const QString& folder, const QString& stem, const QByteArray& data,
    Access access, const NameSource& nextName)
{
    const QByteArray directory = QFile::encodeName(QFileInfo(folder).absoluteFilePath());
    FileDescriptor folderFd(::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folderFd.isValid())
        return failure("cannot open the folder", errno);
    constexpr int kSuffixLength = 4; // ".tmp"
    QByteArray temporary = directory + "/." + QFile::encodeName(stem) + "-XXXXXX.tmp";
    if (Result written = writeTemporary(temporary, kSuffixLength, data, modeOf(access), true); !written)
        return written;
    const QByteArray temporaryName = temporary.mid(temporary.lastIndexOf('/') + 1);

    while (const std::optional<QString> name = nextName()) {
        const int error = renameWithoutReplacing(
            folderFd.get(), temporaryName.constData(), QFile::encodeName(*name).constData());
        if (error == 0) {
            ::fsync(folderFd.get()); // makes the new name itself durable
            return { true, {}, 0, *name };
        }
        if (error != EEXIST) {
            ::unlinkat(folderFd.get(), temporaryName.constData(), 0);
            return failure("cannot give the file its name", error);
        }
    }
    ::unlinkat(folderFd.get(), temporaryName.constData(), 0);
    return { false, QStringLiteral("no free file name left"), EEXIST, {} };
}

QString AtomicFileWriter::previousPath(const QString& path)
{
    const QFileInfo info(path);
    return QDir(info.path()).filePath(QLatin1Char('.') + info.fileName() + QLatin1String(".previous"));
}

std::optional<QByteArray> AtomicFileWriter::readLatest(
    const QString& path, const std::function<bool(const QByteArray&)>& isValid, qint64 maxBytes)
{
    for (const QString& candidate : { path, previousPath(path) }) {
        QFile file(candidate);
        if (!file.open(QIODevice::ReadOnly) || file.size() > maxBytes)
            continue;
        QByteArray bytes = file.readAll();
        if (isValid(bytes))
            return bytes;
    }
    return std::nullopt;
}

bool AtomicFileWriter::remove(const QString& path)
{
    QFile::remove(path);
    QFile::remove(previousPath(path));
    return !QFileInfo::exists(path) && !QFileInfo::exists(previousPath(path));
}

bool AtomicFileWriter::ensureDirectory(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QString absolute = QDir(path).absolutePath();
    if (QFileInfo(absolute).isDir())
        return true;
    const QString parent = QFileInfo(absolute).absolutePath();
    if (parent != absolute && !ensureDirectory(parent))
        return false;
    if (::mkdir(QFile::encodeName(absolute).constData(), S_IRWXU) != 0 && errno != EEXIST)
        return false;
    return QFileInfo(absolute).isDir();
}

} // namespace platform
