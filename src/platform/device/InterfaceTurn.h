#pragma once

// How far the interface turns so a user holding the device in `orientation` (the device
// orientation codes: 1 portrait, 2 upside down, 3 and 4 landscape) sees it upright: single-
// precision radians, positive clockwise on screen (y points down). None for lying flat, face
// down or an unknown code, where the interface keeps whatever turn it has.

#include <numbers>
#include <optional>

namespace platform {

inline std::optional<float> interfaceTurnForOrientation(int orientation)
{
    switch (orientation) {
    case 1:
        return 0.0f;
    case 2:
        return std::numbers::pi_v<float>;
    case 3:
        return std::numbers::pi_v<float> / 2;
    case 4:
        return -std::numbers::pi_v<float> / 2;
    default:
        return std::nullopt;
    }
}

} // namespace platform
