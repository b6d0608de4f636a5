#include "platform/camera/PreviewFrameStore.h"

namespace platform {

void PreviewFrameStore::publish(const QImage& image, bool mirrored, FrameClock::Duration timestamp)
{
    std::scoped_lock lock(m_mutex);
    m_frame = PreviewFrame { image, mirrored, ++m_published, timestamp };
}

PreviewFrame PreviewFrameStore::current() const
{
    std::scoped_lock lock(m_mutex);
    return m_frame;
}

void PreviewFrameStore::clear()
{
    std::scoped_lock lock(m_mutex);
    m_frame = PreviewFrame {};
}

} // namespace platform
