#include "imaging/ScopeSettings.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace imaging {

namespace {

// Truncation toward zero that never overflows: NaN gives 0, out-of-range values the nearest bound.
std::int32_t truncateToInt32(float value)
{
    if (std::isnan(value))
        return 0;
    if (value >= 2147483648.0f)
        return std::numeric_limits<std::int32_t>::max();
    if (value <= -2147483648.0f)
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

} // namespace

void ScopeSettings::setStackFrames(std::int32_t frames)
{
    m_stackFrames.store(std::clamp(frames, kMinStackFrames, kMaxStackFrames), std::memory_order_relaxed);
}

std::optional<std::int32_t> ScopeSettings::modeForEnlightItem(int item)
{
    switch (item) {
    case 0:
        return NightVisionMode::Auto;
    case 1:
        return NightVisionMode::Manual;
    case 2:
        return NightVisionMode::Off;
    default:
        return std::nullopt;
    }
}

std::int32_t ScopeSettings::levelForSliderValue(float value)
{
    return truncateToInt32(value);
}

std::int32_t ScopeSettings::levelForMode(
    std::int32_t mode, std::int32_t current, std::int32_t imageLevel, std::int32_t threshold)
{
    if (mode < NightVisionMode::Auto)
        return 0;
    if (mode > NightVisionMode::Auto)
        return current;
    if (imageLevel >= threshold)
        return 0;
    const float ratio = static_cast<float>(imageLevel) / static_cast<float>(threshold);
    // Two single-precision roundings, as the level table was tuned with: the volatile keeps the
    // compiler from fusing the multiply and the add, which would change results near integers.
    const volatile float scaled = ratio * -80.0f;
    return truncateToInt32(scaled + 80.0f);
}

} // namespace imaging
