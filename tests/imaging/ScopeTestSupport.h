#pragma once

// The scope's parts on a scripted camera: frames from a pattern source on a manual clock,
// delivered one step at a time, wired together the way the camera screen wires them.

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include <QImage>
#include <QStringList>

#include <gtest/gtest.h>

#include "imaging/FramePipeline.h"
#include "imaging/LivePreviewLayer.h"
#include "imaging/ScopeCamera.h"
#include "imaging/ScopeGeometry.h"
#include "imaging/ScopeRenderer.h"
#include "imaging/ScopeSettings.h"
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

// The parts of the scope as the camera screen owns and wires them, over a layer of their own that
// stands for the preview view (a phone screen of 320 × 480 points). The members named after the
// screen's operations do what the screen does with the parts, without its controls.
class TestScope {
public:
    imaging::ScopeSettings settings;
    imaging::ScopeGeometry geometry;
    imaging::FramePipeline pipeline { settings, geometry };
    imaging::ScopeCamera camera;
    imaging::ScopeRenderer renderer { settings, geometry, pipeline, camera };
    std::atomic<int> orientation { 1 }; // read by the overlay drawing
    float scale { 2.0f };
    bool tablet { false };

    TestScope()
        : m_viewLayer(platform::Layer::create())
    {
        m_viewLayer->setBounds(QRectF(0, 0, 320, 480));
        m_viewLayer->setPosition(QPointF(160, 240));
        QObject::connect(
            &pipeline, &imaging::FramePipeline::overlayRedrawDue, &pipeline,
            [this] { renderer.requestOverlayRedraw(); }, Qt::DirectConnection);
        QObject::connect(
            &pipeline, &imaging::FramePipeline::pictureRedrawDue, &pipeline,
            [this] { renderer.requestPictureRedraw(); }, Qt::DirectConnection);
        renderer.setDeviceOrientationSource([this] { return orientation.load(); });
    }
    ~TestScope() { shutdownScope(); }

    // ---- The screen's steps ----
    void setCaptureBackend(std::shared_ptr<platform::CaptureBackend> backend)
    {
        camera.setCaptureBackend(std::move(backend));
    }
    void setupScopeGeometry() { geometry.setup(scale, tablet); }
    void setupCaptureSessionVideo()
    {
        geometry.setPreviewSize(m_viewLayer->bounds().size());
        camera.setupCaptureSessionVideo(
            m_viewLayer, m_viewLayer->bounds(), geometry.screenScale(), &pipeline);
        pipeline.setSession(camera.session());
        camera.startRunning();
    }
    void setupScopeLayers() { renderer.setupScopeLayers(m_viewLayer, m_viewLayer->bounds()); }
    void loadScope()
    {
        setupScopeGeometry();
        setupCaptureSessionVideo();
        geometry.guessScaledRadius(
            camera.previewLayer() ? float(camera.previewLayer()->layer()->contentsScale()) : 1.0f);
        geometry.invalidate();
        setupScopeLayers();
        pipeline.startTimerThread();
    }
    void presetChange(int item)
    {
        camera.presetChange(item);
        geometry.invalidate();
    }
    void changeCamera()
    {
        if (camera.changeCamera())
            geometry.invalidate();
    }
    void startCaptureSession() { camera.startRunning(); }
    void stopCaptureSession()
    {
        camera.stopRunning();
        pipeline.qImage().take();
    }
    void shutdownScope()
    {
        pipeline.stopTimerThread();
        camera.shutdown();
        pipeline.qImage().take();
    }

    // ---- Shortcuts to the parts' fields ----
    const std::shared_ptr<platform::Layer>& previewViewLayer() const { return m_viewLayer; }
    imaging::ImageSlot& qImage() { return pipeline.qImage(); }
    void timerTick() { pipeline.timerTick(); }
    const std::shared_ptr<platform::Layer>& scopeImageLayer() const { return renderer.scopeImageLayer(); }
    const std::shared_ptr<platform::Layer>& scopeGridLayer() const { return renderer.scopeGridLayer(); }
    imaging::LivePreviewLayer* previewLayer() const { return camera.previewLayer(); }
    const std::shared_ptr<platform::CaptureDevice>& cDevice() const { return camera.cDevice(); }
    const std::shared_ptr<platform::CaptureDevice>& cDeviceBack() const { return camera.cDeviceBack(); }
    const std::shared_ptr<platform::CaptureDevice>& cDeviceFront() const { return camera.cDeviceFront(); }
    const std::shared_ptr<platform::CaptureSession>& session() const { return camera.session(); }
    const std::shared_ptr<platform::CaptureDeviceInput>& input() const { return camera.input(); }
    const std::shared_ptr<platform::VideoDataOutput>& videoDataOutput() const
    {
        return camera.videoDataOutput();
    }
    QString cameraMessage() const { return camera.cameraMessage(); }
    float previewScale() const { return geometry.previewScale(); }
    float screenScale() const { return geometry.screenScale(); }
    std::int32_t scopePixelSize() const { return geometry.scopePixelSize(); }
    std::int32_t scopeScreenRadius() const { return geometry.scopeScreenRadius(); }
    std::int32_t scopeScreenScaledRadius() const { return geometry.scopeScreenScaledRadius(); }
    void setScopeScreenScaledRadius(std::int32_t radius) { geometry.setScopeScreenScaledRadius(radius); }
    std::int32_t scopeImageLevel() const { return pipeline.scopeImageLevel(); }
    std::int32_t scopeNightVisionLevel() const { return settings.scopeNightVisionLevel(); }
    void setScopeNightVisionMode(std::int32_t mode) { settings.setScopeNightVisionMode(mode); }
    void setScopeNightVisionColorFilter(std::int32_t filter)
    {
        settings.setScopeNightVisionColorFilter(filter);
    }
    std::uint64_t droppedFrameCount() const { return pipeline.droppedFrameCount(); }
    void setTakingPicture(bool taking) { pipeline.setTakingPicture(taking); }
    std::uint32_t tickCount() const { return pipeline.tickCount(); }
    void setTickCount(std::uint32_t count) { pipeline.setTickCount(count); }
    bool isTimerThreadRunning() const { return pipeline.isTimerThreadRunning(); }
    void stopTimerThread() { pipeline.stopTimerThread(); }

private:
    std::shared_ptr<platform::Layer> m_viewLayer;
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
        const std::vector<CameraSpec>& cameras = { { platform::CaptureDevicePosition::Back, true },
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
    static void settle(platform::ManualFrameClock& clock, TestScope& scope)
    {
        ASSERT_TRUE(clock.waitForSleepers(1, 20000ms));
        auto* output = dynamic_cast<platform::StreamVideoDataOutput*>(scope.videoDataOutput().get());
        ASSERT_NE(output, nullptr);
        ASSERT_TRUE(output->drain(20000ms));
    }
    void settle(TestScope& scope) { settle(*clock, scope); }
    // One frame interval later, everything delivered.
    void step(TestScope& scope)
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
