#include <memory>

#include <gtest/gtest.h>

#include "CameraTestSupport.h"
#include "platform/camera/CameraSource.h"
#include "platform/camera/CaptureDeviceInput.h"
#include "platform/camera/ManualFrameClock.h"
#include "platform/camera/StreamBackend.h"
#include "platform/camera/StreamCaptureDevice.h"
#include "platform/camera/StreamCaptureSession.h"
#include "platform/camera/StreamPreviewLayer.h"
#include "platform/camera/StreamVideoDataOutput.h"
#include "support/Gate.h"

using namespace std::chrono_literals;
using namespace platform;
using camera_test::RecordingDelegate;
using testing_support::Gate;

namespace {

// A synthetic camera session driven by a manual clock, set up the way the app does it.
struct Rig {
    explicit Rig(SessionPreset preset = SessionPreset::Low)
    {
        backend = CameraSource::parse(QStringLiteral("synthetic")).value().makeBackend(clock).value();
        for (const auto& device : backend->devices())
            (device->position() == CaptureDevicePosition::Back ? back : front) = device;
        session = std::dynamic_pointer_cast<StreamCaptureSession>(backend->makeSession());
        session->setSessionPreset(preset);
        input = backend->makeDeviceInput(back).value();
        session->addInput(input);
        output = std::dynamic_pointer_cast<StreamVideoDataOutput>(backend->makeVideoDataOutput());
        session->addOutput(output);
        output->setSampleBufferDelegate(&delegate, QStringLiteral("myQueue"));
        output->setMinFrameDuration({ 1, 20 });
        preview = std::dynamic_pointer_cast<StreamPreviewLayer>(backend->makePreviewLayer(session));
    }
    ~Rig()
    {
        if (session)
            session->stopRunning();
        if (output)
            output->setSampleBufferDelegate(nullptr, {});
    }

    // Starts the session and waits until its first frame (at the current time) is delivered.
    void start()
    {
        session->startRunning();
        ASSERT_TRUE(clock->waitForSleepers(1, 60s));
        ASSERT_TRUE(output->drain(60s));
    }
    // Moves time on and waits until everything due has been delivered.
    void step(FrameClock::Duration by)
    {
        clock->advance(by);
        ASSERT_TRUE(clock->waitForSleepers(1, 60s));
        ASSERT_TRUE(output->drain(60s));
    }
    void run(FrameClock::Duration total, FrameClock::Duration by = 10ms)
    {
        for (FrameClock::Duration t { 0 }; t < total; t += by)
            step(by);
    }
    void setTorch(const std::shared_ptr<CaptureDevice>& device, TorchMode mode)
    {
        ASSERT_TRUE(device->lockForConfiguration());
        device->setTorchMode(mode);
        device->unlockForConfiguration();
    }

    std::shared_ptr<ManualFrameClock> clock = std::make_shared<ManualFrameClock>();
    RecordingDelegate delegate { clock.get() };
    std::shared_ptr<CaptureBackend> backend;
    std::shared_ptr<CaptureDevice> back;
    std::shared_ptr<CaptureDevice> front;
    std::shared_ptr<StreamCaptureSession> session;
    std::shared_ptr<CaptureDeviceInput> input;
    std::shared_ptr<StreamVideoDataOutput> output;
    std::shared_ptr<StreamPreviewLayer> preview;
};

} // namespace

TEST(CaptureSessionPacing, DeliversOnMyQueueNeverFasterThanTheMinimumFrameDuration)
{
    Rig rig;
    rig.start();
    rig.run(1000ms, 5ms);
    const auto deliveries = rig.delegate.deliveries();
    // 1 s at 20 frames per second, give or take the frame at each end.
    ASSERT_GE(deliveries.size(), 19u);
    ASSERT_LE(deliveries.size(), 21u);
    for (std::size_t i = 1; i < deliveries.size(); ++i)
        EXPECT_GE(deliveries[i].time - deliveries[i - 1].time, 50ms) << "frame " << i;
    for (const auto& delivery : deliveries)
        EXPECT_EQ(delivery.threadName, QStringLiteral("myQueue"));
}

TEST(CaptureSessionPacing, ASlowDelegateMakesFramesDropInsteadOfQueueing)
{
    Rig rig;
    Gate inside;
    Gate release;
    std::atomic<bool> first { true };
    rig.delegate.setHook([&](SampleBuffer&) {
        if (first.exchange(false)) {
            inside.open();
            release.wait();
        }
    });
    rig.session->startRunning();
    ASSERT_TRUE(inside.wait());
    for (int i = 0; i < 10; ++i) {
        rig.clock->advance(50ms);
        ASSERT_TRUE(rig.clock->waitForSleepers(1, 60s));
    }
    EXPECT_GE(rig.output->droppedFrameCount(), 10u);
    release.open();
    ASSERT_TRUE(rig.output->drain(60s));
    EXPECT_EQ(rig.delegate.count(), 1u) << "nothing was queued behind the slow frame";
    rig.step(50ms);
    EXPECT_EQ(rig.delegate.count(), 2u) << "delivery resumes once the delegate is free";
}

