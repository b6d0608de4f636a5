#include "photos/ImageMetadataCategory.h"

#include <mutex>
#include <utility>

#include <QVersionNumber>

#include "platform/album/AssetsLibrary.h"
#include "platform/album/ImageOrientation.h"
#include "platform/album/ImagePropertyKeys.h"

namespace photos {

namespace ip = platform::ImageProperty;

struct ImageMetadataCategory::Shared {
    std::mutex mutex;
    platform::MetadataDictionary dictionary; // guarded by mutex
};

namespace {

// Pickers on systems before this one give no usable metadata.
const QVersionNumber kFirstPickerMetadataVersion { 4, 1 };

// The group under `key` as an ordinary map: a map stays, another map form (a hash, a CBOR or
// JSON object) is converted, anything else gives a fresh group. Stored back under `key`.
QVariantMap ensureGroup(platform::MetadataDictionary& dictionary, const QString& key)
{
    const QVariant value = dictionary.value(key);
    QVariantMap group;
    if (value.typeId() == QMetaType::QVariantMap)
        return value.toMap();
    if (value.isValid() && value.typeId() != QMetaType::QString && value.canConvert<QVariantMap>())
        group = value.toMap();
    dictionary.insert(key, group);
    return group;
}

} // namespace

ImageMetadataCategory::ImageMetadataCategory()
    : m_shared(std::make_shared<Shared>())
{
}

ImageMetadataCategory::ImageMetadataCategory(platform::MetadataDictionary entries)
    : ImageMetadataCategory()
{
    m_shared->dictionary = std::move(entries);
}

ImageMetadataCategory::ImageMetadataCategory(ImageMetadataCategory&& other) noexcept
    : m_shared(std::exchange(other.m_shared, std::make_shared<Shared>()))
{
}

ImageMetadataCategory& ImageMetadataCategory::operator=(ImageMetadataCategory&& other) noexcept
{
    if (this != &other)
        m_shared = std::exchange(other.m_shared, std::make_shared<Shared>());
    return *this;
}

ImageMetadataCategory::~ImageMetadataCategory() = default;

ImageMetadataCategory& ImageMetadataCategory::initWithImageSampleBuffer(
    const platform::MetadataDictionary& attachments)
{
    m_shared = std::make_shared<Shared>();
    m_shared->dictionary = attachments;
    return *this;
}

ImageMetadataCategory& ImageMetadataCategory::initWithInfoFromImagePicker(const ImagePickerInfo& info,
    const QString& systemVersion, platform::AssetsLibrary& library, Delivered delivered)
{
    m_shared = std::make_shared<Shared>();
    // Compared as a version, not as a decimal: "4.1" is 4.1 and "4.10" is later than "4.9".
    const QVersionNumber version = QVersionNumber::fromString(systemVersion.trimmed());
    if (version.isNull() || version < kFirstPickerMetadataVersion)
        return *this;
    if (info.referenceURL) {
        lookUpInto(m_shared, library, *info.referenceURL, std::move(delivered));
        return *this;
    }
    if (info.mediaMetadata)
        m_shared->dictionary = *info.mediaMetadata;
    return *this;
}

ImageMetadataCategory& ImageMetadataCategory::initFromAssetURL(
    platform::AssetsLibrary& library, const platform::AssetURL& url, Delivered delivered)
{
    m_shared = std::make_shared<Shared>();
    lookUpInto(m_shared, library, url, std::move(delivered));
    return *this;
}

void ImageMetadataCategory::lookUpInto(const std::shared_ptr<Shared>& shared,
    platform::AssetsLibrary& library, const platform::AssetURL& url, Delivered delivered)
{
    // The lookup holds the state, not this object: a receiver destroyed or re-initialised in the
    // meantime is never touched. Each answer holds its own copy of `delivered`.
    auto onFailure = [delivered](const platform::AlbumError&) {
        if (delivered)
            delivered();
    };
    library.assetForURL(
        url,
        [shared, delivered = std::move(delivered)](const std::shared_ptr<platform::Asset>& asset) {
            if (asset) {
                const platform::MetadataDictionary entries = asset->defaultRepresentation().metadata();
                std::scoped_lock lock(shared->mutex);
                for (auto it = entries.constBegin(); it != entries.constEnd(); ++it)
                    shared->dictionary.insert(it.key(), it.value());
            }
            if (delivered)
                delivered();
        },
        std::move(onFailure));
}

std::optional<Location> ImageMetadataCategory::location() const
{
    std::scoped_lock lock(m_shared->mutex);
    const auto it = m_shared->dictionary.constFind(ip::GPSDictionary);
    if (it == m_shared->dictionary.constEnd())
        return std::nullopt;
    const QVariantMap gps = it->toMap();
    // Read as the 32-bit numbers they were stored as, then widened.
    double latitude = double(gps.value(ip::GPSLatitude).toFloat());
    double longitude = double(gps.value(ip::GPSLongitude).toFloat());
    if (gps.value(ip::GPSLatitudeRef).toString() == QLatin1String("S"))
        latitude = -latitude;
    if (gps.value(ip::GPSLongitudeRef).toString() == QLatin1String("W"))
        longitude = -longitude;
    return Location { latitude, longitude, {} };
}

void ImageMetadataCategory::setLocation(const std::optional<Location>& location)
{
    if (!location)
        return;
    double latitude = location->latitude;
    double longitude = location->longitude;
    QString latitudeRef = QStringLiteral("N");
    QString longitudeRef = QStringLiteral("E");
    if (latitude < 0) { // not-a-number counts as positive
        latitudeRef = QStringLiteral("S");
        latitude = -latitude;
    }
    if (longitude < 0) {
        longitudeRef = QStringLiteral("W");
        longitude = -longitude;
    }
    const QVariantMap gps {
        { ip::GPSTimeStamp, location->timestamp },
        { ip::GPSLatitudeRef, latitudeRef },
        { ip::GPSLatitude, float(latitude) },
        { ip::GPSLongitudeRef, longitudeRef },
        { ip::GPSLongitude, float(longitude) },
    };
    std::scoped_lock lock(m_shared->mutex);
    m_shared->dictionary.insert(ip::GPSDictionary, gps); // replaces the whole group
}

platform::MetadataDictionary ImageMetadataCategory::dictionaryForKey(const QString& key)
{
    std::scoped_lock lock(m_shared->mutex);
    return ensureGroup(m_shared->dictionary, key);
}

void ImageMetadataCategory::setInGroup(const QString& group, const QString& key, const QVariant& value)
{
    std::scoped_lock lock(m_shared->mutex);
    QVariantMap entries = ensureGroup(m_shared->dictionary, group);
    entries.insert(key, value);
    m_shared->dictionary.insert(group, entries);
}

void ImageMetadataCategory::setUserComment(const QString& comment)
{
    setInGroup(ip::ExifDictionary, ip::ExifUserComment, comment);
}

void ImageMetadataCategory::setDateOriginal(const QVariant& date)
{
    setInGroup(ip::ExifDictionary, ip::ExifDateTimeOriginal, date);
    setInGroup(ip::TIFFDictionary, ip::TIFFDateTime, date);
}

void ImageMetadataCategory::setDateDigitized(const QVariant& date)
{
    setInGroup(ip::ExifDictionary, ip::ExifDateTimeDigitized, date);
}

void ImageMetadataCategory::setMake(const QString& make, const QString& model, const QString& software)
{
    setInGroup(ip::TIFFDictionary, ip::TIFFMake, make);
    setInGroup(ip::TIFFDictionary, ip::TIFFModel, model);
    setInGroup(ip::TIFFDictionary, ip::TIFFSoftware, software);
}

void ImageMetadataCategory::setDescription(const QString& description)
{
    setInGroup(ip::TIFFDictionary, ip::TIFFImageDescription, description);
}

void ImageMetadataCategory::setKeywords(const QVariant& keywords)
{
    setInGroup(ip::IPTCDictionary, ip::IPTCKeywords, keywords);
}

void ImageMetadataCategory::setDigitalZoom(float zoom)
{
    setInGroup(ip::ExifDictionary, ip::ExifDigitalZoomRatio, zoom);
}

void ImageMetadataCategory::setImageOrientation(int imageOrientation)
{
    std::scoped_lock lock(m_shared->mutex);
    m_shared->dictionary.insert(
        ip::Orientation, platform::exifOrientationForImageOrientation(imageOrientation));
}

platform::MetadataDictionary ImageMetadataCategory::dictionary() const
{
    std::scoped_lock lock(m_shared->mutex);
    return m_shared->dictionary;
}

} // namespace photos
