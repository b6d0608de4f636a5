// The capture session, the single-image slot, the tick pacing and the geometry of the scope.

#include <chrono>
#include <cstdint>
#include <limits>
#include <memory>

#include "ScopeTestSupport.h"
#include "platform/camera/StreamVideoDataOutput.h"

using namespace scopetest;
using platform::CaptureDevicePosition;
using platform::TorchMode;

namespace {

// A scope loaded on scripted cameras whose frames get one grey level brighter each frame.
struct StreamFixture {
    std::shared_ptr<PatternSource> source;
    ScriptedCamera camera;
    TestScope scope;

    explicit StreamFixture(std::vector<CameraSpec> cameras
        = { { CaptureDevicePosition::Back, true }, { CaptureDevicePosition::Front, false } },
        QSize fixedSize = { 640, 480 })
        : source(std::make_shared<PatternSource>(
            [](QSize size, int n) { return flatFrame(size, 10 + n); }, fixedSize))
        , camera(source, std::move(cameras))
    {
        scope.setScopeNightVisionMode(imaging::NightVisionMode::Off);
        scope.setCaptureBackend(camera.backend);
        scope.setScopeScreenScaledRadius(133);
        scope.setupScopeGeometry();
        scope.setupCaptureSessionVideo();
        scope.setupScopeLayers();
    }
};

} // namespace

TEST(ScopeSlot, AFullSlotDropsFramesUnprocessedUntilThePictureIsDrawn)
{
    StreamFixture f;
    f.camera.settle(f.scope); // the first frame comes as the session starts
    ASSERT_TRUE(f.scope.qImage().isFull());
    const int firstLevel = f.scope.scopeImageLevel();
    EXPECT_EQ(firstLevel, 3 * 10);

    for (int i = 0; i < 5; ++i)
        f.camera.step(f.scope);
    // Five brighter frames came and went without being measured.
    EXPECT_EQ(f.scope.droppedFrameCount(), 5u);
    EXPECT_EQ(f.scope.scopeImageLevel(), firstLevel);

    f.scope.timerTick();
    f.scope.scopeImageLayer()->displayIfNeeded(); // draws and empties the slot
    EXPECT_FALSE(f.scope.qImage().isFull());
    f.camera.step(f.scope);
    ASSERT_TRUE(f.scope.qImage().isFull());
    EXPECT_EQ(f.scope.scopeImageLevel(), 3 * (10 + 6));
}

TEST(ScopeSlot, FramesAreDroppedWhileAPhotoIsTakenAndThePictureStays)
{
    StreamFixture f;
    f.camera.settle(f.scope);
    f.scope.timerTick();
    f.scope.scopeImageLayer()->displayIfNeeded();
    const QImage before = f.scope.scopeImageLayer()->renderToImage(2);

    f.scope.setTakingPicture(true);
    f.camera.step(f.scope);
    f.camera.step(f.scope);
    EXPECT_FALSE(f.scope.qImage().isFull());
    EXPECT_EQ(f.scope.droppedFrameCount(), 2u);
    f.scope.timerTick();
    f.scope.scopeImageLayer()->displayIfNeeded();
    EXPECT_EQ(f.scope.scopeImageLayer()->renderToImage(2), before);

    f.scope.setTakingPicture(false);
    f.camera.step(f.scope);
    EXPECT_TRUE(f.scope.qImage().isFull());
}

TEST(ScopeSlot, AStoppedSessionLeavesTheSlotEmpty)
{
    StreamFixture f;
    f.camera.settle(f.scope);
    ASSERT_TRUE(f.scope.qImage().isFull());
    f.scope.stopCaptureSession();
    EXPECT_FALSE(f.scope.qImage().isFull());

    // A frame that reaches the delegate after the stop is processed but not kept.
    QImage picture = flatFrame({ 64, 48 }, 40);
    auto frame = platform::SampleBuffer::fromImage(picture);
    ASSERT_TRUE(frame);
    // Offered on the output's own queue, where the delegate is always called.
    auto output = std::dynamic_pointer_cast<platform::StreamVideoDataOutput>(f.scope.videoDataOutput());
    ASSERT_TRUE(output);
    const std::uint64_t delivered = output->deliveredFrameCount();
    ASSERT_TRUE(output->offer(std::make_shared<platform::SampleBuffer>(std::move(*frame))));
    ASSERT_TRUE(output->drain(std::chrono::seconds(5)));
    ASSERT_EQ(output->deliveredFrameCount(), delivered + 1);
    EXPECT_FALSE(f.scope.qImage().isFull());

    // Started again, the stream fills it again.
    f.scope.startCaptureSession();
    f.camera.settle(f.scope);
    EXPECT_TRUE(f.scope.qImage().isFull());
}