TEST(CaptureSessionLifecycle, StopEndsDeliveryAndClearsThePreview)
{
    Rig rig;
    rig.start();
    rig.run(200ms);
    ASSERT_GT(rig.delegate.count(), 0u);
    EXPECT_GT(rig.preview->currentFrame().sequence, 0u);

    rig.session->stopRunning();
    EXPECT_FALSE(rig.session->isRunning());
    const std::size_t delivered = rig.delegate.count();
    rig.clock->advance(2s);
    ASSERT_TRUE(rig.output->drain(60s));
    EXPECT_EQ(rig.delegate.count(), delivered);
    EXPECT_EQ(rig.preview->currentFrame().sequence, 0u);
    EXPECT_TRUE(rig.preview->currentFrame().image.isNull());
    // (A restarted session delivering again is the scope's stream test.)
}

TEST(CaptureSessionLifecycle, DestroyingARunningSessionWithFramesInFlightIsClean)
{
    for (int round = 0; round < 3; ++round) {
        auto backend = CameraSource::parse(QStringLiteral("synthetic")).value().makeBackend().value();
        auto delegate = std::make_unique<RecordingDelegate>();
        auto session = backend->makeSession();
        session->setSessionPreset(round == 2 ? SessionPreset::Photo : SessionPreset::Medium);
        session->addInput(backend->makeDeviceInput(backend->devices().front()).value());
        auto output = backend->makeVideoDataOutput();
        session->addOutput(output);
        output->setSampleBufferDelegate(delegate.get(), QStringLiteral("myQueue"));
        output->setMinFrameDuration({ 1, 20 });
        auto preview = backend->makePreviewLayer(session);
        // The delegate changes its frame in place, as the enhancement does, while we tear down.
        delegate->setHook([](SampleBuffer& frame) { camera_test::scribble(frame, 0x7f); });
        session->startRunning();
        ASSERT_TRUE(delegate->waitFor(2));
        if (round == 0) {
            session.reset(); // output, preview and backend outlive it
        } else {
            backend.reset(); // the session keeps what it needs
            session.reset();
            preview.reset();
        }
        const std::size_t delivered = delegate->count();
        output.reset();
        EXPECT_EQ(delegate->count(), delivered);
    }
}

TEST(CaptureSessionFrames, PreviewGetsItsOwnUntouchedPictureOfEachFrame)
{
    Rig rig(SessionPreset::Medium);
    rig.delegate.setHook([](SampleBuffer& frame) { camera_test::scribble(frame, 0xff); });
    rig.start();
    rig.run(300ms);
    ASSERT_GT(rig.delegate.count(), 0u);
    const PreviewFrame shown = rig.preview->currentFrame();
    ASSERT_EQ(shown.image.size(), QSize(480, 360));
    EXPECT_LT(camera_test::meanBrightness(shown.image), 40.0) << "the preview is not the delegate's buffer";
    EXPECT_FALSE(shown.mirrored);
    EXPECT_FALSE(rig.preview->isMirrored());
    EXPECT_EQ(rig.preview->videoGravity(), VideoGravity::ResizeAspectFill);
}

TEST(CaptureSessionDevices, TorchBrightensTheBackCameraAndOnlyUnderTheConfigurationLock)
{
    Rig rig;
    rig.start();
    rig.run(100ms);
    const double dark = rig.delegate.deliveries().back().brightness;

    rig.back->setTorchMode(TorchMode::On); // not locked: ignored
    EXPECT_EQ(rig.back->torchMode(), TorchMode::Off);
    rig.setTorch(rig.back, TorchMode::On);
    EXPECT_EQ(rig.back->torchMode(), TorchMode::On);
    rig.run(100ms);
    EXPECT_GT(rig.delegate.deliveries().back().brightness, dark * 1.6);

    rig.setTorch(rig.back, TorchMode::Off);
    rig.run(100ms);
    EXPECT_NEAR(rig.delegate.deliveries().back().brightness, dark, dark * 0.1);

    EXPECT_FALSE(rig.front->isTorchModeSupported(TorchMode::On));
    rig.setTorch(rig.front, TorchMode::On);
    EXPECT_EQ(rig.front->torchMode(), TorchMode::Off);
}
