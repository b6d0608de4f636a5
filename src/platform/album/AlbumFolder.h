#pragma once

// The album on disk: one folder of JPEG files named IMG_0001.JPG, IMG_0002.JPG, ... (more digits
// past 9999). The number is the album's order, which is the order of writing. Other files in the
// folder are ignored; files being written are hidden (".IMG-*.tmp") until renamed into place.
//
// Every read goes through readPhoto(), which only accepts names of the form above, opens them
// relative to the folder and never follows a symbolic link, so nothing outside the folder is
// ever read, whatever an asset URL says.
//
// Immutable after construction; every method may be called from any thread.

#include <optional>
#include <vector>

#include <QByteArray>
#include <QString>

#include "platform/album/AlbumError.h"
#include "platform/album/AssetURL.h"

namespace platform {

class AlbumFolder {
public:
    enum class Creation { IfMissing, Never };

    AlbumFolder(const QString& path, Creation creation);

    const QString& path() const { return m_path; }

    // The URL of a photo name of this album, and back. nameForURL() returns nothing for any URL
    // that does not name a photo of this album (other album, other scheme, malformed, hostile).
    AssetURL urlForName(const QString& name) const;
    std::optional<QString> nameForURL(const AssetURL& url) const;
    static bool isPhotoName(const QString& name);

    struct Listing {
        std::vector<QString> names; // photo names, regular files only, in album order
        std::optional<AlbumError> error;
    };
    // A folder that does not exist yet lists as empty.
    Listing list() const;

    struct Presence {
        bool present { false };
        std::optional<AlbumError> error; // the folder exists but cannot be read
    };
    // Whether the name is a photo of the folder (a regular file, not a link).
    Presence find(const QString& name) const;

    // The bytes of one photo, or nothing if the name is not a regular photo file of the folder.
    std::optional<QByteArray> readPhoto(const QString& name) const;

    struct Stored {
        QString name;
        std::optional<AlbumError> error;
    };
    // Writes a complete file under the next free photo name: temporary file, fsync, then a
    // rename that never replaces an existing name, so concurrent writers (threads or processes)
    // always get distinct names. On failure nothing is left behind.
    Stored store(const QByteArray& bytes) const;

    // Removes what a write killed before its rename left behind: files named exactly like the
    // writer's temporary files (".IMG-XXXXXX.tmp", six letters or digits), regular files only,
    // last written more than kStaleAfter ago. A writer in another process finishes its file in
    // well under that, so its file under way is never taken. Returns how many were removed.
    static constexpr int kStaleAfterSeconds = 60;
    int removeStaleTemporaryFiles() const;

private:
    QString m_path;
    QString m_albumTag; // distinguishes this album's URLs from another folder's
    Creation m_creation { Creation::Never };
};

} // namespace platform
