#pragma once

// A camera scope on a scripted camera: frames from a pattern source on a manual clock, delivered
// one step at a time, and a screen stand-in that records what the scope asks of it.

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include <QImage>
#include <QStringList>

#include <gtest/gtest.h>

#include "imaging/CameraScope.h"
#include "imaging/LivePreviewLayer.h"
#include "platform/camera/CaptureSession.h"
#include "platform/camera/FrameSource.h"
#include "platform/camera/ManualFrameClock.h"
#include "platform/camera/SampleBuffer.h"
#include "platform/camera/StandInPresets.h"
#include "platform/camera/StreamBackend.h"
#include "platform/camera/StreamCaptureDevice.h"
#include "platform/camera/StreamVideoDataOutput.h"
#include "platform/core/Log.h"

namespace scopetest {

using namespace std::chrono_literals;

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
    platform::Expected<std::shared_ptr<platform::SampleBuffer>> stillFrame(const platform::StreamCaptureDevice&,
                                                                           platform::SessionPreset,
                                                                           platform::FrameClock::Duration) override
    {
        return platform::Expected<std::shared_ptr<platform::SampleBuffer>>::failure(QStringLiteral("no stills"));
    }

private:
    Painter m_painter;
    QSize m_fixedSize;
    std::atomic<int> m_frames { 0 };
};

inline QImage flatFrame(QSize size, int grey)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(qRgb(grey, grey, grey));
    return image;
}

// Each pixel names its own place: B = u mod 256, G = v mod 256, R = 16 × (u / 256) + v / 256.
inline QImage coordinateFrame(QSize size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    for (int v = 0; v < size.height(); ++v) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(v));
        for (int u = 0; u < size.width(); ++u)
            row[u] = qRgb(16 * (u / 256) + v / 256, v % 256, u % 256);
    }
    return image;
}
inline QPoint decodeCoordinate(QRgb pixel)
{
    return QPoint(qBlue(pixel) + 256 * (qRed(pixel) / 16), qGreen(pixel) + 256 * (qRed(pixel) % 16));
}

// Smooth waves across and down the frame, about 160 screen pixels long whatever the frame size,
// so a picture that is shifted, turned, mirrored or scaled wrongly differs everywhere.
inline QImage waveFrame(QSize size, double framePixelsPerWave)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    const double k = 2 * 3.14159265358979 / framePixelsPerWave;
    for (int v = 0; v < size.height(); ++v) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(v));
        for (int u = 0; u < size.width(); ++u)
            row[u] = qRgb(int(128 + 100 * std::sin(k * u)), int(128 + 100 * std::sin(k * v + 1.0)),
                          int(128 + 100 * std::sin(k * (u + v) * 0.5)));
    }
    return image;
}

// The screen: hooks answer with plain values and record the calls.
class TestScope : public imaging::CameraScope {
public:
    std::atomic<float> zoom { 0.0f };
    int orientation { 1 };
    float scale { 2.0f };
    bool tablet { false };
    std::vector<int> sounds;
    std::vector<bool> cameraButtonHidden;
    std::vector<bool> torchButtonHidden;
    std::vector<bool> sideControlsHidden;

    ~TestScope() override { shutdownScope(); }

    using CameraScope::previewViewLayer;
    void requestOverlayRedrawForTest() { requestOverlayRedraw(); }

protected:
    float zoomValue() const override { return zoom.load(); }
    int deviceOrientation() const override { return orientation; }
    float mainScreenScale() const override { return scale; }
    bool isTabletInterface() const override { return tablet; }
    void playSystemSound(int soundId) override { sounds.push_back(soundId); }
    void setCameraButtonHidden(bool hidden) override { cameraButtonHidden.push_back(hidden); }
    void setTorchButtonHidden(bool hidden) override { torchButtonHidden.push_back(hidden); }
    void setSideControlsHidden(bool hidden) override { sideControlsHidden.push_back(hidden); }
};

struct CameraSpec {
    platform::CaptureDevicePosition position;
    bool torch;
};

// A backend over `source` with the given cameras, on a clock that moves only when told to.
struct ScriptedCamera {
    std::shared_ptr<platform::ManualFrameClock> clock = std::make_shared<platform::ManualFrameClock>();
    std::shared_ptr<platform::StreamBackend> backend;

    ScriptedCamera(std::shared_ptr<platform::FrameSource> source,
                   std::vector<CameraSpec> cameras = { { platform::CaptureDevicePosition::Back, true },
                                                       { platform::CaptureDevicePosition::Front, false } })
    {
        std::vector<std::shared_ptr<platform::StreamCaptureDevice>> devices;
        int index = 0;
        for (const auto& camera : cameras) {
            devices.push_back(std::make_shared<platform::StreamCaptureDevice>(
                QStringLiteral("Camera %1").arg(index), camera.position, camera.torch, clock, index));
            ++index;
        }
        backend = std::make_shared<platform::StreamBackend>(std::move(devices), std::move(source), clock);
    }

    // Waits until the stream has handled everything due and the delegate is idle.
    static void settle(platform::ManualFrameClock& clock, imaging::CameraScope& scope)
    {
        ASSERT_TRUE(clock.waitForSleepers(1, 20000ms));
        auto* output = dynamic_cast<platform::StreamVideoDataOutput*>(scope.videoDataOutput().get());
        ASSERT_NE(output, nullptr);
        ASSERT_TRUE(output->drain(20000ms));
    }
    void settle(imaging::CameraScope& scope) { settle(*clock, scope); }
    // One frame interval later, everything delivered.
    void step(imaging::CameraScope& scope)
    {
        clock->advance(50ms);
        settle(scope);
    }
};

class LogCapture {
public:
    LogCapture()
        : m_previous(platform::setLogSink([this](const QString& line) { lines << line; }))
    {
    }
    ~LogCapture() { platform::setLogSink(m_previous); }
    QStringList lines;

private:
    platform::LogSink m_previous;
};

// Draws whatever redraws are pending on the scope's layers and the preview, then renders the
// preview view with everything on it at the screen's scale.
inline QImage renderScreen(TestScope& scope)
{
    scope.previewLayer()->refresh();
    scope.scopeImageLayer()->displayIfNeeded();
    scope.scopeGridLayer()->displayIfNeeded();
    return scope.previewViewLayer()->renderToImage(scope.screenScale());
}

} // namespace scopetest