TEST(ScopeTick, OverlayEveryTenthTickPictureOnlyWithAFullSlot)
{
    TestScope scope;
    std::vector<int> overlayTicks;
    for (int tick = 0; tick < 35; ++tick) {
        scope.timerTick();
        if (scope.scopeGridLayer()->needsDisplay())
            overlayTicks.push_back(tick);
        scope.scopeGridLayer()->displayIfNeeded();
        EXPECT_FALSE(scope.scopeImageLayer()->needsDisplay()); // the slot stays empty
    }
    EXPECT_EQ(overlayTicks, (std::vector<int> { 0, 10, 20, 30 }));

    auto image = std::make_unique<imaging::ScopeImage>();
    image->pixels = flatFrame({ 8, 8 }, 20);
    image->frameSize = { 8, 8 };
    ASSERT_EQ(scope.qImage().fill(std::move(image)), nullptr);
    scope.timerTick();
    EXPECT_TRUE(scope.scopeImageLayer()->needsDisplay());
}

TEST(ScopeTick, TheCounterWrapsAndAMultipleOfTenStillRedrawsTheOverlay)
{
    TestScope scope;
    const std::uint32_t last = std::numeric_limits<std::uint32_t>::max();
    scope.setTickCount(last - 5); // 4294967290, a multiple of 10
    std::vector<std::uint32_t> redrawnAt;
    for (int i = 0; i < 17; ++i) {
        const std::uint32_t before = scope.tickCount();
        scope.timerTick();
        if (scope.scopeGridLayer()->needsDisplay())
            redrawnAt.push_back(before);
        scope.scopeGridLayer()->displayIfNeeded();
    }
    EXPECT_EQ(redrawnAt, (std::vector<std::uint32_t> { last - 5, 0, 10 }));
    EXPECT_EQ(scope.tickCount(), 11u);
}

