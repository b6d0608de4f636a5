#include "platform/system/AtomicFileWriter.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace platform {

namespace {

QString systemError(const char* what, int error)
{
    return QStringLiteral("%1: %2").arg(
        QString::fromUtf8(what), QString::fromLocal8Bit(std::strerror(error)));
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

void syncDirectory(const QByteArray& directory)
{
    const int fd = ::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

AtomicFileWriter::Result AtomicFileWriter::write(
    const QString& path, const QByteArray& data, Durability durability)
{
    const QFileInfo info(path);
    const QByteArray target = QFile::encodeName(info.absoluteFilePath());
    const QByteArray directory = QFile::encodeName(info.absolutePath());
    // The leading dot and the random suffix keep temporary files out of everyone's way; the
    // suffix also keeps concurrent writers of the same target apart.
    QByteArray pattern = directory + "/." + QFile::encodeName(info.fileName()) + ".tmp-XXXXXX";
    std::vector<char> tempPath(pattern.begin(), pattern.end());
    tempPath.push_back('\0');

    const int fd = ::mkostemp(tempPath.data(), O_CLOEXEC); // mkstemp creates the file as 0600
    if (fd < 0)
        return { false, systemError("cannot create a temporary file", errno) };

    auto fail = [&](const char* what) {
        const int error = errno;
        ::close(fd);
        ::unlink(tempPath.data());
        return Result { false, systemError(what, error) };
    };

    if (::fchmod(fd, S_IRUSR | S_IWUSR) != 0)
        return fail("cannot restrict the permissions");
    if (!writeAll(fd, data))
        return fail("cannot write");
    if (durability == Durability::Sync && ::fsync(fd) != 0)
        return fail("cannot flush to disk");
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(tempPath.data());
        return { false, systemError("cannot close", error) };
    }
    if (durability == Durability::KeepPrevious) {
        const QByteArray previous = QFile::encodeName(previousPath(info.absoluteFilePath()));
        ::unlink(previous.constData());
        if (::rename(target.constData(), previous.constData()) != 0 && errno != ENOENT) {
            const int error = errno;
            ::unlink(tempPath.data());
            return { false, systemError("cannot move the previous version aside", error) };
        }
    }
    if (::rename(tempPath.data(), target.constData()) != 0) {
        const int error = errno;
        ::unlink(tempPath.data());
        return { false, systemError("cannot rename into place", error) };
    }
    if (durability == Durability::Sync)
        syncDirectory(directory);
    return { true, {} };
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
