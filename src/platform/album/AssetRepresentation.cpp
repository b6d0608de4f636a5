#include "platform/album/AssetRepresentation.h"

#include <sys/stat.h>

#include <QBuffer>
#include <QImageReader>

#include "platform/album/AlbumFolder.h"
#include "platform/album/ImageOrientation.h"
#include "platform/album/JpegMetadata.h"
#include "platform/album/VideoThumbnail.h"
#include "platform/core/ImageFileCheck.h"

namespace platform {

AssetRepresentation::AssetRepresentation(std::shared_ptr<const AlbumFolder> folder, QString name)
    : m_folder(std::move(folder))
    , m_name(std::move(name))
{
}

AssetURL AssetRepresentation::url() const
{
    return m_folder->urlForName(m_name);
}

bool AssetRepresentation::isVideo() const
{
    return AlbumFolder::isVideoName(m_name);
}

qint64 AssetRepresentation::size() const
{
    if (!isVideo()) {
        const auto bytes = m_folder->readPhoto(m_name);
        return bytes ? bytes->size() : 0;
    }
    const FileDescriptor video = m_folder->openVideo(m_name);
    struct stat info { };
    return video.isValid() && ::fstat(video.get(), &info) == 0 ? qint64(info.st_size) : 0;
}

std::optional<qint64> AssetRepresentation::durationMs() const
{
    const FileDescriptor video = m_folder->openVideo(m_name);
    return video.isValid() ? probeVideo(video.get(), QSize(1, 1)).durationMs : std::nullopt;
}

QUrl AssetRepresentation::fileURL() const
{
    return m_folder->videoFileURL(m_name);
}

MetadataDictionary AssetRepresentation::metadata() const
{
    const auto bytes = m_folder->readPhoto(m_name);
    if (!bytes)
        return {};
    const auto metadata = readJpegMetadata(*bytes);
    return metadata ? metadata->dictionary : MetadataDictionary {};
}

QImage AssetRepresentation::fullResolutionImage() const
{
    return imageFitting(QSize());
}

QImage AssetRepresentation::imageFitting(const QSize& bounds, QSize* storedSize, QString* damage) const
{
    if (storedSize)
        *storedSize = QSize();
    auto bytes = m_folder->readPhoto(m_name);
    if (!bytes)
        return {};
    // libjpeg turns a cut-short file into a picture with grey rows and no error.
    if (const auto found = imageDamage(*bytes)) {
        if (damage)
            *damage = *found;
        return {};
    }
    QBuffer buffer(&*bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    reader.setAutoTransform(false); // the caller turns the pixels with orientation()
    const QSize full = reader.size();
    if (!full.isValid())
        return {};
    if (bounds.isValid() && (full.width() > bounds.width() || full.height() > bounds.height())) {
        // The largest of the decoder's own reductions (1/2, 1/4, 1/8) that still holds the fitted
        // size: the DCT then does all of it, with no resampling pass afterwards.
        const QSize fitted = full.scaled(bounds, Qt::KeepAspectRatio);
        QSize scaled = full;
        for (int divisor = 2; divisor <= 8; divisor *= 2) {
            const QSize reduced(
                (full.width() + divisor - 1) / divisor, (full.height() + divisor - 1) / divisor);
            if (reduced.width() < fitted.width() || reduced.height() < fitted.height())
                break;
            scaled = reduced;
        }
        if (scaled != full)
            reader.setScaledSize(scaled);
    }
    QImage image = reader.read();
    if (image.isNull())
        return image;
    if (storedSize)
        *storedSize = full;
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

int AssetRepresentation::orientation() const
{
    const auto bytes = m_folder->readPhoto(m_name);
    if (!bytes)
        return 0;
    const auto metadata = readJpegMetadata(*bytes);
    return metadata ? imageOrientationForExifOrientation(metadata->exifOrientation) : 0;
}

} // namespace platform
