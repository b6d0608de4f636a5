#include "platform/album/AssetRepresentation.h"

#include <QBuffer>
#include <QImageReader>

#include "platform/album/AlbumFolder.h"
#include "platform/album/ImageOrientation.h"
#include "platform/album/JpegMetadata.h"

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
    auto bytes = m_folder->readPhoto(m_name);
    if (!bytes)
        return {};
    QBuffer buffer(&*bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    reader.setAutoTransform(false); // the caller turns the pixels with orientation()
    const QImage image = reader.read();
    return image.isNull() ? image : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
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
