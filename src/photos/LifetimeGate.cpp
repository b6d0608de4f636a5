#include "photos/LifetimeGate.h"

namespace photos {

bool LifetimeGate::enter()
{
    std::scoped_lock lock(m_mutex);
    if (m_closed)
        return false;
    ++m_active;
    return true;
}

void LifetimeGate::leave()
{
    {
        std::scoped_lock lock(m_mutex);
        --m_active;
    }
    m_left.notify_all();
}

void LifetimeGate::close()
{
    std::unique_lock lock(m_mutex);
    m_closed = true;
    m_left.wait(lock, [this] { return m_active == 0; });
}

bool LifetimeGate::isClosed() const
{
    std::scoped_lock lock(m_mutex);
    return m_closed;
}

} // namespace photos
