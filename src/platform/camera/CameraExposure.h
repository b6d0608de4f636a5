#pragma once

// The automatic exposure loop of a real camera: measures the mean luma of the frames it is shown,
// asks the ExposurePlanner for the next exposure and gain, and sets them on the camera. A camera
// takes a few frames to show a change, so after one the loop waits kSettleFrames frames before
// measuring again; while nothing changes it measures every kSettleFrames-th frame.
//
// Threads: constructed on any thread, then frame() on the camera's streaming thread only (the
// first call binds it); settings() on any thread.

#include <atomic>
#include <cstdint>

#include "platform/camera/ExposurePlanner.h"
#include "platform/camera/ExposureSettings.h"
#include "platform/camera/V4l2Controls.h"
#include "platform/core/ThreadChecker.h"

namespace platform {

class CameraExposure {
public:
    static constexpr int kSettleFrames = 3;

    // `frameInterval` in seconds, 0 when unknown. Switches the camera's own automatic exposure and
    // gain off at once, keeping the values they had reached.
    CameraExposure(V4l2Controls controls, double frameInterval);
    CameraExposure(const CameraExposure&) = delete;
    CameraExposure& operator=(const CameraExposure&) = delete;

    // One converted frame: premultiplied BGRA, `bytesPerRow` apart (at least 4 x width).
    // Frames that do not fit that description are ignored.
    void frame(const std::uint8_t* bgra, int width, int height, int bytesPerRow);
    // The exposure time and ISO in force for a photo's EXIF; the other fields are the defaults,
    // and so are these two where the camera has no control for them.
    ExposureSettings settings() const;

    // Mean luma (BT.601 weights, 0..255) of every 8th pixel of every 8th row: a bright or dark
    // scene shows at that density, and it costs little on the streaming thread. Not a number for
    // a buffer that does not fit the description above.
    static double meanLuma(const std::uint8_t* bgra, int width, int height, int bytesPerRow);

private:
    void publish(const ExposureState& state);

    V4l2Controls m_controls; // streaming thread
    const ExposureLimits m_limits;
    const double m_frameInterval;
    const ExposurePlanner m_planner {};
    ExposureState m_state; // streaming thread: what the camera reported after the last change
    int m_framesToSkip { 0 }; // streaming thread
    std::atomic<double> m_exposureTime; // seconds, or 0 when unknown
    std::atomic<int> m_iso; // 0 when unknown
    [[no_unique_address]] ThreadChecker m_streamThread;
};

} // namespace platform
