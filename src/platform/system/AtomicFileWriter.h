#pragma once

// Replaces a whole file so that a process killed at any instant leaves either the old contents or
// the new ones, never a torn mix: the bytes go to a temporary file in the same folder (so the final
// rename stays on one file system), optionally reach the disk (fsync), and are then renamed over
// the target. Files are created readable and writable by their owner only (0600), because they may
// hold usage data. Any thread may call; two writers of the same path race only on which complete
// version wins.

#include <QByteArray>
#include <QString>

namespace platform {

class AtomicFileWriter {
public:
    enum class Durability {
        // Atomic against a killed process; a power cut may lose the newest version.
        RenameOnly,
        // Also flushes the data and the folder entry to disk before and after the rename.
        Sync,
    };

    struct Result {
        bool ok { false };
        QString error; // empty when ok
        explicit operator bool() const { return ok; }
    };

    // Writes `data` as the complete new contents of `path`. The folder must exist. On failure the
    // previous file is untouched and no temporary file is left behind.
    static Result write(const QString& path, const QByteArray& data,
                        Durability durability = Durability::RenameOnly);

    // Makes `path` (a folder) exist, creating missing parents; folders this call creates are
    // owner-only (0700). Returns false when the folder cannot be made.
    static bool ensureDirectory(const QString& path);
};

} // namespace platform
