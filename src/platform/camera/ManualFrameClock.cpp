#include "platform/camera/ManualFrameClock.h"

namespace platform {

FrameClock::Duration ManualFrameClock::now() const
{
    std::scoped_lock lock(m_mutex);
    return m_now;
}

bool ManualFrameClock::waitUntil(Duration deadline, std::stop_token stop)
{
    std::unique_lock lock(m_mutex);
    const auto entry = m_deadlines.insert(deadline);
    m_changed.notify_all();
    const bool reached = m_changed.wait(lock, stop, [&] { return m_now >= deadline; });
    m_deadlines.erase(entry);
    m_changed.notify_all();
    return reached && !stop.stop_requested();
}

void ManualFrameClock::advance(Duration step)
{
    {
        std::scoped_lock lock(m_mutex);
        if (step > Duration::zero())
            m_now += step;
    }
    m_changed.notify_all();
}

void ManualFrameClock::set(Duration time)
{
    {
        std::scoped_lock lock(m_mutex);
        if (time > m_now)
            m_now = time;
    }
    m_changed.notify_all();
}

bool ManualFrameClock::waitForSleepers(int count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] {
        const auto ahead = std::distance(m_deadlines.upper_bound(m_now), m_deadlines.end());
        return ahead >= count;
    });
}

} // namespace platform
