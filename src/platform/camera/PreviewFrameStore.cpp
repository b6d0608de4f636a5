#include "platform/camera/PreviewFrameStore.h"

namespace platform {

void PreviewFrameStore::publish(const QImage& image, bool mirrored, FrameClock::Duration timestamp)
{
    std::scoped_lock lock(m_mutex);
    m_frame = PreviewFrame { image, mirrored, ++m_published, timestamp };
    if (m_listener)
        m_listener(); // under the lock, so a listener being removed is never called after
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
    if (m_listener)
        m_listener();
}

void PreviewFrameStore::setListener(std::function<void()> listener)
{
    std::scoped_lock lock(m_mutex);
    m_listener = std::move(listener);
}

} // namespace platform
