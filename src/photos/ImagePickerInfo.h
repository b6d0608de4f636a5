#pragma once

// What an image picker hands back about the photo the user chose: the album URL of a photo
// picked from the album, or the metadata of one just taken. A plain value; any thread.

#include <optional>

#include "platform/album/AssetURL.h"
#include "platform/core/MetadataDictionary.h"

namespace photos {

struct ImagePickerInfo {
    std::optional<platform::AssetURL> referenceURL;
    std::optional<platform::MetadataDictionary> mediaMetadata;
};

} // namespace photos
