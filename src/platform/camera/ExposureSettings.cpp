#include "platform/camera/ExposureSettings.h"

#include <cmath>

#include <QVariantList>

namespace platform {

MetadataDictionary ExposureSettings::attachments(QSize pixels, const QDateTime& taken) const
{
    // APEX values: Av = 2 log2 N, Tv = -log2 t, Sv = log2(ISO / 3.125), Bv = Av + Tv - Sv.
    const double apertureValue = 2.0 * std::log2(fNumber);
    const double shutterSpeedValue = -std::log2(exposureTime);
    const double speedValue = std::log2(iso / 3.125);
    const QString when = taken.toString(QStringLiteral("yyyy:MM:dd HH:mm:ss"));

    MetadataDictionary exif;
    exif.insert(QStringLiteral("ExposureTime"), exposureTime);
    exif.insert(QStringLiteral("ExposureProgram"), 2); // normal program
    exif.insert(QStringLiteral("FNumber"), fNumber);
    exif.insert(QStringLiteral("ISOSpeedRatings"), QVariantList { iso });
    exif.insert(QStringLiteral("ExifVersion"), QVariantList { 2, 2, 1 });
    exif.insert(QStringLiteral("DateTimeOriginal"), when);
    exif.insert(QStringLiteral("DateTimeDigitized"), when);
    exif.insert(QStringLiteral("ShutterSpeedValue"), shutterSpeedValue);
    exif.insert(QStringLiteral("ApertureValue"), apertureValue);
    exif.insert(QStringLiteral("BrightnessValue"), apertureValue + shutterSpeedValue - speedValue);
    exif.insert(QStringLiteral("ExposureBiasValue"), 0.0);
    exif.insert(QStringLiteral("MeteringMode"), 5); // pattern
    // Flash did not fire; with the torch on the flash was suppressed in favour of the lamp.
    exif.insert(QStringLiteral("Flash"), torchOn ? 16 : 0);
    exif.insert(QStringLiteral("FocalLength"), focalLength);
    exif.insert(QStringLiteral("FocalLenIn35mmFilm"), focalLengthIn35mmFilm);
    exif.insert(QStringLiteral("ColorSpace"), 1); // sRGB
    exif.insert(QStringLiteral("PixelXDimension"), pixels.width());
    exif.insert(QStringLiteral("PixelYDimension"), pixels.height());
    exif.insert(QStringLiteral("SensingMethod"), 2);
    exif.insert(QStringLiteral("ExposureMode"), 0);
    exif.insert(QStringLiteral("WhiteBalance"), 0);
    exif.insert(QStringLiteral("SceneCaptureType"), 0);

    MetadataDictionary attachments;
    attachments.insert(QStringLiteral("{Exif}"), exif);
    return attachments;
}

} // namespace platform
