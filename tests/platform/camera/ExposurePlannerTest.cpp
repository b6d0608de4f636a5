#include "platform/camera/ExposurePlanner.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "platform/camera/CameraExposure.h"
#include "platform/camera/V4l2Controls.h"
#include "support/TestNames.h"

namespace {

using platform::ExposureLimits;
using platform::ExposurePlanner;
using platform::ExposureState;
using testing_support::PrintTo;

constexpr double kFrame = 1.0 / 30.0;
constexpr ExposureLimits kBoth { true, 1e-4, 0.5, true, 1.0, 16.0 };
constexpr ExposureLimits kGainOnly { false, 0, 0, true, 1.0, 8.0 };
constexpr ExposureLimits kExposureOnly { true, 1e-4, 0.5, false, 1.0, 1.0 };

struct StepRow {
    const char* name;
    ExposureLimits limits;
    double frameInterval;
    ExposureState now;
    double luma;
    ExposureState expected;
};

class PlannerStep : public ::testing::TestWithParam<StepRow> { };

TEST_P(PlannerStep, MovesTheRightLeverByTheRightFactor)
{
    const StepRow& row = GetParam();
    const ExposureState next = ExposurePlanner().next(row.now, row.limits, row.frameInterval, row.luma);
    EXPECT_NEAR(next.exposureTime, row.expected.exposureTime, 1e-9);
    EXPECT_NEAR(next.analogueGain, row.expected.analogueGain, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(Planner, PlannerStep,
    ::testing::Values(
        StepRow { "DarkDoublesExposureFirst", kBoth, kFrame, { 1 / 240.0, 1 }, 20, { 1 / 120.0, 1 } },
        StepRow {
            "DarkStopsExposureAtTheFrameThenGains", kBoth, kFrame, { 1 / 40.0, 1 }, 20, { kFrame, 1.5 } },
        StepRow { "UnknownIntervalLeavesTheCameraMaximum", kBoth, 0, { 0.3, 1 }, 20, { 0.5, 1.2 } },
        StepRow { "BrightLowersGainBeforeExposure", kBoth, kFrame, { kFrame, 1.5 }, 250, { 1 / 40.0, 1 } },
        StepRow { "InsideTheBandNothingMoves", kBoth, kFrame, { 1 / 60.0, 2 }, 95, { 1 / 60.0, 2 } },
        StepRow { "InsideTheBandAboveNothingMoves", kBoth, kFrame, { 1 / 60.0, 2 }, 130, { 1 / 60.0, 2 } },
        StepRow { "ExposureLongerThanAFrameIsCut", kBoth, kFrame, { 0.1, 1 }, 110, { kFrame, 1 } },
        StepRow { "GainOnlyCameraGains", kGainOnly, kFrame, { 0.02, 1 }, 20, { 0.02, 2 } },
        StepRow {
            "ExposureOnlyCameraAtTheFrameStays", kExposureOnly, kFrame, { kFrame, 1 }, 20, { kFrame, 1 } },
        StepRow { "BlackStillRaises", kBoth, kFrame, { 0, 1 }, 0, { 2e-4, 1 } },
        StepRow { "NoLumaMovesNothing", kBoth, kFrame, { 1 / 60.0, 2 }, NAN, { 1 / 60.0, 2 } }),
    [](const auto& row) { return std::string(row.param.name); });

struct SceneRow {
    const char* name;
    double brightness; // luma per second of exposure at unity gain
    ExposureState start;
    bool reachable;
};

class PlannerScene : public ::testing::TestWithParam<SceneRow> { };

// A linear camera: luma = brightness x exposure x gain, clipped at 255.
TEST_P(PlannerScene, ConvergesWithoutOscillatingAndSpendsExposureBeforeGain)
{
    const SceneRow& row = GetParam();
    ExposureState state = row.start;
    int direction = 0;
    int turns = 0;
    double luma = 0;
    for (int step = 0; step < 40; ++step) {
        luma = std::min(255.0, row.brightness * state.exposureTime * state.analogueGain);
        const ExposureState next = ExposurePlanner().next(state, kBoth, kFrame, luma);
        ASSERT_LE(next.exposureTime, kFrame + 1e-12) << "step " << step;
        if (next.analogueGain > kBoth.minGain) {
            ASSERT_NEAR(next.exposureTime, kFrame, 1e-12) << "gain before full exposure at step " << step;
        }
        const double ratio
            = next.exposureTime * next.analogueGain / (state.exposureTime * state.analogueGain);
        ASSERT_LE(ratio, ExposurePlanner::kMaxStep + 1e-9);
        ASSERT_GE(ratio, 1 / ExposurePlanner::kMaxStep - 1e-9);
        const int moved = ratio > 1 + 1e-9 ? 1 : ratio < 1 - 1e-9 ? -1 : 0;
        turns += moved != 0 && direction != 0 && moved != direction;
        direction = moved != 0 ? moved : direction;
        state = next;
    }
    EXPECT_EQ(turns, 0);
    if (row.reachable) {
        EXPECT_GT(luma, ExposurePlanner::kTargetLuma / ExposurePlanner::kBand);
        EXPECT_LT(luma, ExposurePlanner::kTargetLuma * ExposurePlanner::kBand);
    } else {
        EXPECT_NEAR(state.exposureTime, kFrame, 1e-12);
        EXPECT_NEAR(state.analogueGain, kBoth.maxGain, 1e-9);
    }
}

INSTANTIATE_TEST_SUITE_P(Planner, PlannerScene,
    ::testing::Values(SceneRow { "NightNeedsGain", 550, { 1e-4, 1 }, true },
        SceneRow { "DimNeedsExposureOnly", 6000, { 1e-4, 1 }, true },
        SceneRow { "DaylightFromFullAmplification", 1e6, { kFrame, 16 }, true },
        SceneRow { "TooDarkEndsAtBothLimits", 10, { 1e-3, 1 }, false }),
    [](const auto& row) { return std::string(row.param.name); });

TEST(CameraExposure, MeanLumaWeighsChannelsAndHonoursTheRowPitch)
{
    constexpr int kWidth = 32, kHeight = 16, kPitch = 4 * kWidth + 12;
    // Top half white, bottom half one pure colour; the row padding is white and must not count.
    const auto picture = [&](int channel) {
        std::vector<std::uint8_t> bytes(std::size_t(kPitch) * kHeight, 255);
        for (int y = kHeight / 2; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                std::uint8_t* pixel = &bytes[std::size_t(y) * kPitch + 4 * std::size_t(x)];
                std::fill(pixel, pixel + 3, 0);
                pixel[channel] = 255;
            }
        return bytes;
    };
    const double white = 255;
    const double weights[] = { 29 / 256.0, 150 / 256.0, 77 / 256.0 }; // b, g, r
    for (int channel = 0; channel < 3; ++channel) {
        const std::vector<std::uint8_t> bytes = picture(channel);
        EXPECT_NEAR(platform::CameraExposure::meanLuma(bytes.data(), kWidth, kHeight, kPitch),
            (white + 255 * weights[channel]) / 2, 0.01)
            << "channel " << channel;
    }
    const std::vector<std::uint8_t> bytes = picture(0);
    EXPECT_TRUE(std::isnan(platform::CameraExposure::meanLuma(bytes.data(), kWidth, kHeight, 4 * kWidth - 1)))
        << "a pitch shorter than a row is refused, not read past";
}

TEST(V4l2GainScale, RawValuesRoundTripAndUnityIsTheLowest)
{
    const platform::V4l2GainScale scales[] = { { 16, 255, 1 }, { 0, 255, 1 }, { 0, 240, 16 }, { 5, 5, 1 } };
    for (const auto& scale : scales) {
        SCOPED_TRACE(testing::Message() << scale.minimum << ".." << scale.maximum << " step " << scale.step);
        EXPECT_DOUBLE_EQ(scale.gain(scale.minimum), 1.0);
        for (std::int64_t v = scale.minimum; v <= scale.maximum; v += scale.step)
            ASSERT_EQ(scale.value(scale.gain(v)), v);
        EXPECT_EQ(scale.value(1e9), scale.maximum);
        EXPECT_EQ(scale.value(0.0), scale.minimum);
        EXPECT_EQ(scale.value(NAN), scale.minimum);
    }
    EXPECT_DOUBLE_EQ((platform::V4l2GainScale { 16, 256, 1 }.gain(32)), 2.0)
        << "a positive minimum is the unit";
    EXPECT_DOUBLE_EQ((platform::V4l2GainScale { 0, 255, 1 }.gain(255)), 16.0);
    EXPECT_EQ((platform::V4l2GainScale { 0, 240, 16 }.value(1.5)), 16) << "on the control's step";
}

TEST(V4l2Controls, OpenSaysWhyANodeIsUnusable)
{
    const auto missing = platform::V4l2Controls::open(QStringLiteral("/dev/no-such-video"));
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error(), QStringLiteral("cannot open /dev/no-such-video: No such file or directory"));
    const auto notVideo = platform::V4l2Controls::open(QStringLiteral("/dev/null"));
    ASSERT_FALSE(notVideo);
    EXPECT_EQ(notVideo.error(), QStringLiteral("/dev/null is not a V4L2 device"));
}

TEST(Iso, UnityIsIso100AndTheRangeFitsExif)
{
    EXPECT_EQ(platform::isoFor(1.0), 100);
    EXPECT_EQ(platform::isoFor(6.4), 640);
    EXPECT_EQ(platform::isoFor(1e6), 65535);
    EXPECT_EQ(platform::isoFor(NAN), 100);
}

} // namespace
