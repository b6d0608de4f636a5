#pragma once

// The synthetic camera: the SyntheticScene at the stand-in preset sizes, with the back camera's
// torch lighting it. Both cameras see the same street (the front one without a torch); the
// preview mirrors the front camera's picture, the frames and stills do not. Stills carry exposure values a
// phone would choose for such a dim scene: long and at high ISO, shorter with the torch.
//
// A SensorNoise, when given, is laid over every frame and still after the scene's own noise;
// each picture takes the next frame number, so no two share their noise or shake.
//
// Threads: see FrameSource. Video and stills use separate scenes, so they may run at once.

#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/camera/ExposureSettings.h"
#include "platform/camera/FrameSource.h"
#include "platform/camera/SensorNoise.h"
#include "platform/camera/SyntheticScene.h"

namespace platform {

class SyntheticFrameSource final : public FrameSource {
public:
    explicit SyntheticFrameSource(std::uint32_t seed = 1, SensorNoise noise = SensorNoise(0, 0, 1));

    QImage videoFrame(
        const StreamCaptureDevice& device, SessionPreset preset, FrameClock::Duration time) override;
    Expected<std::shared_ptr<SampleBuffer>> stillFrame(
        const StreamCaptureDevice& device, SessionPreset preset, FrameClock::Duration time) override;

    // The exposure the camera picks for the scene.
    static ExposureSettings exposureFor(const StreamCaptureDevice& device);

private:
    const SensorNoise m_noise;
    std::atomic<std::uint64_t> m_frameNumber { 0 }; // video frames and stills, in the order taken
    SyntheticScene m_videoScene; // stream thread
    std::mutex m_stillMutex;
    SyntheticScene m_stillScene; // guarded by m_stillMutex
};

} // namespace platform
