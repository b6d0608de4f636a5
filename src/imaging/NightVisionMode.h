#pragma once

// Values of `scopeNightVisionMode`. The field is a plain 32-bit integer: values outside this
// list are kept and act like Manual (the level is left alone).

#include <cstdint>

namespace imaging::NightVisionMode {

constexpr std::int32_t Off = 0; // "Enlight" item 2: level forced to 0
constexpr std::int32_t Auto = 1; // "Enlight" item 0: level from the measured brightness
constexpr std::int32_t Manual = 2; // "Enlight" item 1: level as set with the level slider

} // namespace imaging::NightVisionMode
