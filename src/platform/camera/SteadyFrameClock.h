#pragma once

// Real time from the monotonic system clock; the clock every source uses outside tests.

#include "platform/camera/FrameClock.h"

namespace platform {

class SteadyFrameClock final : public FrameClock {
public:
    Duration now() const override;
    bool waitUntil(Duration deadline, std::stop_token stop) override;
};

} // namespace platform
