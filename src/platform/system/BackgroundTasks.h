#pragma once

// Background tasks: a request to keep running for a while after the application leaves the
// foreground, ended by its owner or, when the time runs out, by its expiry handler. Desktop Linux
// does not suspend applications, so tasks never expire on their own here; the calls are kept so
// the analytics layer's order of steps stays the same on a platform that does. expireAll() plays
// the platform's expiry for tests and for hosts that do suspend.
// Any thread may call any function. Expiry handlers run on the thread that calls expireAll(),
// without any lock held.

#include <cstdint>
#include <functional>

namespace platform {

using BackgroundTaskId = std::uint64_t;

class BackgroundTasks {
public:
    static constexpr BackgroundTaskId invalidTask = 0;

    BackgroundTasks() = delete;

    static bool isSupported();
    // Returns a new task id (never invalidTask).
    static BackgroundTaskId begin(std::function<void()> expiryHandler);
    // Ends a task; unknown or already ended ids are ignored.
    static void end(BackgroundTaskId task);

    static int activeCount();
    static void expireAll();
};

} // namespace platform
