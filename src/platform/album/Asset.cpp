#include "platform/album/Asset.h"

#include <QBuffer>
#include <QImageReader>

#include "platform/album/AlbumFolder.h"
#include "platform/album/ImageOrientation.h"
#include "platform/album/JpegMetadata.h"
#include "platform/album/VideoThumbnail.h"

namespace platform {

namespace {

const QSize kThumbnailBox { 160, 120 };

} // namespace

Asset::Asset(std::shared_ptr<const AlbumFolder> folder, QString name)
    : m_folder(std::move(folder))
    , m_name(std::move(name))
{
}

AssetRepresentation Asset::defaultRepresentation() const
{
    return AssetRepresentation(m_folder, m_name);
}

bool Asset::isVideo() const
{
    return AlbumFolder::isVideoName(m_name);
}

QImage Asset::thumbnail() const
{
    if (isVideo()) {
        const FileDescriptor video = m_folder->openVideo(m_name);
        if (!video.isValid())
            return {};
        return withPlayMark(probeVideo(video.get(), kThumbnailBox).frame, kThumbnailBox);
    }
    auto bytes = m_folder->readPhoto(m_name);
    if (!bytes)
        return {};
    const auto metadata = readJpegMetadata(*bytes);
    const int exifOrientation = metadata ? metadata->exifOrientation : 1;

    QImage small;
    if (metadata && !metadata->thumbnailJpeg.isEmpty())
        small = QImage::fromData(metadata->thumbnailJpeg, "jpeg");
    if (small.isNull()) {
        QBuffer buffer(&*bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "jpeg");
        reader.setAutoTransform(false);
        const QSize size = reader.size();
        if (size.width() > kThumbnailBox.width() || size.height() > kThumbnailBox.height())
            reader.setScaledSize(size.scaled(kThumbnailBox, Qt::KeepAspectRatio)); // decoder-side scaling
        small = reader.read();
    }
    if (small.isNull())
        return {};
    return imageTurnedUpright(small, exifOrientation).convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace platform
