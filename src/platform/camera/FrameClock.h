#pragma once

// The time base the frame sources pace their delivery by. Times are nanoseconds on a monotonic
// scale whose origin is the clock's own; only differences mean anything.
//
// Threads: any thread may call any method; waits are interruptible through the stop token so a
// source can stop its delivery thread promptly.

#include <chrono>
#include <stop_token>

namespace platform {

class FrameClock {
public:
    using Duration = std::chrono::nanoseconds;

    virtual ~FrameClock() = default;

    virtual Duration now() const = 0;
    // Blocks until now() >= deadline. Returns false early when a stop is requested on `stop`.
    virtual bool waitUntil(Duration deadline, std::stop_token stop) = 0;
};

} // namespace platform
