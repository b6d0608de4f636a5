#pragma once

// Replaces a whole file so that a process killed at any instant leaves either the old contents or
// the new ones, never a torn mix: the bytes go to a temporary file in the same folder (so the final
// rename stays on one file system), optionally reach the disk (fsync), and are then renamed over
// the target. Files are created readable and writable by their owner only (0600), because they may
// hold usage data. Any thread may call; two writers of the same path race only on which complete
// version wins.

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

    struct Result {
        bool ok { false };
        QString error; // empty when ok
        explicit operator bool() const { return ok; }
    };

    // Writes `data` as the complete new contents of `path`. The folder must exist. On failure the
    // previous file is untouched and no temporary file is left behind.
    static Result write(
        const QString& path, const QByteArray& data, Durability durability = Durability::RenameOnly);

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
