#include "platform/album/AlbumFolder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace platform {

namespace {

const QString kURLPrefix = QStringLiteral("assets-library://asset/");
const QString kAlbumQuery = QStringLiteral("?album=");
constexpr qsizetype kMaxURLLength = 256;
constexpr qint64 kLargestPhoto = qint64(512) * 1024 * 1024;
constexpr long kLargestNumber = 999'999'999;
constexpr int kNameAttempts = 10'000;

// Owns one file descriptor.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd)
        : m_fd(fd)
    {
    }
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return m_fd; }
    bool isValid() const { return m_fd >= 0; }
    // Closes now and reports whether the close succeeded (a failed close can mean lost data).
    bool close()
    {
        const int fd = std::exchange(m_fd, -1);
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int m_fd { -1 };
};

QString formatName(long number)
{
    return QStringLiteral("IMG_%1.JPG").arg(number, 4, 10, QLatin1Char('0'));
}

// The number of a photo name in its one canonical spelling, or -1.
long photoNumber(const QString& name)
{
    if (name.size() < 12 || name.size() > 17 || !name.startsWith(QLatin1String("IMG_"))
        || !name.endsWith(QLatin1String(".JPG")))
        return -1;
    const QStringView digits = QStringView(name).mid(4, name.size() - 8);
    long number = 0;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
        number = number * 10 + (c.unicode() - '0');
    }
    return formatName(number) == name ? number : -1;
}

QString describeErrno(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

AlbumError saveError(int error, const QString& path)
{
    const QString prefix = QStringLiteral("The photo could not be saved: ");
    switch (error) {
    case ENOENT:
        return { AlbumError::Kind::FolderMissing,
            prefix + QStringLiteral("the album folder %1 does not exist.").arg(path) };
    case ENOTDIR:
        return { AlbumError::Kind::NotAFolder, prefix + QStringLiteral("%1 is not a folder.").arg(path) };
    case EACCES:
    case EPERM:
    case EROFS:
        return { AlbumError::Kind::ReadOnly,
            prefix + QStringLiteral("the album folder %1 is read-only.").arg(path) };
    case ENOSPC:
    case EDQUOT:
        return { AlbumError::Kind::DiskFull,
            prefix + QStringLiteral("the disk holding the album folder %1 is full.").arg(path) };
    default:
        return { AlbumError::Kind::Io,
            QStringLiteral("The photo could not be saved in the album folder %1: %2.")
                .arg(path, describeErrno(error)) };
    }
}

// Photo names present in an open folder (any file type when includeAll, else regular files).
std::vector<QString> scanNames(int dirFd, bool includeAll)
{
    std::vector<QString> names;
    const int listFd = ::dup(dirFd);
    if (listFd < 0)
        return names;
    DIR* dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return names;
    }
    ::rewinddir(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (photoNumber(name) < 0)
            continue;
        struct stat info { };
        if (!includeAll
            && (::fstatat(dirFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode)))
            continue;
        names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(),
        [](const QString& a, const QString& b) { return photoNumber(a) < photoNumber(b); });
    return names;
}

bool writeAll(int fd, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, std::size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

} // namespace

