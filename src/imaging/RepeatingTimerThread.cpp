#include "imaging/RepeatingTimerThread.h"

#include <pthread.h>

#include <string>

namespace imaging {

bool RepeatingTimerThread::start(
    std::chrono::nanoseconds interval, std::function<void()> action, const char* name)
{
    LUMIVUE_CHECK_THREAD(m_owningThread);
    if (m_thread.joinable() || interval <= std::chrono::nanoseconds::zero() || !action)
        return false;
    const std::string threadName = std::string(name ? name : "timer").substr(0, 15);
    m_thread
        = std::jthread([this, interval, action = std::move(action), threadName](const std::stop_token& stop) {
              pthread_setname_np(pthread_self(), threadName.c_str());
              run(stop, interval, action);
          });
    return true;
}

void RepeatingTimerThread::stop()
{
    LUMIVUE_CHECK_THREAD(m_owningThread);
    if (!m_thread.joinable())
        return;
    m_thread.request_stop(); // wakes the wait below through its stop callback
    m_thread.join();
}

void RepeatingTimerThread::run(
    const std::stop_token& stop, std::chrono::nanoseconds interval, const std::function<void()>& action)
{
    using Clock = std::chrono::steady_clock;
    Clock::time_point next = Clock::now() + interval;
    while (!stop.stop_requested()) {
        {
            std::unique_lock lock(m_mutex);
            // Returns early only when a stop is requested.
            if (m_wake.wait_until(lock, stop, next, [] { return false; }) || stop.stop_requested())
                return;
        }
        action();
        next += interval;
        const Clock::time_point now = Clock::now();
        if (next <= now) // late: skip the missed ticks
            next = now + interval;
    }
}

} // namespace imaging
