#pragma once

// The time source of view animations, in seconds on a monotonic scale. The default clock reads a
// steady timer; tests install a clock they advance by hand, so no test has to sleep.
//
// Threads: GUI thread only, like everything that animates views.

namespace platform {

class AnimationClock {
public:
    virtual ~AnimationClock() = default;
    // Seconds since an arbitrary fixed start; never decreases.
    virtual double now() const = 0;
};

} // namespace platform
