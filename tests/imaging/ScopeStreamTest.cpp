// The capture session, the single-image slot, the tick pacing, the cameras and the geometry of
// the scope.

#include <chrono>
#include <cstdint>
#include <limits>
#include <memory>

#include "ScopeTestSupport.h"
#include "platform/camera/StreamVideoDataOutput.h"
#include "support/TestNames.h"

using namespace scopetest;
using platform::CaptureDevicePosition;
using platform::TorchMode;

namespace {

using testing_support::PrintTo;

const std::vector<CameraSetup> kBothCameras { { CaptureDevicePosition::Back, true },
    { CaptureDevicePosition::Front, false } };

// A scope loaded on scripted cameras whose frames get one grey level brighter each frame.
struct StreamFixture : SteppedScope {
    explicit StreamFixture(
        const std::vector<CameraSetup>& cameras = kBothCameras, QSize fixedSize = { 640, 480 })
        : SteppedScope(
            ScriptedCamera(std::make_shared<PatternSource>(
                               [](QSize size, int n) { return flatFrame(size, 10 + n); }, fixedSize),
                cameras))
    {
        scope.settings.setScopeNightVisionMode(imaging::NightVisionMode::Off);
        scope.geometry.setScopeScreenScaledRadius(133);
        scope.setupScopeGeometry();
        scope.setupCaptureSessionVideo();
    }
    // Ticks and draws the picture, which empties the slot.
    void drawPicture()
    {
        scope.pipeline.timerTick();
        scope.drawPending();
    }
};

} // namespace

TEST(ScopeSlot, AFullSlotDropsFramesUnprocessedUntilThePictureIsDrawn)
{
    StreamFixture f;
    f.settle(); // the first frame comes as the session starts
    ASSERT_TRUE(f.scope.qImage().isFull());
    EXPECT_EQ(f.scope.pipeline.scopeImageLevel(), 3 * 10);
    for (int i = 0; i < 5; ++i)
        f.step();
    // Five brighter frames came and went without being measured.
    EXPECT_EQ(f.scope.pipeline.droppedFrameCount(), 5u);
    EXPECT_EQ(f.scope.pipeline.scopeImageLevel(), 3 * 10);

    f.drawPicture();
    EXPECT_FALSE(f.scope.qImage().isFull());
    f.step();
    ASSERT_TRUE(f.scope.qImage().isFull());
    EXPECT_EQ(f.scope.pipeline.scopeImageLevel(), 3 * (10 + 6));
}

TEST(ScopeSlot, FramesAreDroppedWhileAPhotoIsTakenAndThePictureStays)
{
    StreamFixture f;
    f.settle();
    f.drawPicture();
    const QImage before = f.scope.scopeImage;

    f.scope.pipeline.setTakingPicture(true);
    f.step();
    f.step();
    EXPECT_FALSE(f.scope.qImage().isFull());
    EXPECT_EQ(f.scope.pipeline.droppedFrameCount(), 2u);
    f.drawPicture();
    EXPECT_EQ(f.scope.scopeImage, before);

    f.scope.pipeline.setTakingPicture(false);
    f.step();
    EXPECT_TRUE(f.scope.qImage().isFull());
}

TEST(ScopeSlot, AStoppedSessionLeavesTheSlotEmpty)
{
    StreamFixture f;
    f.settle();
    ASSERT_TRUE(f.scope.qImage().isFull());
    f.scope.stopCaptureSession();
    EXPECT_FALSE(f.scope.qImage().isFull());

    // A frame that reaches the delegate after the stop (offered on the output's own queue, where
    // the delegate is always called) is processed but not kept.
    auto frame = platform::SampleBuffer::fromImage(flatFrame({ 64, 48 }, 40));
    ASSERT_TRUE(frame);
    auto output
        = std::dynamic_pointer_cast<platform::StreamVideoDataOutput>(f.scope.camera.videoDataOutput());
    ASSERT_TRUE(output);
    const std::uint64_t delivered = output->deliveredFrameCount();
    ASSERT_TRUE(output->offer(std::make_shared<platform::SampleBuffer>(std::move(*frame))));
    ASSERT_TRUE(output->drain(std::chrono::seconds(5)));
    ASSERT_EQ(output->deliveredFrameCount(), delivered + 1);
    EXPECT_FALSE(f.scope.qImage().isFull());

    f.scope.startCaptureSession();
    f.settle();
    EXPECT_TRUE(f.scope.qImage().isFull()) << "started again, the stream fills it again";
}

