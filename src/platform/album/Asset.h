#pragma once

// One photo of the album. Cheap to create: the file is read when a representation's data or the
// thumbnail is asked for. Any thread.

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

    // A small upright image of the photo, at most 160×120 before turning: the thumbnail
    // embedded in the file when there is one, else a scaled decode. Null if the photo is gone.
    QImage thumbnail() const;

private:
    std::shared_ptr<const AlbumFolder> m_folder;
    QString m_name;
};

} // namespace platform
