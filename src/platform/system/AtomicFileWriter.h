#pragma once

// Writes whole files so that a process killed at any instant leaves either the old state or the
// new one, never a torn file: the bytes go to a hidden temporary file in the target's folder (so
// the final rename stays on one file system), optionally reach the disk (fsync), and are then
// renamed into place. On failure nothing is left behind and an existing file is untouched; a
// process killed before the rename leaves only its temporary file (".NAME.tmp-XXXXXX" for
// write(), ".STEM-XXXXXX.tmp" for createNew()), which its owner may remove as litter.
//
// Two ways in: write() replaces the contents of a path; createNew() adds a file under a name no
// file has yet and never replaces one (photos). Files get the permissions the caller names,
// whatever the umask: owner-only (0600) for usage data, readable by everyone (0644) for photos.
//
// Not QSaveFile: it always syncs (RenameOnly and KeepPrevious exist to avoid that), reports success
// when the sync fails, never syncs the folder, and can only replace.
//
// Any thread may call; two writers of the same path race only on which complete version wins.

#include <functional>
#include <optional>

#include <QByteArray>
#include <QString>

namespace platform {

class AtomicFileWriter {
public:
    enum class Durability {
        // Atomic against a killed process; a power cut may lose the newest version. (ext4 starts
        // writing the data back when a rename replaces a file, which can take milliseconds.)
        RenameOnly,
        // Also flushes the data and the folder entry to disk before and after the rename.
        Sync,
        // For files rewritten many times a second: the current version is first moved aside to
        // previousPath(path), then the new one takes its place. No rename replaces a file, so
        // the file system starts no write-back; a process killed between the two renames leaves
        // no file at `path` but the complete previous version beside it. Read such files with
        // readLatest().
        KeepPrevious,
    };

    enum class Access {
        OwnerOnly, // 0600: files that may hold usage data
        EveryoneReads, // 0644: photos other programs show
    };

    struct Result {
        bool ok { false };
        QString error; // empty when ok
        int errorNumber { 0 }; // errno of the step that failed; EEXIST when createNew ran out of names
        QString fileName; // createNew: the name the file got
        explicit operator bool() const { return ok; }
    };

    // Writes `data` as the complete new contents of `path`. The folder must exist.
    static Result write(const QString& path, const QByteArray& data,
        Durability durability = Durability::RenameOnly, Access access = Access::OwnerOnly);

    // Offers the next file name to try, or nothing when no name is left.
    using NameSource = std::function<std::optional<QString>()>;
    // Writes `data` into `folder` under the first name from `nextName` that no file has yet. The
    // data reaches the disk before any name is asked for (so a caller that numbers its files
    // looks at the folder as late as possible); a name another writer takes in the meantime is
    // never replaced but makes the writer ask again, so concurrent writers (threads or
    // processes) always get distinct names. The folder is flushed after the rename, so the new
    // name survives a power cut.
    static Result createNew(const QString& folder, const QString& stem, const QByteArray& data, Access access,
        const NameSource& nextName);

    // Where KeepPrevious keeps the version before the newest one.
    static QString previousPath(const QString& path);
    // The newest complete version of a file written with KeepPrevious (also fine for the other
    // modes): the file itself when `isValid` accepts it, else the previous version when that is
    // accepted. Files larger than `maxBytes` are not read. Absent when neither qualifies.
    static std::optional<QByteArray> readLatest(const QString& path,
        const std::function<bool(const QByteArray&)>& isValid, qint64 maxBytes = 64 * 1024 * 1024);
    // Removes the file and its previous version; true when nothing of it is left.
    static bool remove(const QString& path);

    // Makes `path` (a folder) exist, creating missing parents; folders this call creates are
    // owner-only (0700). Returns false when the folder cannot be made.
    static bool ensureDirectory(const QString& path);
};

} // namespace platform
