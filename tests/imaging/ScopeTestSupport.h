#pragma once

// The scope's parts on a scripted camera, wired together the way the camera screen wires them, and
// the pictures the tests feed them.

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include "imaging/FramePipeline.h"
#include "imaging/LivePreviewLayer.h"
#include "imaging/ScopeCamera.h"
#include "imaging/ScopeGeometry.h"
#include "imaging/ScopeRenderer.h"
#include "imaging/ScopeSettings.h"
#include "platform/camera/CaptureSession.h"
#include "platform/camera/SampleBuffer.h"
#include "platform/camera/StreamVideoDataOutput.h"
#include "support/LogCapture.h"
#include "support/ScriptedCamera.h"
#include "support/TestTimeScale.h"

namespace scopetest {

using namespace std::chrono_literals;
using testing_support::CameraSetup;
using testing_support::PatternSource;
using testing_support::ScriptedCamera;

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

    TestScope()
    {
        QObject::connect(
            &pipeline, &imaging::FramePipeline::overlayRedrawDue, &pipeline,
            [this] { renderer.requestOverlayRedraw(); }, Qt::DirectConnection);
        QObject::connect(
            &pipeline, &imaging::FramePipeline::pictureRedrawDue, &pipeline,
            [this] { renderer.requestPictureRedraw(); }, Qt::DirectConnection);
        // As the screen does: a request marks a redraw due, the GUI thread draws it.
        renderer.setRedrawHandlers([this] { m_overlayDue = true; }, [this] { m_pictureDue = true; });
        renderer.setDeviceOrientationSource([this] { return orientation.load(); });
    }
    ~TestScope() { shutdownScope(); }

    // ---- The screen's steps ----
    void setCaptureBackend(std::shared_ptr<platform::CaptureBackend> backend)
    {
        camera.setCaptureBackend(std::move(backend));
    }
    void setupScopeGeometry() { geometry.setup(2.0f, false); } // a phone at scale 2
    void setupCaptureSessionVideo()
    {
        geometry.setPreviewSize(viewSize);
        camera.setupCaptureSessionVideo(&pipeline);
        pipeline.setSession(camera.session());
        camera.startRunning();
    }
    void loadScope()
    {
        setupScopeGeometry();
        setupCaptureSessionVideo();
        geometry.guessScaledRadius(geometry.screenScale());
        geometry.invalidate();
        renderer.requestOverlayRedraw();
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

    imaging::ImageSlot& qImage() { return pipeline.qImage(); }

    // Draws the redraws that are due, as the screen's GUI thread does; a picture redraw with
    // nothing new keeps the last picture.
    void drawPending()
    {
        if (m_pictureDue.exchange(false) || qImage().isFull()) {
            QImage picture = renderer.renderScopeImage(geometry.screenScale());
            if (!picture.isNull()) {
                scopeImage = std::move(picture);
                ++pictureDraws;
            }
        }
        if (m_overlayDue.exchange(false)) {
            scopeGrid = renderer.renderScopeGrid(geometry.screenScale());
            ++overlayDraws;
        }
    }

    bool takeOverlayDue() { return m_overlayDue.exchange(false); }
    bool pictureDue() const { return m_pictureDue; }

    const QSizeF viewSize { 320, 480 }; // the phone screen, points
    QImage scopeImage; // the scope's pictures as last drawn
    QImage scopeGrid;
    bool showScopeImage { true };
    bool showScopeGrid { true };
    int pictureDraws { 0 };
    int overlayDraws { 0 };

private:
    std::atomic<bool> m_overlayDue { false };
    std::atomic<bool> m_pictureDue { false };
};

// A scope on a scripted camera, set up by the test; frames move one interval at a time.
struct SteppedScope {
    ScriptedCamera camera;
    TestScope scope;

    explicit SteppedScope(ScriptedCamera scripted)
        : camera(std::move(scripted))
    {
        scope.setCaptureBackend(camera.backend);
    }
    // Waits until the stream has handled everything due and the delegate is idle.
    void settle()
    {
        // Stretched with the run's time scale: an emulated camera takes long to start.
        const std::chrono::milliseconds limit(test_support::scaledLimitMs(20000));
        ASSERT_TRUE(camera.clock->waitForSleepers(1, limit));
        auto* output = dynamic_cast<platform::StreamVideoDataOutput*>(scope.camera.videoDataOutput().get());
        ASSERT_NE(output, nullptr);
        ASSERT_TRUE(output->drain(limit));
    }
    // One frame interval later, everything delivered.
    void step()
    {
        camera.clock->advance(50ms);
        settle();
    }
};

using testing_support::LogCapture;

// Draws whatever redraws are pending, then composes the screen as the scene graph does: the
// live picture fitted to the view, the scope's picture and overlay centred over it, at the
// screen's scale.
inline QImage renderScreen(TestScope& scope)
{
    scope.drawPending();
    const qreal scale = scope.geometry.screenScale();
    QImage screen((scope.viewSize * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
    screen.fill(Qt::black);
    QPainter painter(&screen);
    painter.scale(scale, scale);
    const platform::PreviewFrame frame = scope.camera.previewLayer()
        ? scope.camera.previewLayer()->currentFrame()
        : platform::PreviewFrame {};
    if (!frame.image.isNull()) {
        painter.save();
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setTransform(
            imaging::LivePreviewLayer::fitTransform(frame.image.size(), scope.viewSize, frame.mirrored),
            true);
        painter.drawImage(0, 0, frame.image);
        painter.restore();
    }
    const qreal side = scope.geometry.scopePixelSize();
    const QRectF square(
        (scope.viewSize.width() - side) / 2, (scope.viewSize.height() - side) / 2, side, side);
    if (scope.showScopeImage && !scope.scopeImage.isNull())
        painter.drawImage(square, scope.scopeImage);
    if (scope.showScopeGrid && !scope.scopeGrid.isNull())
        painter.drawImage(square, scope.scopeGrid);
    return screen;
}

} // namespace scopetest
