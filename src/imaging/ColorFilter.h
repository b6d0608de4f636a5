#pragma once

// Values of `scopeNightVisionColorFilter` ("Color" chooser item = value). Any other value is
// kept and tints nothing.

#include <cstdint>

namespace imaging::ColorFilter {

constexpr std::int32_t None = 0; // "RGB"
constexpr std::int32_t Green = 1; // "GREEN": b = r = 0, g = grey
constexpr std::int32_t Grey = 2; // "B&W": b = g = r = grey

} // namespace imaging::ColorFilter
