#pragma once

// The automatic exposure of a real camera: how long the sensor collects light and how much its
// analogue stage amplifies, decided from the picture's mean luma. Light gathered by a longer
// exposure carries less noise than the same brightness from gain, and analogue gain less than the
// app's digital gain, so the planner spends them in that order: raising, exposure time first (never
// longer than one frame, or the frame rate drops), then analogue gain; lowering, the reverse. Once
// both are at their limit the picture stays dark, and the app's automatic level, which reacts to
// the picture, supplies digital gain on its own.
//
// Each step moves the total amplification (exposure x gain) multiplicatively towards the target,
// by at most a factor of 2 either way, and nothing moves while the luma is inside a band around
// the target, so a camera that lands near the target stays put instead of hunting.
//
// Threads: a value type; any thread.

namespace platform {

// What a camera offers. Only controls that exist move; the other field of a state stays as is.
struct ExposureLimits {
    bool hasExposure { false };
    double minExposure { 0.0 }; // seconds
    double maxExposure { 0.0 }; // seconds
    bool hasGain { false };
    double minGain { 1.0 }; // analogue, 1.0 = unity
    double maxGain { 1.0 };
};

struct ExposureState {
    double exposureTime { 0.0 }; // seconds
    double analogueGain { 1.0 }; // 1.0 = unity
};

class ExposurePlanner {
public:
    static constexpr double kTargetLuma = 110.0; // of 0..255
    // Inside target / kBand .. target * kBand nothing moves.
    static constexpr double kBand = 1.2;
    static constexpr double kMaxStep = 2.0;

    // The state for the next frames given the one in force, the frame interval in seconds (0 when
    // unknown) and the mean luma (0..255) it produced. States outside the limits are brought inside.
    ExposureState next(
        const ExposureState& now, const ExposureLimits& limits, double frameInterval, double meanLuma) const;
};

// The ISO speed for EXIF. A sensor's base ISO is rarely published, so unity gain is taken as
// ISO 100 (the usual convention), clamped to what EXIF's 16-bit ISOSpeedRatings can hold.
int isoFor(double analogueGain);

} // namespace platform
