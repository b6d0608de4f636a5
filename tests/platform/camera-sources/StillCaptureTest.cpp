#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "CameraTestSupport.h"
#include "platform/camera/CameraSource.h"
#include "platform/camera/CaptureBackend.h"
#include "platform/camera/CaptureConnection.h"
#include "platform/camera/CaptureDevice.h"
#include "platform/camera/CaptureSession.h"
#include "platform/camera/ManualFrameClock.h"
#include "platform/camera/StillImageOutput.h"

using namespace std::chrono_literals;
using namespace platform;

namespace {

struct Still {
    std::shared_ptr<SampleBuffer> frame;
    QString error;
    std::thread::id thread;
};

struct StillRig {
    explicit StillRig(SessionPreset preset)
    {
        backend = CameraSource::parse(QStringLiteral("synthetic")).value().makeBackend(clock).value();
        back = backend->devices().front();
        session = backend->makeSession();
        session->setSessionPreset(preset);
        session->addInput(backend->makeDeviceInput(back).value());
        output = backend->makeStillImageOutput();
        session->addOutput(output);
        session->startRunning();
    }

    Still take()
    {
        std::promise<Still> promise;
        auto result = promise.get_future();
        const auto connections = output->connections();
        output->captureStillImageAsynchronously(connections.empty() ? nullptr : connections.front(),
            [&promise](std::shared_ptr<SampleBuffer> frame, const QString& error) {
                promise.set_value({ std::move(frame), error, std::this_thread::get_id() });
            });
        if (result.wait_for(60s) != std::future_status::ready)
            return { nullptr, QStringLiteral("timed out"), {} };
        return result.get();
    }

    std::shared_ptr<ManualFrameClock> clock = std::make_shared<ManualFrameClock>();
    std::shared_ptr<CaptureBackend> backend;
    std::shared_ptr<CaptureDevice> back;
    std::shared_ptr<CaptureSession> session;
    std::shared_ptr<StillImageOutput> output;
};

MetadataDictionary exifOf(const SampleBuffer& frame)
{
    return frame.attachments().value(QStringLiteral("{Exif}")).toMap();
}

} // namespace

// The full-size photo and its EXIF are checked on the saved file by the program test (tests/app-photos).
TEST(StillCapture, TorchShortensTheExposureAndLowersTheGain)
{
    StillRig rig(SessionPreset::Low);
    const Still dark = rig.take();
    ASSERT_TRUE(rig.back->lockForConfiguration());
    rig.back->setTorchMode(TorchMode::On);
    rig.back->unlockForConfiguration();
    const Still lit = rig.take();
    ASSERT_TRUE(dark.frame && lit.frame);
    EXPECT_NE(lit.thread, std::this_thread::get_id()) << "delivered on the output's own thread";

    EXPECT_EQ(lit.frame->imageBuffer().width(), 192u) << "other presets take stills at the video size";
    const auto darkExif = exifOf(*dark.frame);
    const auto litExif = exifOf(*lit.frame);
    EXPECT_LT(litExif.value(QStringLiteral("ExposureTime")).toDouble(),
        darkExif.value(QStringLiteral("ExposureTime")).toDouble());
    EXPECT_LT(litExif.value(QStringLiteral("ISOSpeedRatings")).toList().front().toInt(),
        darkExif.value(QStringLiteral("ISOSpeedRatings")).toList().front().toInt());
    EXPECT_GT(camera_test::meanBrightness(camera_test::copyPixels(lit.frame->imageBuffer())),
        1.6 * camera_test::meanBrightness(camera_test::copyPixels(dark.frame->imageBuffer())));
}

TEST(StillCapture, FailsWithAReasonWhenTheSessionCannotTakeAPicture)
{
    StillRig rig(SessionPreset::Low);
    rig.session->stopRunning();
    const Still stopped = rig.take();
    EXPECT_FALSE(stopped.frame);
    EXPECT_FALSE(stopped.error.isEmpty());
    EXPECT_NE(stopped.thread, std::this_thread::get_id()) << "errors are delivered later too";

    auto loose = rig.backend->makeStillImageOutput(); // never added to a session
    std::promise<QString> error;
    loose->captureStillImageAsynchronously(
        nullptr, [&](const std::shared_ptr<SampleBuffer>& frame, const QString& why) {
            EXPECT_FALSE(frame);
            error.set_value(why);
        });
    auto reason = error.get_future();
    ASSERT_EQ(reason.wait_for(60s), std::future_status::ready);
    EXPECT_FALSE(reason.get().isEmpty());
}

TEST(StillCapture, DestroyingTheOutputCompletesEveryPendingRequestOnce)
{
    StillRig rig(SessionPreset::Photo);
    std::atomic<int> frames { 0 };
    std::atomic<int> errors { 0 };
    const auto connection = rig.output->connections().front();
    for (int i = 0; i < 4; ++i) {
        rig.output->captureStillImageAsynchronously(
            connection, [&](const std::shared_ptr<SampleBuffer>& frame, const QString& error) {
                (frame ? frames : errors)++;
                EXPECT_EQ(bool(frame), error.isEmpty());
            });
    }
    rig.session.reset();
    rig.output.reset();
    EXPECT_EQ(frames + errors, 4);
}
