#include "platform/album/AlbumFolder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <iterator>
#include <tuple>

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/system/AtomicFileWriter.h"
#include "platform/system/FileDescriptor.h"
#include "platform/system/RenameWithoutReplacing.h"

namespace platform {

namespace {

const QString kURLPrefix = QStringLiteral("assets-library://asset/");
const QString kAlbumQuery = QStringLiteral("?album=");
constexpr qsizetype kMaxURLLength = 256;
constexpr qint64 kLargestPhoto = qint64(512) * 1024 * 1024;
constexpr long kLargestNumber = 999'999'999;
constexpr int kNameAttempts = 10'000;

enum class ItemKind { Photo, Mp4, Webm };

QString formatName(ItemKind kind, long number)
{
    const QString digits = QStringLiteral("%1").arg(number, 4, 10, QLatin1Char('0'));
    switch (kind) {
    case ItemKind::Photo:
        return QStringLiteral("IMG_") + digits + QStringLiteral(".JPG");
    case ItemKind::Mp4:
        return QStringLiteral("VID_") + digits + QStringLiteral(".MP4");
    case ItemKind::Webm:
        return QStringLiteral("VID_") + digits + QStringLiteral(".WEBM");
    }
    return {};
}

std::optional<ItemKind> videoKind(const QString& extension)
{
    if (extension == QLatin1String("MP4"))
        return ItemKind::Mp4;
    if (extension == QLatin1String("WEBM"))
        return ItemKind::Webm;
    return std::nullopt;
}

struct ItemName {
    ItemKind kind { ItemKind::Photo };
    long number { -1 };
};

// The kind and number of a photo or video name in its one canonical spelling.
std::optional<ItemName> parseName(const QString& name)
{
    ItemKind kind;
    if (name.startsWith(QLatin1String("IMG_")) && name.endsWith(QLatin1String(".JPG")))
        kind = ItemKind::Photo;
    else if (name.startsWith(QLatin1String("VID_")) && name.endsWith(QLatin1String(".MP4")))
        kind = ItemKind::Mp4;
    else if (name.startsWith(QLatin1String("VID_")) && name.endsWith(QLatin1String(".WEBM")))
        kind = ItemKind::Webm;
    else
        return std::nullopt;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QStringView digits = QStringView(name).mid(4, dot - 4);
    if (digits.size() < 4 || digits.size() > 9)
        return std::nullopt;
    long number = 0;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        number = number * 10 + (c.unicode() - '0');
    }
    if (formatName(kind, number) != name)
        return std::nullopt;
    return ItemName { kind, number };
}

long itemNumber(const QString& name)
{
    const auto parsed = parseName(name);
    return parsed ? parsed->number : -1;
}

QString describeErrno(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

enum class Item { Photo, Video };

AlbumError saveError(int error, const QString& path, Item item = Item::Photo)
{
    const QString prefix = item == Item::Photo
        ? QCoreApplication::translate("AlbumFolder", "The photo could not be saved: ")
        : QCoreApplication::translate("AlbumFolder", "The video could not be saved: ");
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
            (item == Item::Photo ? QCoreApplication::translate(
                 "AlbumFolder", "The photo could not be saved in the album folder %1: %2.")
                                 : QCoreApplication::translate("AlbumFolder",
                                     "The video could not be saved in the album folder %1: %2."))
                .arg(path, describeErrno(error)) };
    }
}

AlbumError recordingGone(const QString& path)
{
    return { AlbumError::Kind::Io,
        QCoreApplication::translate("AlbumFolder",
            "The video could not be saved: its file was removed from the album folder %1 while recording.")
            .arg(path) };
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

// Photo and video names present in an open folder (any file type when includeAll, else regular
// files), in album order.
std::vector<QString> scanNames(int dirFd, bool includeAll)
{
    std::vector<QString> names;
    forEachEntry(dirFd, [&](const char* entry) {
        const QString name = QFile::decodeName(entry);
        if (!parseName(name))
            return;
        struct stat info { };
        if (!includeAll
            && (::fstatat(dirFd, entry, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode)))
            return;
        names.push_back(name);
    });
    // A number two writers of older versions both took: the photo first, then by name.
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const ItemName x = *parseName(a), y = *parseName(b);
        return std::tie(x.number, x.kind, a) < std::tie(y.number, y.kind, b);
    });
    return names;
}

