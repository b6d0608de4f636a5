#pragma once

// Control events as bit masks; a target registers for any combination. The numeric values are
// part of the toolkit's contract (touch-up-inside is 64, value-changed 4096).

#include <cstdint>

namespace platform {

using ControlEvents = std::uint32_t;

enum ControlEvent : ControlEvents {
    ControlEventTouchDown = 1u << 0,
    ControlEventTouchDownRepeat = 1u << 1,
    ControlEventTouchDragInside = 1u << 2,
    ControlEventTouchDragOutside = 1u << 3,
    ControlEventTouchDragEnter = 1u << 4,
    ControlEventTouchDragExit = 1u << 5,
    ControlEventTouchUpInside = 1u << 6,
    ControlEventTouchUpOutside = 1u << 7,
    ControlEventTouchCancel = 1u << 8,
    ControlEventValueChanged = 1u << 12,
    ControlEventAllTouchEvents = 0x0FFFu,
    ControlEventAllEvents = 0xFFFFFFFFu,
};

} // namespace platform
