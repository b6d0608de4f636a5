#pragma once

// Why an album operation failed, with a sentence a person understands (shown as the alert's
// message). A plain value; any thread.

#include <utility>

#include <QString>

namespace platform {

class AlbumError {
public:
    enum class Kind {
        FolderMissing, // the album folder does not exist
        NotAFolder, // the album path names something that is not a folder
        ReadOnly, // the folder cannot be written (permissions, read-only file system)
        DiskFull, // no space or quota left
        AlbumFull, // no free photo number left
        NothingRecorded, // a recording ended before anything was written into it
        InvalidImage, // the image is empty or cannot be encoded
        Metadata, // the metadata could not be written into the photo
        Unreadable, // the album folder cannot be listed
        Io, // any other input/output failure
    };

    AlbumError(Kind kind, QString description)
        : m_kind(kind)
        , m_description(std::move(description))
    {
    }

    Kind kind() const { return m_kind; }
    const QString& description() const { return m_description; }

private:
    Kind m_kind { Kind::Io };
    QString m_description;
};

} // namespace platform