// The overlay is redrawn on every tenth tick, across the counter's wrap too (the first tick
// after the wrap is 0, a multiple of ten); the picture only when the slot is full.
TEST(ScopeTick, OverlayEveryTenthTickAcrossTheWrapPictureOnlyWithAFullSlot)
{
    for (const std::uint32_t first : { 0u, std::numeric_limits<std::uint32_t>::max() - 5 }) {
        SCOPED_TRACE(first);
        TestScope scope;
        scope.pipeline.setTickCount(first);
        std::vector<std::uint32_t> redrawnAt;
        for (int i = 0; i < 35; ++i) {
            const std::uint32_t before = scope.pipeline.tickCount();
            scope.pipeline.timerTick();
            if (scope.takeOverlayDue())
                redrawnAt.push_back(before);
            EXPECT_FALSE(scope.pictureDue()); // the slot stays empty
        }
        const std::vector<std::uint32_t> expected = first == 0
            ? std::vector<std::uint32_t> { 0, 10, 20, 30 }
            : std::vector<std::uint32_t> { first, 0, 10, 20 };
        EXPECT_EQ(redrawnAt, expected);
    }
    TestScope scope;
    auto image = std::make_unique<imaging::ScopeImage>();
    image->pixels = flatFrame({ 8, 8 }, 20);
    image->frameSize = { 8, 8 };
    ASSERT_EQ(scope.qImage().fill(std::move(image)), nullptr);
    scope.pipeline.timerTick();
    EXPECT_TRUE(scope.pictureDue());
}

// A preset change forgets the scale; the next tick finds it again on the picture it has, and
// once more on the first picture of the new preset.
TEST(ScopeGeometry, APictureTakenBeforeAPresetChangeDoesNotFixTheScaleForGood)
{
    StreamFixture f({ { CaptureDevicePosition::Back, true } }, QSize()); // frames follow the preset
    f.settle();
    ASSERT_TRUE(f.scope.qImage().isFull()); // a 1920 × 1440 Photo frame
    f.scope.presetChange(0); // Low: 192 × 144 from now on
    EXPECT_EQ(f.scope.geometry.previewScale(), 0.0f);
    f.scope.pipeline.timerTick(); // finds the old frame
    EXPECT_FLOAT_EQ(f.scope.geometry.previewScale(), 0.5f);
    f.scope.drawPending();
    f.step();
    f.scope.pipeline.timerTick(); // the first Low frame
    EXPECT_FLOAT_EQ(f.scope.geometry.previewScale(), 5.0f);
    EXPECT_EQ(f.scope.geometry.scopeScreenScaledRadius(), 40);
}

// ---- The cameras and the torch ----

struct CamerasRow {
    const char* name;
    std::vector<CameraSetup> cameras;
    CaptureDevicePosition first, afterChange;
};

class ScopeCameras : public ::testing::TestWithParam<CamerasRow> { };

// The scope starts on the back camera where there is one and swaps only when there are two; the
// input is rebuilt on every change, the front camera's preview is mirrored, frames flow on
// whichever camera is used, and the torch toggles only on a camera that has one.
TEST_P(ScopeCameras, StartSwapMirrorAndTorch)
{
    StreamFixture f(GetParam().cameras);
    imaging::ScopeCamera& camera = f.scope.camera;
    EXPECT_EQ(camera.hasBothCameras(), GetParam().cameras.size() == 2);
    EXPECT_TRUE(camera.cameraMessage().isEmpty());
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        const bool front
            = (round == 1 ? GetParam().afterChange : GetParam().first) == CaptureDevicePosition::Front;
        EXPECT_EQ(camera.cDevice(), front ? camera.cDeviceFront() : camera.cDeviceBack());
        EXPECT_EQ(camera.previewLayer()->isMirrored(), front);
        if (round == 0) {
            f.settle(); // the first frame comes as the session starts
        } else {
            f.scope.qImage().take();
            f.step();
        }
        EXPECT_TRUE(f.scope.qImage().isFull()) << "frames flow";
        const bool torch = !front && GetParam().cameras.front().torch;
        EXPECT_EQ(camera.hasTorch(), torch);
        camera.changeScopeTorch();
        EXPECT_EQ(camera.cDevice()->torchMode(), torch ? TorchMode::On : TorchMode::Off);
        camera.changeScopeTorch();
        EXPECT_EQ(camera.cDevice()->torchMode(), TorchMode::Off);
        const auto input = camera.input();
        f.scope.changeCamera();
        EXPECT_NE(camera.input(), input);
    }
    EXPECT_TRUE(camera.session()->isRunning());
}

INSTANTIATE_TEST_SUITE_P(Table, ScopeCameras,
    ::testing::Values(CamerasRow { "BackAndFront", kBothCameras, CaptureDevicePosition::Back,
                          CaptureDevicePosition::Front },
        CamerasRow { "BackOnly", { { CaptureDevicePosition::Back, false } }, CaptureDevicePosition::Back,
            CaptureDevicePosition::Back },
        CamerasRow { "FrontOnly", { { CaptureDevicePosition::Front, false } }, CaptureDevicePosition::Front,
            CaptureDevicePosition::Front }),
    [](const auto& row) { return std::string(row.param.name); });