AlbumFolder::AlbumFolder(const QString& path, Creation creation)
    : m_path(QDir::cleanPath(QFileInfo(path).absoluteFilePath()))
    , m_creation(creation)
{
    m_albumTag = QString::fromLatin1(
        QCryptographicHash::hash(m_path.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
}

bool AlbumFolder::isPhotoName(const QString& name)
{
    return photoNumber(name) >= 0;
}

AssetURL AlbumFolder::urlForName(const QString& name) const
{
    return AssetURL::fromString(kURLPrefix + name + kAlbumQuery + m_albumTag);
}

std::optional<QString> AlbumFolder::nameForURL(const AssetURL& url) const
{
    // Compared as plain text and never decoded: "%2F" stays three characters, which no photo
    // name contains, so no escape can turn into a separator.
    const QString& text = url.toString();
    if (text.size() > kMaxURLLength || !text.startsWith(kURLPrefix))
        return std::nullopt;
    const qsizetype query = text.indexOf(QLatin1Char('?'), kURLPrefix.size());
    if (query < 0 || QStringView(text).mid(query) != QString(kAlbumQuery + m_albumTag))
        return std::nullopt;
    const QString name = text.mid(kURLPrefix.size(), query - kURLPrefix.size());
    if (!isPhotoName(name))
        return std::nullopt;
    return name;
}

AlbumFolder::Listing AlbumFolder::list() const
{
    Listing listing;
    FileDescriptor dir(::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.isValid()) {
        if (errno != ENOENT)
            listing.error = AlbumError(AlbumError::Kind::Unreadable,
                QStringLiteral("The album folder %1 cannot be read: %2.").arg(m_path, describeErrno(errno)));
        return listing;
    }
    listing.names = scanNames(dir.get(), false);
    return listing;
}

AlbumFolder::Presence AlbumFolder::find(const QString& name) const
{
    Presence presence;
    if (!isPhotoName(name))
        return presence;
    FileDescriptor dir(::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.isValid()) {
        if (errno != ENOENT)
            presence.error = AlbumError(AlbumError::Kind::Unreadable,
                QStringLiteral("The album folder %1 cannot be read: %2.").arg(m_path, describeErrno(errno)));
        return presence;
    }
    struct stat info { };
    presence.present
        = ::fstatat(dir.get(), QFile::encodeName(name).constData(), &info, AT_SYMLINK_NOFOLLOW) == 0
        && S_ISREG(info.st_mode);
    return presence;
}

std::optional<QByteArray> AlbumFolder::readPhoto(const QString& name) const
{
    if (!isPhotoName(name))
        return std::nullopt;
    FileDescriptor dir(::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.isValid())
        return std::nullopt;
    // O_NOFOLLOW: a link planted in the album is not followed; O_NONBLOCK: a FIFO cannot hang us.
    FileDescriptor file(::openat(
        dir.get(), QFile::encodeName(name).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat info { };
    if (!file.isValid() || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)
        || info.st_size > kLargestPhoto)
        return std::nullopt;
    QByteArray bytes;
    bytes.resize(qsizetype(info.st_size));
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(file.get(), bytes.data() + done, std::size_t(bytes.size() - done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += got;
    }
    bytes.truncate(done);
    return bytes;
}

AlbumFolder::Stored AlbumFolder::store(const QByteArray& bytes) const
{
    if (m_creation == Creation::IfMissing)
        QDir().mkpath(m_path); // failures surface in the checks below

    const QByteArray encodedPath = QFile::encodeName(m_path);
    struct stat folderInfo { };
    if (::stat(encodedPath.constData(), &folderInfo) != 0)
        return { {}, saveError(errno, m_path) };
    if (!S_ISDIR(folderInfo.st_mode))
        return { {}, saveError(ENOTDIR, m_path) };
    FileDescriptor dir(::open(encodedPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.isValid())
        return { {}, saveError(errno, m_path) };

    QByteArray temporaryPath = encodedPath + "/.IMG-XXXXXX.tmp";
    FileDescriptor file(::mkostemps(temporaryPath.data(), 4, O_CLOEXEC));
    if (!file.isValid())
        return { {}, saveError(errno, m_path) };
    const QByteArray temporaryName = temporaryPath.mid(temporaryPath.lastIndexOf('/') + 1);
    const auto fail = [&](int error) -> Stored {
        file.close();
        ::unlinkat(dir.get(), temporaryName.constData(), 0);
        return { {}, saveError(error, m_path) };
    };

    if (!writeAll(file.get(), bytes) || ::fsync(file.get()) != 0 || ::fchmod(file.get(), 0644) != 0)
        return fail(errno);
    if (!file.close())
        return fail(errno);

    // Names continue after the highest number in use, so the album keeps the order photos were
    // taken in; once that number cannot grow (one stray IMG_999999999.JPG is enough), the gaps
    // below it are used from the lowest up, so a photo is saved while any name is free.
    const std::vector<QString> taken = scanNames(dir.get(), true);
    std::vector<long> used;
    used.reserve(taken.size());
    for (const QString& name : taken)
        used.push_back(photoNumber(name)); // ascending: scanNames sorts by number
    const long highest = used.empty() ? 0 : used.back();
    long number = highest + 1;
    bool fillingGaps = number > kLargestNumber;
    auto usedAt = used.cbegin(); // the first used number not below `number` while filling gaps
    const auto skipUsed = [&] {
        while (usedAt != used.cend() && *usedAt < number)
            ++usedAt;
        while (usedAt != used.cend() && *usedAt == number) {
            ++number;
            ++usedAt;
        }
    };
    if (fillingGaps) {
        number = 1;
        skipUsed();
    }
    for (int attempt = 0; attempt < kNameAttempts && number <= kLargestNumber; ++attempt) {
        const QString name = formatName(number);
        const QByteArray encodedName = QFile::encodeName(name);
        // Never replaces: a name another writer took in the meantime gives EEXIST.
        int result = ::renameat2(
            dir.get(), temporaryName.constData(), dir.get(), encodedName.constData(), RENAME_NOREPLACE);
        if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
            // File systems without no-replace renames: a hard link is just as exclusive.
            result = ::linkat(dir.get(), temporaryName.constData(), dir.get(), encodedName.constData(), 0);
            if (result == 0)
                ::unlinkat(dir.get(), temporaryName.constData(), 0);
        }
        if (result == 0) {
            ::fsync(dir.get()); // make the new name itself durable
            return { name, std::nullopt };
        }
        if (errno != EEXIST)
            return fail(errno);
        ++number;
        if (fillingGaps) {
            skipUsed();
        } else if (number > kLargestNumber) {
            fillingGaps = true;
            number = 1;
            skipUsed();
        }
    }
    ::unlinkat(dir.get(), temporaryName.constData(), 0);
    return { {},
        AlbumError(AlbumError::Kind::AlbumFull,
            QStringLiteral("The photo could not be saved: the album folder %1 has no free "
                           "photo number left.")
                .arg(m_path)) };
}

} // namespace platform
