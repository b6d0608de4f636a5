#pragma once

// Cameras on a clock that moves only when a test tells it to, so every frame is delivered when
// the test says and not before.

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include <QImage>

#include "platform/camera/FrameSource.h"
#include "platform/camera/ManualFrameClock.h"
#include "platform/camera/SampleBuffer.h"
#include "platform/camera/StandInPresets.h"
#include "platform/camera/StreamBackend.h"
#include "platform/camera/StreamCaptureDevice.h"

namespace testing_support {

// Pictures made by a function of (frame size, frame number); the size follows the preset unless
// a fixed size is given.
class PatternSource final : public platform::FrameSource {
public:
    using Painter = std::function<QImage(QSize size, int frameNumber)>;
    explicit PatternSource(Painter painter, QSize fixedSize = {})
        : m_painter(std::move(painter))
        , m_fixedSize(fixedSize)
    {
    }
    QImage videoFrame(const platform::StreamCaptureDevice&, platform::SessionPreset preset,
        platform::FrameClock::Duration) override
    {
        const QSize size = m_fixedSize.isEmpty() ? platform::standInVideoSize(preset) : m_fixedSize;
        return m_painter(size, m_frames.fetch_add(1));
    }
    platform::Expected<std::shared_ptr<platform::SampleBuffer>> stillFrame(
        const platform::StreamCaptureDevice&, platform::SessionPreset,
        platform::FrameClock::Duration) override
    {
        return platform::Expected<std::shared_ptr<platform::SampleBuffer>>::failure(
            QStringLiteral("no stills"));
    }

private:
    Painter m_painter;
    QSize m_fixedSize;
    std::atomic<int> m_frames { 0 };
};

struct CameraSetup {
    platform::CaptureDevicePosition position;
    bool torch;
};

// A backend whose frames come only when its clock is told to move: over `source` with the given
// cameras, or any backend made on such a clock (the stand-in cameras).
struct ScriptedCamera {
    std::shared_ptr<platform::ManualFrameClock> clock;
    std::shared_ptr<platform::CaptureBackend> backend;

    ScriptedCamera(
        std::shared_ptr<platform::CaptureBackend> made, std::shared_ptr<platform::ManualFrameClock> on)
        : clock(std::move(on))
        , backend(std::move(made))
    {
    }
    explicit ScriptedCamera(std::shared_ptr<platform::FrameSource> source,
        const std::vector<CameraSetup>& cameras = { { platform::CaptureDevicePosition::Back, true },
            { platform::CaptureDevicePosition::Front, false } })
        : clock(std::make_shared<platform::ManualFrameClock>())
    {
        std::vector<std::shared_ptr<platform::StreamCaptureDevice>> devices;
        for (std::size_t i = 0; i < cameras.size(); ++i)
            devices.push_back(std::make_shared<platform::StreamCaptureDevice>(
                QStringLiteral("Camera %1").arg(i), cameras[i].position, cameras[i].torch, clock, int(i)));
        backend = std::make_shared<platform::StreamBackend>(std::move(devices), std::move(source), clock);
    }
};

} // namespace testing_support
