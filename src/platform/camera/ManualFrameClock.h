#pragma once

// A clock that moves only when told to, for driving frame sources step by step in tests and
// tools: waiters wake when advance() or set() carries the time past their deadline.
//
// Threads: any thread.

#include <condition_variable>
#include <mutex>
#include <set>

#include "platform/camera/FrameClock.h"

namespace platform {

class ManualFrameClock final : public FrameClock {
public:
    explicit ManualFrameClock(Duration start = Duration::zero())
        : m_now(start)
    {
    }

    Duration now() const override;
    bool waitUntil(Duration deadline, std::stop_token stop) override;

    void advance(Duration step);
    // Moves the time forward to `time`; a time in the past is ignored (the clock is monotonic).
    void set(Duration time);
    // Blocks until at least `count` threads wait in waitUntil() for a deadline still ahead of the
    // clock, i.e. they have done everything due so far. False after `timeout` of real time.
    bool waitForSleepers(int count, std::chrono::milliseconds timeout) const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable_any m_changed; // guarded by m_mutex
    Duration m_now; // guarded by m_mutex
    std::multiset<Duration> m_deadlines; // guarded by m_mutex: one per blocked waiter
};

} // namespace platform
