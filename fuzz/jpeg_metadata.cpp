// The album's metadata reader: any bytes read as a dictionary or as nothing. What was read —
// hostile numbers, texts and dates included — can be written into a clean JPEG by the album's
// writer (a photo saved with metadata taken from another file) without crashing, and an embedded
// thumbnail is itself readable.

#include <cstdint>

#include <QByteArray>
#include <QDateTime>
#include <QImage>

#include "platform/album/ImagePropertyKeys.h"
#include "platform/album/JpegMetadata.h"
#include "support/FuzzCheck.h"

namespace {

const QByteArray& cleanJpeg()
{
    static const QByteArray jpeg = [] {
        QImage image(16, 16, QImage::Format_RGB32);
        image.fill(Qt::darkGreen);
        return platform::encodeJpeg(image, 80);
    }();
    return jpeg;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto metadata = platform::readJpegMetadata(bytes);
    if (!metadata)
        return 0;
    FUZZ_CHECK(
        metadata->exifOrientation >= 1 && metadata->exifOrientation <= 8, "the orientation is an EXIF one");
    const QVariantMap gps = metadata->dictionary.value(platform::ImageProperty::GPSDictionary).toMap();
    if (gps.contains(platform::ImageProperty::GPSTimeStamp))
        FUZZ_CHECK(gps.value(platform::ImageProperty::GPSTimeStamp).toDateTime().isValid(),
            "a GPS time stamp is a time");
    if (!metadata->thumbnailJpeg.isEmpty())
        (void)platform::readJpegMetadata(metadata->thumbnailJpeg);

    FUZZ_CHECK(!cleanJpeg().isEmpty(), "the JPEG encoder works");
    QByteArray copy = cleanJpeg();
    const auto error = platform::writeJpegMetadata(copy, metadata->dictionary, QSize(16, 16), {});
    if (error) {
        FUZZ_CHECK(copy == cleanJpeg(), "a failed write leaves the JPEG unchanged");
    } else {
        FUZZ_CHECK(platform::readJpegMetadata(copy).has_value(), "what the writer wrote reads back");
    }
    return 0;
}
