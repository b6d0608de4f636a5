#pragma once

// The album on disk: one folder of JPEG photos named IMG_0001.JPG, IMG_0002.JPG, ... and videos
// named VID_0003.MP4 or VID_0004.WEBM (more digits past 9999). Photos and videos share one number
// sequence, which is the album's order, the order of writing. Other files in the folder are
// ignored; photos being written are hidden (".IMG-*.tmp") until renamed into place, recordings
// under way are hidden (".VID-XXXXXX.MP4.part") and locked by their writer (flock) until stored.
//
// Every read goes through readPhoto() or openVideo(), which only accept names of the forms above,
// open them relative to the folder and never follow a symbolic link, so nothing outside the
// folder is ever read, whatever an asset URL says.
//
// Immutable after construction; every method may be called from any thread.

#include <optional>
#include <vector>

#include <QByteArray>
#include <QString>
#include <QUrl>

#include "platform/album/AlbumError.h"
#include "platform/album/AssetURL.h"
#include "platform/system/FileDescriptor.h"

namespace platform {

// A recording under way: its hidden file in the album folder, created for it alone and locked
// (flock) for as long as this object lives, so no other process takes it for a recording left
// behind by a kill. A killed process releases the lock with its descriptors. Move-only.
class RecordingClaim {
public:
    RecordingClaim() = default;
    RecordingClaim(RecordingClaim&&) noexcept = default;
    RecordingClaim& operator=(RecordingClaim&&) noexcept = default;

    bool isValid() const { return m_file.isValid(); }
    // Where the recorder writes (an absolute path), and the file's name in the folder.
    QString path() const { return m_folder + QLatin1Char('/') + m_name; }
    const QString& fileName() const { return m_name; }
    // "MP4" or "WEBM": the name the recording gets ends with it.
    const QString& extension() const { return m_extension; }
    // The locked descriptor (read-only), for a writer that takes one.
    int descriptor() const { return m_file.get(); }

    // Removes the file and lets the lock go (a recording given up).
    void discard();

private:
    friend class AlbumFolder;
    QString m_folder;
    QString m_name;
    QString m_extension;
    FileDescriptor m_file { -1 };
};

class AlbumFolder {
public:
    enum class Creation { IfMissing, Never };

    AlbumFolder(const QString& path, Creation creation);

    const QString& path() const { return m_path; }

    // The URL of a photo or video name of this album, and back. nameForURL() returns nothing for
    // any URL that does not name an item of this album (other album, other scheme, malformed,
    // hostile).
    AssetURL urlForName(const QString& name) const;
    std::optional<QString> nameForURL(const AssetURL& url) const;
    // Names in their one canonical spelling only.
    static bool isPhotoName(const QString& name);
    static bool isVideoName(const QString& name);

    struct Listing {
        std::vector<QString> names; // photo and video names, regular files only, in album order
        std::optional<AlbumError> error;
    };
    // A folder that does not exist yet lists as empty.
    Listing list() const;

    struct Presence {
        bool present { false };
        std::optional<AlbumError> error; // the folder exists but cannot be read
    };
    // Whether the name is a photo or video of the folder (a regular file, not a link).
    Presence find(const QString& name) const;

    // The bytes of one photo, or nothing if the name is not a regular photo file of the folder.
    std::optional<QByteArray> readPhoto(const QString& name) const;
    // One video opened for reading (never through a link), or an invalid descriptor if the name
    // is not a regular video file of the folder.
    FileDescriptor openVideo(const QString& name) const;
    // A file:// URL of one video for a player that opens files by path; empty unless the name is
    // a regular video file of the folder right now.
    QUrl videoFileURL(const QString& name) const;

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
    // Recordings are never taken: their files are named otherwise.
    static constexpr int kStaleAfterSeconds = 60;
    int removeStaleTemporaryFiles() const;

    struct Claimed {
        RecordingClaim claim; // valid on success
        std::optional<AlbumError> error;
    };
    // A new recording's file: hidden, empty, readable by everyone like photos, locked. The
    // extension is "MP4" or "WEBM" (any case).
    Claimed claimRecording(const QString& extension) const;
    // Gives a recording the next free video name (after every photo and video) with a rename that
    // never replaces a name, and flushes the folder. A file too short to hold anything is removed
    // instead (an AlbumError of kind NothingRecorded). On any other failure the file stays, with
    // its lock released, to be found by interruptedRecordings() at the next start.
    static constexpr qint64 kShortestRecording = 1024;
    Stored storeRecording(RecordingClaim claim) const;
    // The recordings no live process holds (left behind by a kill or a power cut), claimed for
    // the caller: finish each and store it with storeRecording(), or discard() it. Regular files
    // only, never links.
    std::vector<RecordingClaim> interruptedRecordings() const;

private:
    QString m_path;
    QString m_albumTag; // distinguishes this album's URLs from another folder's
    Creation m_creation { Creation::Never };
};

} // namespace platform
