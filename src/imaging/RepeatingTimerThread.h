#pragma once

// A thread that runs one repeating timer, the way a run-loop timer does: the action runs every
// `interval` on the steady clock; a tick that comes late is not made up for (missed ticks are
// skipped, not bunched). The thread lives until stop() or the destructor, which joins it.
//
// Threads: start(), stop() and the destructor from the owning thread, never from the action.
// The action runs on the timer thread only.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/core/ThreadChecker.h"

namespace imaging {

class RepeatingTimerThread {
public:
    RepeatingTimerThread() = default;
    ~RepeatingTimerThread() { stop(); }
    RepeatingTimerThread(const RepeatingTimerThread&) = delete;
    RepeatingTimerThread& operator=(const RepeatingTimerThread&) = delete;

    // Starts the thread (named `name`, at most 15 characters shown). False, and nothing changes,
    // when it runs already or the interval is not positive.
    bool start(std::chrono::nanoseconds interval, std::function<void()> action, const char* name);
    // Stops the timer and joins the thread; an action in progress finishes first.
    void stop();
    bool isRunning() const { return m_thread.joinable(); }

private:
    void run(
        const std::stop_token& stop, std::chrono::nanoseconds interval, const std::function<void()>& action);

    std::mutex m_mutex; // only for waiting: the thread shares no other state
    std::condition_variable_any m_wake;
    std::jthread m_thread;
    [[no_unique_address]] platform::ThreadChecker m_owningThread;
};

} // namespace imaging
