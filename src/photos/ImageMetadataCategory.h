#pragma once

// A photo's metadata dictionary with the operations that build and read it: the orientation at
// the top level, and entries in the {Exif}, {TIFF}, {GPS} and {IPTC} groups (key texts in
// platform/album/ImagePropertyKeys.h). Each setter writes into its group, creating the group when
// it is missing and turning a group stored in another map form into an ordinary one first, so
// entries already there (for example the camera's EXIF data) are kept. Setters store their
// argument as given; the album renders dates and numbers when it writes the file.
//
// The dictionary is shared state: the asynchronous initialisers (initFromAssetURL, and
// initWithInfoFromImagePicker with a reference URL) add the asset's entries later, on the album
// thread, so every method locks. Any thread may call any method. Copies are not shared: copying
// is deleted, moving hands the state over.

#include <functional>
#include <memory>
#include <optional>

#include <QString>
#include <QVariant>

#include "photos/ImagePickerInfo.h"
#include "photos/Location.h"
#include "platform/album/AssetURL.h"
#include "platform/core/MetadataDictionary.h"

namespace platform {
class AssetsLibrary;
}

namespace photos {

class ImageMetadataCategory {
public:
    // Runs on the album thread once an asynchronous lookup has delivered (found or not).
    using Delivered = std::function<void()>;

    ImageMetadataCategory();
    explicit ImageMetadataCategory(platform::MetadataDictionary entries);
    ImageMetadataCategory(const ImageMetadataCategory&) = delete;
    ImageMetadataCategory& operator=(const ImageMetadataCategory&) = delete;
    ImageMetadataCategory(ImageMetadataCategory&& other) noexcept;
    ImageMetadataCategory& operator=(ImageMetadataCategory&& other) noexcept;
    ~ImageMetadataCategory();

    // Initialisers: each replaces the whole content and returns *this.
    // A copy of a camera frame's attachments (an empty dictionary gives an empty one).
    ImageMetadataCategory& initWithImageSampleBuffer(const platform::MetadataDictionary& attachments);
    // Empty on systems older than 4.1 (or an unreadable version); else the picked asset's
    // metadata (asynchronously, from `library`) or the taken photo's media metadata.
    ImageMetadataCategory& initWithInfoFromImagePicker(const ImagePickerInfo& info,
        const QString& systemVersion, platform::AssetsLibrary& library, Delivered delivered = {});
    // Empty now; the asset's metadata are added when the album delivers them (a failed or empty
    // lookup adds nothing). `library` must outlive the call; its destruction delivers first.
    ImageMetadataCategory& initFromAssetURL(
        platform::AssetsLibrary& library, const platform::AssetURL& url, Delivered delivered = {});

    // The position in the {GPS} group, or nothing without one.
    std::optional<Location> location() const;
    // Replaces the {GPS} group with exactly the fix's position, refs and time stamp; nothing
    // happens for no fix.
    void setLocation(const std::optional<Location>& location);

    // The group under `key`, created (empty) when missing; a value that is not a map is replaced.
    platform::MetadataDictionary dictionaryForKey(const QString& key);

    void setUserComment(const QString& comment);
    void setDateOriginal(const QVariant& date); // {Exif} DateTimeOriginal and {TIFF} DateTime
    void setDateDigitized(const QVariant& date);
    void setMake(const QString& make, const QString& model, const QString& software);
    void setDescription(const QString& description);
    void setKeywords(const QVariant& keywords); // a QStringList, kept as given
    void setDigitalZoom(float zoom);
    void setImageOrientation(int imageOrientation); // stored as its EXIF number

    // A snapshot of the whole dictionary, to hand to the album writer.
    platform::MetadataDictionary dictionary() const;

private:
    struct Shared;

    void setInGroup(const QString& group, const QString& key, const QVariant& value);
    static void lookUpInto(const std::shared_ptr<Shared>& shared, platform::AssetsLibrary& library,
        const platform::AssetURL& url, Delivered delivered);

    std::shared_ptr<Shared> m_shared;
};

} // namespace photos
