#include "platform/album/AssetsGroup.h"

#include "platform/album/AlbumFolder.h"

namespace platform {

AssetsGroup::AssetsGroup(std::shared_ptr<const AlbumFolder> folder, std::vector<QString> names)
    : m_folder(std::move(folder))
    , m_names(std::move(names))
{
}

void AssetsGroup::enumerateAssetsUsingBlock(const AssetBlock& block) const
{
    for (std::size_t index = 0; index < m_names.size(); ++index)
        block(std::make_shared<Asset>(m_folder, m_names[index]), int(index));
    block(nullptr, -1);
}

} // namespace platform
