#include "analytics/TallyDataFolder.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "analytics/TallyFileSessionStore.h"
#include "analytics/TallyPaths.h"
#include "platform/core/Log.h"
#include "platform/system/AtomicFileWriter.h"
#include "platform/system/FileDescriptor.h"

namespace analytics {

namespace {

const QString kLockName = QStringLiteral(".tallyLock");
const QString kCreatedMarker = QStringLiteral(".tallyFolderCreated");

// The lock of the folder this process owns; open until the process ends.
platform::FileDescriptor g_ownedLock { -1 };
std::atomic<bool> g_warned { false };

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Why `folder` cannot be made: the first of it and its parents that is in the way.
QString whyNoFolder(const QString& folder, int error)
{
    for (QFileInfo at(QDir(folder).absolutePath());; at = QFileInfo(at.absolutePath())) {
        if (at.isSymLink() && !at.exists())
            return QStringLiteral("%1 links to %2, which does not exist")
                .arg(at.absoluteFilePath(), at.symLinkTarget());
        if (at.exists())
            return at.isDir() ? errorText(error)
                              : QStringLiteral("%1 is not a folder").arg(at.absoluteFilePath());
        if (at.isRoot())
            return errorText(error);
    }
}

// Opens (creating) the lock file and tries to lock it without waiting: the descriptor, none with
// `error` set when the file cannot be opened, or none with error EWOULDBLOCK when another process
// holds the lock.
platform::FileDescriptor lockFolder(const QString& folder, int& error)
{
    const QByteArray path = QFile::encodeName(QDir(folder).filePath(kLockName));
    platform::FileDescriptor fd(::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd.isValid()) {
        error = errno;
        return fd;
    }
    // A file system without locks (ENOLCK) is used unlocked rather than not at all.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 && errno != ENOLCK) {
        error = errno == EINTR ? EWOULDBLOCK : errno;
        return platform::FileDescriptor(-1);
    }
    return fd;
}

bool isCacheFileName(const QString& name)
{
    // TallyFileCache: "tallyCache_<prefix>_<key>.archive" and its temporary copies.
    static const QRegularExpression pattern(
        QStringLiteral(R"(^(?:tallyCache_[^/]+\.archive|\.tallyCache_[^/]+\.archive\.tmp-[A-Za-z0-9]{6})$)"));
    return pattern.match(name).hasMatch();
}

bool isAnswerCopyName(const QString& name)
{
    // TallyHTTPResponse::saveToDisk: "tallyResponse<seconds since 1970>" and its temporary copies.
    static const QRegularExpression pattern(
        QStringLiteral(R"(^(?:tallyResponse\d+|\.tallyResponse\d+\.tmp-[A-Za-z0-9]{6})$)"));
    return pattern.match(name).hasMatch();
}

void removeFiles(const QString& folder, bool (*isOurs)(const QString&), QStringList& removed)
{
    QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (isOurs(name) && dir.remove(name))
            removed << dir.filePath(name);
    }
}

// Removes `folder` when the layer made it and nothing else is in it. The marker goes either
// way: a folder the user has put files into is the user's from then on.
void removeFolderIfMadeHere(const QString& folder)
{
    if (QDir(folder).remove(kCreatedMarker))
        QDir().rmdir(folder);
}

} // namespace

bool TallyDataFolder::makeFolder(const QString& folder, QString* whyNot)
{
    const QFileInfo info(folder);
    if (info.isDir())
        return true;
    const bool missing = !info.exists() && !info.isSymLink();
    errno = 0;
    if (!platform::AtomicFileWriter::ensureDirectory(folder)) {
        if (whyNot)
            *whyNot = whyNoFolder(folder, errno);
        return false;
    }
    if (missing) {
        QFile marker(QDir(folder).filePath(kCreatedMarker));
        marker.open(QIODevice::WriteOnly); // without it the folder merely stays after removal
    }
    return true;
}

TallyDataFolder::Ownership TallyDataFolder::takeOwnership()
{
    const QString folder = TallyPaths::libraryDirectory();
    if (g_ownedLock.isValid())
        return Ownership::Owned;
    QString whyNot;
    if (!makeFolder(folder, &whyNot)) {
        warnUnwritable(folder, whyNot);
        return Ownership::Unusable;
    }
    int error = 0;
    platform::FileDescriptor lock = lockFolder(folder, error);
    if (!lock.isValid() && error == EWOULDBLOCK) {
        platform::logLine(QStringLiteral("Analytics: %1 is in use by another running Lumivue; this one "
                                         "records no usage, so nothing is counted twice")
                              .arg(folder));
        return Ownership::InUse;
    }
    // The owner's process id goes into the lock file for whoever wonders who holds it; writing
    // it also finds a full disk before the first session does.
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
    errno = ENOSPC; // what a short write means
    if (!lock.isValid() || ::ftruncate(lock.get(), 0) != 0
        || ::pwrite(lock.get(), pid.constData(), size_t(pid.size()), 0) != pid.size()
        || ::fsync(lock.get()) != 0) {
        if (lock.isValid())
            error = errno;
        warnUnwritable(folder, errorText(error));
        return Ownership::Unusable;
    }
    g_ownedLock = std::move(lock);
    return Ownership::Owned;
}

std::optional<QStringList> TallyDataFolder::removeStoredData()
{
    const QString library = QDir(TallyPaths::libraryDirectory()).absolutePath();
    // The folder's lock: this process's own, or taken for the removal when no one holds it.
    platform::FileDescriptor borrowed(-1);
    if (!g_ownedLock.isValid() && QFileInfo::exists(QDir(library).filePath(kLockName))) {
        int error = 0;
        borrowed = lockFolder(library, error);
        if (!borrowed.isValid() && error == EWOULDBLOCK)
            return std::nullopt;
    }
    QStringList removed;
    removeFiles(library, &TallyFileSessionStore::isStoreFileName, removed);
    const QString caches = TallyPaths::cachesDirectory();
    const QString cache = QDir(caches).filePath(QStringLiteral("Tally"));
    removeFiles(cache, &isCacheFileName, removed);
    const QString documents = TallyPaths::documentsDirectory();
    removeFiles(documents, &isAnswerCopyName, removed);
    if (g_ownedLock.isValid() || borrowed.isValid()) {
        QFile::remove(QDir(library).filePath(kLockName));
        g_ownedLock.close();
        borrowed.close();
    }
    for (const QString& folder : { cache, caches, documents, library })
        removeFolderIfMadeHere(folder);
    return removed;
}

void TallyDataFolder::warnUnwritable(const QString& folder, const QString& reason)
{
    if (g_warned.exchange(true))
        return;
    platform::logLine(
        QStringLiteral("Analytics: cannot write to %1: %2; usage is not being recorded").arg(folder, reason));
}

} // namespace analytics
