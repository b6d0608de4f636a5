#include "platform/album/ImageOrientation.h"

#include <array>

#include <QTransform>

namespace platform {

namespace {

// Indexed by image orientation code.
constexpr std::array<int, 8> kExifForCode { 1, 3, 8, 6, 2, 4, 5, 7 };

} // namespace

int exifOrientationForImageOrientation(int imageOrientation)
{
    if (imageOrientation < 0 || imageOrientation >= int(kExifForCode.size()))
        return 1;
    return kExifForCode[std::size_t(imageOrientation)];
}

int imageOrientationForExifOrientation(int exifOrientation)
{
    for (std::size_t code = 0; code < kExifForCode.size(); ++code) {
        if (kExifForCode[code] == exifOrientation)
            return int(code);
    }
    return 0;
}

QImage imageTurnedUpright(const QImage& stored, int exifOrientation)
{
    const QTransform quarterTurn = QTransform().rotate(90);
    switch (exifOrientation) {
    case 2:
        return stored.mirrored(true, false);
    case 3:
        return stored.transformed(QTransform().rotate(180));
    case 4:
        return stored.mirrored(false, true);
    case 5:
        return stored.transformed(quarterTurn).mirrored(true, false); // transpose
    case 6:
        return stored.transformed(quarterTurn);
    case 7:
        return stored.transformed(quarterTurn).mirrored(false, true); // transverse
    case 8:
        return stored.transformed(QTransform().rotate(270));
    default:
        return stored;
    }
}

} // namespace platform
