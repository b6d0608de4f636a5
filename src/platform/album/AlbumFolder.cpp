#include "platform/album/AlbumFolder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <iterator>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/system/AtomicFileWriter.h"
#include "platform/system/FileDescriptor.h"

namespace platform {

namespace {

const QString kURLPrefix = QStringLiteral("assets-library://asset/");
const QString kAlbumQuery = QStringLiteral("?album=");
constexpr qsizetype kMaxURLLength = 256;
constexpr qint64 kLargestPhoto = qint64(512) * 1024 * 1024;
constexpr long kLargestNumber = 999'999'999;
constexpr int kNameAttempts = 10'000;

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
    const QString prefix = QCoreApplication::translate("AlbumFolder", "The photo could not be saved: ");
    switch (error) {
    case ENOENT:
        return {
            AlbumError::Kind::FolderMissing,
            prefix
                + QCoreApplication::translate("AlbumFolder", "the album folder %1 does not exist.").arg(path)
        };
    case ENOTDIR:
        return { AlbumError::Kind::NotAFolder,
            prefix + QCoreApplication::translate("AlbumFolder", "%1 is not a folder.").arg(path) };
    case EACCES:
    case EPERM:
    case EROFS:
        return { AlbumError::Kind::ReadOnly,
            prefix
                + QCoreApplication::translate("AlbumFolder", "the album folder %1 is read-only.").arg(path) };
    case ENOSPC:
    case EDQUOT:
        return { AlbumError::Kind::DiskFull,
            prefix
                + QCoreApplication::translate("AlbumFolder", "the disk holding the album folder %1 is full.")
                      .arg(path) };
    default:
        return { AlbumError::Kind::Io,
            QCoreApplication::translate(
                "AlbumFolder", "The photo could not be saved in the album folder %1: %2.")
                .arg(path, describeErrno(error)) };
    }
}

// Calls `visit` with the name of every entry of an open folder (through a copy of the
// descriptor: the caller keeps its own).
template <typename Visit> void forEachEntry(int dirFd, Visit visit)
{
    const int listFd = ::dup(dirFd);
    if (listFd < 0)
        return;
    DIR* dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return;
    }
    ::rewinddir(dir);
    while (const dirent* entry = ::readdir(dir))
        visit(entry->d_name);
    ::closedir(dir);
}

// Photo names present in an open folder (any file type when includeAll, else regular files).
std::vector<QString> scanNames(int dirFd, bool includeAll)
{
    std::vector<QString> names;
    forEachEntry(dirFd, [&](const char* entry) {
        const QString name = QFile::decodeName(entry);
        if (photoNumber(name) < 0)
            return;
        struct stat info { };
        if (!includeAll
            && (::fstatat(dirFd, entry, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode)))
            return;
        names.push_back(name);
    });
    std::sort(names.begin(), names.end(),
        [](const QString& a, const QString& b) { return photoNumber(a) < photoNumber(b); });
    return names;
}

// The photo numbers to try for a new photo, in order. Names continue after the highest number in
// use, so the album keeps the order photos were taken in; once that number cannot grow (one
// stray IMG_999999999.JPG is enough), the gaps below it are used from the lowest up, so a photo
// is saved while any name is free.
class PhotoNumbers {
public:
    explicit PhotoNumbers(const std::vector<QString>& taken) // in album order
    {
        m_used.reserve(taken.size());
        for (const QString& name : taken)
            m_used.push_back(photoNumber(name));
        m_number = (m_used.empty() ? 0 : m_used.back()) + 1;
        if (m_number > kLargestNumber)
            startFillingGaps();
    }

    // The first number to try, then on each call the one after the last offered (which another
    // writer took meanwhile); nothing once no number is left or enough have been tried.
    std::optional<long> next()
    {
        if (m_attempts > 0)
            advance();
        if (m_attempts >= kNameAttempts || m_number > kLargestNumber)
            return std::nullopt;
        ++m_attempts;
        return m_number;
    }

private:
    void advance()
    {
        ++m_number;
        if (m_fillingGaps)
            skipUsed();
        else if (m_number > kLargestNumber)
            startFillingGaps();
    }
    void startFillingGaps()
    {
        m_fillingGaps = true;
        m_number = 1;
        skipUsed();
    }
    void skipUsed()
    {
        while (m_usedAt < m_used.size() && m_used[m_usedAt] < m_number)
            ++m_usedAt;
        while (m_usedAt < m_used.size() && m_used[m_usedAt] == m_number) {
            ++m_number;
            ++m_usedAt;
        }
    }

    std::vector<long> m_used; // ascending
    std::size_t m_usedAt { 0 }; // index of the first used number not below m_number
    long m_number { 1 };
    bool m_fillingGaps { false };
    int m_attempts { 0 };
};

// The name AtomicFileWriter::createNew gives the temporary file of a photo (mkstemps' six
// characters from [A-Za-z0-9]).
bool isTemporaryName(const char* name)
{
    constexpr std::size_t kLength = std::size(".IMG-XXXXXX.tmp") - 1;
    if (std::strlen(name) != kLength || std::strncmp(name, ".IMG-", 5) != 0
        || std::strcmp(name + 11, ".tmp") != 0)
        return false;
    return std::all_of(name + 5, name + 11,
        [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); });
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

    // The folder is scanned only once the photo is on disk, when the writer asks for a name.
    std::optional<PhotoNumbers> numbers;
    const auto nextName = [&]() -> std::optional<QString> {
        if (!numbers)
            numbers.emplace(scanNames(dir.get(), true));
        const std::optional<long> number = numbers->next();
        return number ? std::optional(formatName(*number)) : std::nullopt;
    };
    const auto written = AtomicFileWriter::createNew(
        m_path, QStringLiteral("IMG"), bytes, AtomicFileWriter::Access::EveryoneReads, nextName);
    if (written)
        return { written.fileName, std::nullopt };
    if (written.errorNumber != EEXIST)
        return { {}, saveError(written.errorNumber, m_path) };
    return { {},
        AlbumError(AlbumError::Kind::AlbumFull,
            QCoreApplication::translate("AlbumFolder",
                "The photo could not be saved: the album folder %1 has no free photo number left.")
                .arg(m_path)) };
}

int AlbumFolder::removeStaleTemporaryFiles() const
{
    FileDescriptor dir(::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.isValid())
        return 0;
    const time_t staleBefore = ::time(nullptr) - kStaleAfterSeconds;
    int removed = 0;
    forEachEntry(dir.get(), [&](const char* name) {
        struct stat info { };
        if (isTemporaryName(name) && ::fstatat(dir.get(), name, &info, AT_SYMLINK_NOFOLLOW) == 0
            && S_ISREG(info.st_mode) && info.st_mtime < staleBefore && ::unlinkat(dir.get(), name, 0) == 0)
            ++removed;
    });
    return removed;
}

} // namespace platform
