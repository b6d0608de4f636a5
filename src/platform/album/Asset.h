#pragma once

// One photo or video of the album. Cheap to create: the file is read when a representation's
// data or the thumbnail is asked for. Any thread.

#include <memory>

#include <QImage>
#include <QString>

#include "platform/album/AssetRepresentation.h"

namespace platform {

class AlbumFolder;

class Asset {
public:
    Asset(std::shared_ptr<const AlbumFolder> folder, QString name);

    AssetRepresentation defaultRepresentation() const;
    bool isVideo() const;

    // A small upright image of the photo, at most 160×120 before turning: the thumbnail
    // embedded in the file when there is one, else a scaled decode. Of a video: its first frame,
    // at most 160×120, with a play mark (a plain dark picture with the mark when the video does
    // not decode: it is still in the album). Null if the photo or video is gone.
    QImage thumbnail() const;

private:
    std::shared_ptr<const AlbumFolder> m_folder;
    QString m_name;
};

} // namespace platform