// The numbers to try for a new photo or video, in order. Names continue after the highest number
// in use by either, so the album keeps the order they were taken in; once that number cannot grow
// (one stray IMG_999999999.JPG is enough), the gaps below it are used from the lowest up, so an
// item is saved while any name is free.
class PhotoNumbers {
public:
    explicit PhotoNumbers(const std::vector<QString>& taken) // in album order
    {
        m_used.reserve(taken.size());
        for (const QString& name : taken)
            m_used.push_back(itemNumber(name));
        m_used.erase(std::unique(m_used.begin(), m_used.end()), m_used.end());
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

// Holds the folder's lock while a writer picks a number and renames its file to it: photos and
// videos never race each other to the same number (the no-replace rename only keeps one name
// from being taken twice). Blocking, but only for a scan and a rename. Without flock (some
// network file systems) the names stay distinct and only the numbers may repeat.
class NumberingLock {
public:
    explicit NumberingLock(int dirFd)
        : m_fd(dirFd)
    {
        while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) { }
    }
    ~NumberingLock() { ::flock(m_fd, LOCK_UN); }
    NumberingLock(const NumberingLock&) = delete;
    NumberingLock& operator=(const NumberingLock&) = delete;

private:
    int m_fd;
};

bool isNameCharacter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// A recording's hidden file, ".VID-XXXXXX.MP4.part" or ".VID-XXXXXX.WEBM.part": the extension, or
// nothing for any other name.
std::optional<QString> recordingExtension(const char* name)
{
    const std::size_t length = std::strlen(name);
    if (length < 5 + 6 + 1 || std::strncmp(name, ".VID-", 5) != 0
        || !std::all_of(name + 5, name + 11, isNameCharacter))
        return std::nullopt;
    for (const char* extension : { "MP4", "WEBM" }) {
        if (std::strcmp(name + 11, (QByteArray(".") + extension + ".part").constData()) == 0)
            return QString::fromLatin1(extension);
    }
    return std::nullopt;
}

// The name AtomicFileWriter::createNew gives the temporary file of a photo (mkstemps' six
// characters from [A-Za-z0-9]).
bool isTemporaryName(const char* name)
{
    constexpr std::size_t kLength = std::size(".IMG-XXXXXX.tmp") - 1;
    if (std::strlen(name) != kLength || std::strncmp(name, ".IMG-", 5) != 0
        || std::strcmp(name + 11, ".tmp") != 0)
        return false;
    return std::all_of(name + 5, name + 11, isNameCharacter);
}

FileDescriptor openFolder(const QString& path)
{
    return FileDescriptor(::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

// One entry of an open folder, opened without following a link (and, O_NONBLOCK, without
// hanging on a FIFO) when it is a regular file; `info` receives its status.
FileDescriptor openRegularFile(int dirFd, const QString& name, int flags, struct stat& info)
{
    FileDescriptor file(
        ::openat(dirFd, QFile::encodeName(name).constData(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (file.isValid() && (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)))
        file.close();
    return file;
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
    const auto parsed = parseName(name);
    return parsed && parsed->kind == ItemKind::Photo;
}

bool AlbumFolder::isVideoName(const QString& name)
{
    const auto parsed = parseName(name);
    return parsed && parsed->kind != ItemKind::Photo;
}

AssetURL AlbumFolder::urlForName(const QString& name) const
{
    return AssetURL::fromString(kURLPrefix + name + kAlbumQuery + m_albumTag);
}

std::optional<QString> AlbumFolder::nameForURL(const AssetURL& url) const
{
    // Compared as plain text and never decoded: "%2F" stays three characters, which no album
    // name contains, so no escape can turn into a separator.
    const QString& text = url.toString();
    if (text.size() > kMaxURLLength || !text.startsWith(kURLPrefix))
        return std::nullopt;
    const qsizetype query = text.indexOf(QLatin1Char('?'), kURLPrefix.size());
    if (query < 0 || QStringView(text).mid(query) != QString(kAlbumQuery + m_albumTag))
        return std::nullopt;
    const QString name = text.mid(kURLPrefix.size(), query - kURLPrefix.size());
    if (!parseName(name))
        return std::nullopt;
    return name;
}

AlbumFolder::Listing AlbumFolder::list() const
{
    Listing listing;
    FileDescriptor dir = openFolder(m_path);
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
    if (!parseName(name))
        return presence;
    FileDescriptor dir = openFolder(m_path);
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
    FileDescriptor dir = openFolder(m_path);
    if (!dir.isValid())
        return std::nullopt;
    struct stat info { };
    FileDescriptor file = openRegularFile(dir.get(), name, O_RDONLY, info);
    if (!file.isValid() || info.st_size > kLargestPhoto)
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

    // The folder is scanned only once the photo is on disk, when the writer asks for a name; the
    // numbering lock is held from then until the photo has its name.
    std::optional<NumberingLock> lock;
    std::optional<PhotoNumbers> numbers;
    const auto nextName = [&]() -> std::optional<QString> {
        if (!numbers) {
            lock.emplace(dir.get());
            numbers.emplace(scanNames(dir.get(), true));
        }
        const std::optional<long> number = numbers->next();
        return number ? std::optional(formatName(ItemKind::Photo, *number)) : std::nullopt;
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
    FileDescriptor dir = openFolder(m_path);
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

FileDescriptor AlbumFolder::openVideo(const QString& name) const
{
    if (!isVideoName(name))
        return FileDescriptor(-1);
    FileDescriptor dir = openFolder(m_path);
    struct stat info { };
    return dir.isValid() ? openRegularFile(dir.get(), name, O_RDONLY, info) : FileDescriptor(-1);
}

QUrl AlbumFolder::videoFileURL(const QString& name) const
{
    return openVideo(name).isValid() ? QUrl::fromLocalFile(m_path + QLatin1Char('/') + name) : QUrl();
}

void RecordingClaim::discard()
{
    if (m_file.isValid())
        ::unlink(QFile::encodeName(path()).constData());
    m_file.close();
}

AlbumFolder::Claimed AlbumFolder::claimRecording(const QString& extension) const
{
    QString upper = extension.toUpper();
    if (upper.startsWith(QLatin1Char('.')))
        upper.remove(0, 1);
    if (!videoKind(upper))
        return { {}, saveError(EINVAL, m_path, Item::Video) };
    if (m_creation == Creation::IfMissing)
        QDir().mkpath(m_path); // failures surface below
    const QByteArray encodedPath = QFile::encodeName(m_path);
    struct stat folderInfo { };
    if (::stat(encodedPath.constData(), &folderInfo) != 0)
        return { {}, saveError(errno, m_path, Item::Video) };
    if (!S_ISDIR(folderInfo.st_mode))
        return { {}, saveError(ENOTDIR, m_path, Item::Video) };

    const QByteArray suffix = "." + upper.toLatin1() + ".part";
    for (int attempt = 0; attempt < 10; ++attempt) {
        QByteArray pattern = encodedPath + "/.VID-XXXXXX" + suffix;
        // mkostemps creates the file exclusively (never through a link), owner-only at first.
        FileDescriptor file(::mkostemps(pattern.data(), int(suffix.size()), O_CLOEXEC));
        if (!file.isValid() || ::fchmod(file.get(), 0644) != 0) {
            const int error = errno;
            if (file.isValid())
                ::unlink(pattern.constData());
            return { {}, saveError(error, m_path, Item::Video) };
        }
        RecordingClaim claim;
        claim.m_folder = m_path;
        claim.m_name = QFile::decodeName(pattern.mid(pattern.lastIndexOf('/') + 1));
        claim.m_extension = upper;
        if (::flock(file.get(), LOCK_EX | LOCK_NB) == 0) {
            claim.m_file = std::move(file);
            return { std::move(claim), std::nullopt };
        }
        // Another process's interruptedRecordings() locked it first, between its creation and
        // here: that file is the other process's to remove. A new name.
    }
    return { {}, saveError(EBUSY, m_path, Item::Video) };
}

AlbumFolder::Stored AlbumFolder::storeRecording(RecordingClaim claim) const
{
    const auto kind = videoKind(claim.extension());
    if (!claim.isValid() || !kind || claim.m_folder != m_path)
        return { {}, saveError(EBADF, m_path, Item::Video) };
    FileDescriptor dir = openFolder(m_path);
    if (!dir.isValid())
        return { {}, saveError(errno, m_path, Item::Video) };
    const QByteArray from = QFile::encodeName(claim.fileName());
    struct stat info { };
    struct stat named { };
    if (::fstat(claim.descriptor(), &info) != 0)
        return { {}, saveError(errno, m_path, Item::Video) };
    // The name must still be the claimed file: one removed or put in its place is not touched.
    if (::fstatat(dir.get(), from.constData(), &named, AT_SYMLINK_NOFOLLOW) != 0
        || named.st_ino != info.st_ino || named.st_dev != info.st_dev)
        return { {}, recordingGone(m_path) };
    if (info.st_size < kShortestRecording) {
        ::unlinkat(dir.get(), from.constData(), 0);
        return { {},
            AlbumError(AlbumError::Kind::NothingRecorded,
                QCoreApplication::translate(
                    "AlbumFolder", "The video could not be saved: nothing was recorded.")) };
    }
    // The recording reaches the disk before its name does.
    if (::fsync(claim.descriptor()) != 0)
        return { {}, saveError(errno, m_path, Item::Video) };

    const NumberingLock lock(dir.get());
    PhotoNumbers numbers(scanNames(dir.get(), true));
    while (const std::optional<long> number = numbers.next()) {
        const QString name = formatName(*kind, *number);
        const int error
            = renameWithoutReplacing(dir.get(), from.constData(), QFile::encodeName(name).constData());
        if (error == 0) {
            ::fsync(dir.get());
            return { name, std::nullopt };
        }
        if (error == ENOENT) // the folder is there: the recording's file is not
            return { {}, recordingGone(m_path) };
        if (error != EEXIST)
            return { {}, saveError(error, m_path, Item::Video) };
    }
    return { {},
        AlbumError(AlbumError::Kind::AlbumFull,
            QCoreApplication::translate("AlbumFolder",
                "The video could not be saved: the album folder %1 has no free number left. It stays in the "
                "folder as %2.")
                .arg(m_path, claim.fileName())) };
}

std::vector<RecordingClaim> AlbumFolder::interruptedRecordings() const
{
    std::vector<RecordingClaim> claims;
    FileDescriptor dir = openFolder(m_path);
    if (!dir.isValid())
        return claims;
    forEachEntry(dir.get(), [&](const char* entry) {
        const std::optional<QString> extension = recordingExtension(entry);
        if (!extension)
            return;
        const QString name = QFile::decodeName(entry);
        struct stat info { };
        FileDescriptor file = openRegularFile(dir.get(), name, O_RDONLY, info);
        if (!file.isValid() || ::flock(file.get(), LOCK_EX | LOCK_NB) != 0)
            return; // gone, not a file, or a live recording
        // Stored and released between the open and the lock: the name is no longer this file's.
        struct stat now { };
        if (::fstatat(dir.get(), entry, &now, AT_SYMLINK_NOFOLLOW) != 0 || now.st_ino != info.st_ino
            || now.st_dev != info.st_dev)
            return;
        RecordingClaim claim;
        claim.m_folder = m_path;
        claim.m_name = name;
        claim.m_extension = *extension;
        claim.m_file = std::move(file);
        claims.push_back(std::move(claim));
    });
    return claims;
}

} // namespace platform
