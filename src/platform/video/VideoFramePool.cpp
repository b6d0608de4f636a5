#include "platform/video/VideoFramePool.h"

namespace platform {

VideoFramePool::VideoFramePool(QSize size, int capacity)
    : m_size(size)
    , m_blocks(std::size_t(capacity))
    , m_lent(std::size_t(capacity), false)
{
}

int VideoFramePool::take()
{
    std::scoped_lock lock(m_mutex);
    for (std::size_t slot = 0; slot < m_lent.size(); ++slot) {
        if (m_lent[slot])
            continue;
        if (!m_blocks[slot])
            m_blocks[slot] = std::make_unique_for_overwrite<uchar[]>(bytes());
        m_lent[slot] = true;
        return int(slot);
    }
    return -1;
}

void VideoFramePool::giveBack(int slot)
{
    std::scoped_lock lock(m_mutex);
    m_lent[std::size_t(slot)] = false;
}

} // namespace platform