TEST(ScopeTimerThread, TicksOnItsOwnThreadAndStopsWithItsOwner)
{
    auto scope = std::make_unique<TestScope>();
    scope->pipeline.startTimerThread();
    EXPECT_TRUE(scope->isTimerThreadRunning());
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (scope->tickCount() < 3 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    EXPECT_GE(scope->tickCount(), 3u);
    scope.reset(); // joins the thread; a tick left running would touch freed memory
}

TEST(ScopeGeometry, PhoneAt2x640x480FramesGivesScale1Point5AndRadius133)
{
    LogCapture log;
    StreamFixture f;
    EXPECT_EQ(f.scope.scopeScreenRadius(), 200);
    EXPECT_EQ(f.scope.previewScale(), 0.0f);
    f.camera.settle(f.scope);
    f.scope.timerTick();
    EXPECT_FLOAT_EQ(f.scope.previewScale(), 1.5f);
    EXPECT_EQ(f.scope.scopeScreenScaledRadius(), 133);
    EXPECT_TRUE(log.lines.contains(QStringLiteral("Preview Scale 1.500000")))
        << log.lines.join('\n').toStdString();

    // A preset change forgets the scale; the next tick with a picture finds it again.
    f.scope.presetChange(1);
    EXPECT_EQ(f.scope.previewScale(), 0.0f);
    f.scope.timerTick();
    EXPECT_FLOAT_EQ(f.scope.previewScale(), 1.5f);
}

TEST(ScopeGeometry, TabletScopeIsThreeHundredPoints)
{
    TestScope scope;
    scope.tablet = true;
    scope.scale = 1.0f;
    scope.setupScopeGeometry();
    EXPECT_EQ(scope.scopePixelSize(), 600);
    EXPECT_EQ(scope.scopeScreenRadius(), 300);
    // 768 × 1024 points at scale 1 over 1920 × 1440 frames: max(1024/1920, 768/1440) = 0.5333.
    EXPECT_FLOAT_EQ(imaging::ScopeGeometry::aspectFillScale(768, 1024, 1, 1920, 1440), 1024.0f / 1920.0f);
    EXPECT_EQ(imaging::ScopeGeometry::aspectFillScale(320, 480, 2, 0, 480), 0.0f);
}

TEST(ScopeCameras, OnlyABackCameraKeepsItAndHasNothingToSwitchTo)
{
    StreamFixture f({ { CaptureDevicePosition::Back, false } });
    EXPECT_FALSE(f.scope.camera.hasBothCameras());
    const auto before = f.scope.input();
    f.scope.changeCamera();
    EXPECT_EQ(f.scope.cDevice(), f.scope.cDeviceBack());
    EXPECT_NE(f.scope.input(), before); // the input is rebuilt all the same
    f.camera.settle(f.scope);
    EXPECT_TRUE(f.scope.qImage().isFull());
}

TEST(ScopeCameras, OnlyAFrontCameraIsUsedAndFramesFlow)
{
    StreamFixture f({ { CaptureDevicePosition::Front, false } });
    EXPECT_EQ(f.scope.cDevice(), f.scope.cDeviceFront());
    EXPECT_EQ(f.scope.cDeviceBack(), nullptr);
    EXPECT_FALSE(f.scope.camera.hasBothCameras());
    EXPECT_TRUE(f.scope.cameraMessage().isEmpty());
    f.camera.settle(f.scope);
    EXPECT_TRUE(f.scope.qImage().isFull());
    f.scope.changeCamera();
    EXPECT_EQ(f.scope.cDevice(), f.scope.cDeviceFront());
}

TEST(ScopeCameras, TwoCamerasSwapBackAndForth)
{
    StreamFixture f;
    EXPECT_TRUE(f.scope.camera.hasBothCameras());
    EXPECT_EQ(f.scope.cDevice(), f.scope.cDeviceBack());
    f.scope.changeCamera();
    EXPECT_EQ(f.scope.cDevice(), f.scope.cDeviceFront());
    EXPECT_TRUE(f.scope.previewLayer()->isMirrored());
    EXPECT_FALSE(f.scope.camera.hasTorch()); // the front camera has none
    f.scope.changeCamera();
    EXPECT_EQ(f.scope.cDevice(), f.scope.cDeviceBack());
    EXPECT_TRUE(f.scope.camera.hasTorch());
    EXPECT_TRUE(f.scope.session()->isRunning());
}

TEST(ScopeCameras, WithoutACameraTheScreenSaysSoAndKeepsWorking)
{
    TestScope scope;
    scope.loadScope(); // no backend at all
    EXPECT_EQ(scope.cameraMessage(), QStringLiteral("No camera found"));
    scope.changeCamera();
    scope.camera.changeScopeTorch();
    scope.presetChange(2);
    EXPECT_FALSE(scope.camera.hasTorch());
    for (int i = 0; i < 12; ++i)
        scope.timerTick();
    const QImage screen = renderScreen(scope);
    // The message is drawn in red inside the scope square.
    int red = 0;
    for (int y = 200; y < 760; ++y)
        for (int x = 120; x < 520; ++x) {
            const QRgb p = screen.pixel(x, y);
            red += qRed(p) > 150 && qGreen(p) < 80 && qBlue(p) < 80;
        }
    EXPECT_GT(red, 100);
}

TEST(ScopeTorch, TogglesOnAndOffAndDoesNothingWithoutATorch)
{
    StreamFixture f;
    EXPECT_TRUE(f.scope.camera.hasTorch());
    const auto& device = f.scope.cDevice();
    EXPECT_EQ(device->torchMode(), TorchMode::Off);
    f.scope.camera.changeScopeTorch();
    EXPECT_EQ(device->torchMode(), TorchMode::On);
    f.scope.camera.changeScopeTorch();
    EXPECT_EQ(device->torchMode(), TorchMode::Off);

    f.scope.changeCamera();
    f.scope.camera.changeScopeTorch();
    EXPECT_EQ(f.scope.cDevice()->torchMode(), TorchMode::Off);
}

TEST(ScopeGeometry, APictureTakenBeforeAPresetChangeDoesNotFixTheScaleForGood)
{
    StreamFixture f({ { CaptureDevicePosition::Back, true } }, QSize()); // frames follow the preset
    f.camera.settle(f.scope);
    ASSERT_TRUE(f.scope.qImage().isFull()); // a 1920 × 1440 Photo frame
    f.scope.presetChange(0); // Low: 192 × 144 from now on
    f.scope.timerTick(); // finds the old frame
    EXPECT_FLOAT_EQ(f.scope.previewScale(), 0.5f);
    f.scope.scopeImageLayer()->displayIfNeeded();
    f.camera.step(f.scope);
    f.scope.timerTick(); // the first Low frame
    EXPECT_FLOAT_EQ(f.scope.previewScale(), 5.0f);
    EXPECT_EQ(f.scope.scopeScreenScaledRadius(), 40);
}
