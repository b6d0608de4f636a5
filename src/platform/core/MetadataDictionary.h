#pragma once

// The metadata dictionary of a photo or a camera frame: string keys mapping to numbers, strings,
// dates (QDateTime), nested dictionaries and lists (QVariantList), laid out under the image
// property key texts ("{Exif}", "{TIFF}", "{GPS}", "{IPTC}", "Orientation", ...).

#include <QVariantMap>

namespace platform {

using MetadataDictionary = QVariantMap;

} // namespace platform
