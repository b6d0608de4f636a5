#include "platform/camera/ExposurePlanner.h"

#include <algorithm>
#include <cmath>

namespace platform {

namespace {

constexpr double kShortestStep = 100e-6; // seconds

// The longest exposure that keeps the frame rate; a camera whose shortest exposure is longer
// than a frame still gets its shortest.
double exposureCeiling(const ExposureLimits& limits, double frameInterval)
{
    double ceiling = limits.maxExposure;
    if (std::isfinite(frameInterval) && frameInterval > 0.0)
        ceiling = std::min(ceiling, frameInterval);
    return std::max(ceiling, limits.minExposure);
}

// Brings `value` into [low, high]; a value that is not a number goes to `low`.
double bound(double value, double low, double high)
{
    return std::isnan(value) ? low : std::clamp(value, low, high);
}

} // namespace

ExposureState ExposurePlanner::next(
    const ExposureState& now, const ExposureLimits& limits, double frameInterval, double meanLuma) const
{
    const double ceiling = exposureCeiling(limits, frameInterval);
    ExposureState state = now;
    if (limits.hasExposure)
        state.exposureTime = bound(state.exposureTime, limits.minExposure, ceiling);
    if (limits.hasGain)
        state.analogueGain = bound(state.analogueGain, limits.minGain, limits.maxGain);

    if (!std::isfinite(meanLuma))
        return state;
    const double luma = std::clamp(meanLuma, 0.5, 255.0); // black still has a direction: up
    if (luma > kTargetLuma / kBand && luma < kTargetLuma * kBand)
        return state;

    // What is left of the wanted factor after each lever has taken its share: exactly 1 once
    // one took all of it, so that rounding never nudges the next lever.
    double factor = std::clamp(kTargetLuma / luma, 1.0 / kMaxStep, kMaxStep);
    const auto moveExposure = [&] {
        if (!limits.hasExposure || (factor < 1.0 && state.exposureTime <= 0.0))
            return;
        // A camera whose range starts at 0 needs a length to multiply: its shortest step.
        const double from = std::max(state.exposureTime, kShortestStep);
        const double wanted = from * factor;
        const double moved = std::clamp(wanted, limits.minExposure, ceiling);
        factor = wanted == moved ? 1.0 : wanted / moved;
        state.exposureTime = moved;
    };
    const auto moveGain = [&] {
        if (!limits.hasGain || state.analogueGain <= 0.0)
            return;
        const double wanted = state.analogueGain * factor;
        const double moved = std::clamp(wanted, limits.minGain, limits.maxGain);
        factor = wanted == moved ? 1.0 : wanted / moved;
        state.analogueGain = moved;
    };
    if (factor > 1.0) {
        moveExposure();
        moveGain();
    } else {
        moveGain();
        moveExposure();
    }
    return state;
}

int isoFor(double analogueGain)
{
    if (!std::isfinite(analogueGain))
        return 100;
    return int(std::lround(std::clamp(100.0 * analogueGain, 25.0, 65535.0)));
}

} // namespace platform
