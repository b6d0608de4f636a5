#pragma once

// A clock that moves only when told to, for driving frame sources step by step in tests and
// tools: waiters wake when advance() or set() carries the time past their deadline.
//
// Threads: any thread.

#include <condition_variable>
#include <mutex>

#include "platform/camera/FrameClock.h"

namespace platform {

class ManualFrameClock final : public FrameClock {
public:
    explicit ManualFrameClock(Duration start = Duration::zero()) : m_now(start) { }

    Duration now() const override;
    bool waitUntil(Duration deadline, std::stop_token stop) override;

    void advance(Duration step);
    // Moves the time forward to `time`; a time in the past is ignored (the clock is monotonic).
    void set(Duration time);
    // How many threads are blocked in waitUntil(); lets a test wait for a source to be idle.
    int waiterCount() const;
    // Blocks until at least `count` threads wait, or `timeout` of real time passes.
    bool waitForWaiters(int count, std::chrono::milliseconds timeout) const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable_any m_changed; // guarded by m_mutex
    Duration m_now;                                // guarded by m_mutex
    int m_waiters { 0 };                           // guarded by m_mutex
};

} // namespace platform
