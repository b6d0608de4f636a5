#pragma once

// The saved-photos group: the album's photos as they were when the group was handed out,
// in album order (oldest first). Any thread; blocks run on the calling thread, synchronously.

#include <functional>
#include <memory>
#include <vector>

#include <QString>

#include "platform/album/Asset.h"

namespace platform {

class AlbumFolder;

class AssetsGroup {
public:
    // Called once per asset with its index (0 upwards), then once with no asset and index -1.
    using AssetBlock = std::function<void(const std::shared_ptr<Asset>& asset, int index)>;

    AssetsGroup(std::shared_ptr<const AlbumFolder> folder, std::vector<QString> names);

    int numberOfAssets() const { return int(m_names.size()); }
    void enumerateAssetsUsingBlock(const AssetBlock& block) const;

private:
    std::shared_ptr<const AlbumFolder> m_folder;
    std::vector<QString> m_names;
};

} // namespace platform
