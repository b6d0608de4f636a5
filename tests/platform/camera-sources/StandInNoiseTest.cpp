// The stand-in cameras with sensor noise and hand shake: what --sensor-noise and --sensor-shake
// give the app. The frame sources are driven directly, without a session, so every picture is
// the one the source made.

#include <cmath>
#include <memory>
#include <optional>

#include <QImage>

#include <gtest/gtest.h>

#include "CameraTestSupport.h"
#include "platform/camera/ImageFileFrameSource.h"
#include "platform/camera/ManualFrameClock.h"
#include "platform/camera/PixelBuffer.h"
#include "platform/camera/SampleBuffer.h"
#include "platform/camera/SensorNoise.h"
#include "platform/camera/StreamCaptureDevice.h"
#include "platform/camera/SyntheticFrameSource.h"
#include "support/NoiseMeasure.h"
#include "support/TestNames.h"

using namespace std::chrono_literals;
using namespace platform;
using testing_noise::differenceSigma;

namespace {

QImage stillPixels(FrameSource& source, const StreamCaptureDevice& device, SessionPreset preset)
{
    auto still = source.stillFrame(device, preset, 1s);
    return still ? camera_test::copyPixels(still.value()->imageBuffer()) : QImage();
}

// The shift (within ±range) that turns `clean` into `moved` exactly, away from the repeated edges.
std::optional<QPoint> exactShift(const QImage& clean, const QImage& moved, int range)
{
    const QRect inner = clean.rect().adjusted(range, range, -range, -range);
    for (int dy = -range; dy <= range; ++dy)
        for (int dx = -range; dx <= range; ++dx) {
            if (clean.copy(inner.translated(-dx, -dy)) == moved.copy(inner))
                return QPoint(dx, dy);
        }
    return std::nullopt;
}

// A photo with detail everywhere, so that every shift gives other pixels; mid-grey enough that
// noise of sigma 8 is hardly ever clamped.
QImage texturedPhoto()
{
    QImage photo(300, 400, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < photo.height(); ++y)
        for (int x = 0; x < photo.width(); ++x)
            photo.setPixel(
                x, y, qRgb(60 + (x * 7 + y * 3) % 120, 60 + (x * x + y) % 130, 70 + (x ^ y) % 110));
    return photo;
}

enum class Kind { Synthetic, Image };

std::unique_ptr<FrameSource> makeSource(Kind kind, int sigma, int shake)
{
    if (kind == Kind::Synthetic)
        return std::make_unique<SyntheticFrameSource>(3, SensorNoise(sigma, shake, 3));
    return std::make_unique<ImageFileFrameSource>(texturedPhoto(), SensorNoise(sigma, shake, 3));
}

struct NoiseRow {
    const char* name;
    Kind kind;
    int sigma;
    int shake;
};
using testing_support::PrintTo;

class StandInCamera : public ::testing::Test {
protected:
    std::shared_ptr<ManualFrameClock> m_clock = std::make_shared<ManualFrameClock>();
    StreamCaptureDevice m_device { QStringLiteral("Back"), CaptureDevicePosition::Back, false, m_clock };
};

class StandInNoise : public StandInCamera, public ::testing::WithParamInterface<NoiseRow> { };

} // namespace

// Every frame and every still carries its own noise and shake over the clean picture of the same
// moment: a feed that repeated one pattern would be averaged to nothing by a temporal filter and
// prove nothing.
TEST_P(StandInNoise, EveryFrameAndStillDiffersFromTheCleanPictureAndFromTheOthers)
{
    const NoiseRow row = GetParam();
    auto clean = makeSource(row.kind, 0, 0);
    auto noisy = makeSource(row.kind, row.sigma, row.shake);
    for (const SessionPreset preset : { SessionPreset::Medium, SessionPreset::Photo }) {
        const QImage reference = clean->videoFrame(m_device, preset, 1s);
        const QImage first = noisy->videoFrame(m_device, preset, 1s);
        const QImage second = noisy->videoFrame(m_device, preset, 1s);
        ASSERT_EQ(first.size(), reference.size());
        EXPECT_NE(first, reference);
        EXPECT_NE(first, second) << "consecutive frames share their noise";

        const QImage cleanStill = stillPixels(*clean, m_device, preset);
        const QImage still = stillPixels(*noisy, m_device, preset);
        const QImage nextStill = stillPixels(*noisy, m_device, preset);
        ASSERT_EQ(still.size(), cleanStill.size());
        EXPECT_NE(still, cleanStill) << "stills are noisy too";
        EXPECT_NE(still, nextStill);

        if (row.shake == 0) {
            // Noise only: spread as asked (a little less where the dim scene clamps at black).
            EXPECT_NEAR(differenceSigma(first, reference, first.rect()), row.sigma, row.sigma * 0.25);
            EXPECT_NEAR(differenceSigma(still, cleanStill, still.rect()), row.sigma, row.sigma * 0.25);
        } else if (row.sigma == 0) {
            // Shake only: the same pixels, moved by whole pixels within the range.
            EXPECT_TRUE(exactShift(reference, first, row.shake));
            EXPECT_TRUE(exactShift(cleanStill, still, row.shake));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, StandInNoise,
    ::testing::Values(NoiseRow { "ImageNoise8", Kind::Image, 8, 0 },
        NoiseRow { "ImageShake3", Kind::Image, 0, 3 },
        NoiseRow { "SyntheticNoise4Shake2", Kind::Synthetic, 4, 2 }),
    [](const auto& row) { return std::string(row.param.name); });
