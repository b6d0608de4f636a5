#include "platform/camera/SteadyFrameClock.h"

#include <condition_variable>
#include <mutex>

namespace platform {

FrameClock::Duration SteadyFrameClock::now() const
{
    return std::chrono::duration_cast<Duration>(std::chrono::steady_clock::now().time_since_epoch());
}

bool SteadyFrameClock::waitUntil(Duration deadline, std::stop_token stop)
{
    std::mutex mutex;
    std::condition_variable_any wakeUp;
    std::unique_lock lock(mutex);
    const std::chrono::steady_clock::time_point until(
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(deadline));
    // The predicate is only the stop request: the wait ends at the deadline or on a stop.
    wakeUp.wait_until(lock, stop, until, [] { return false; });
    return !stop.stop_requested();
}

} // namespace platform
