// Night mode through the frame pipeline: with it off every byte is what the enhancement alone
// makes; on, no trail behind what moves. Frames come from a session on a manual clock, one
// interval at a time. What it takes out of a still scene is measured through the program
// (tests/app-nightmode).

#include <cmath>
#include <cstring>
#include <vector>

#include "ScopeTestSupport.h"
#include "imaging/FrameEnhancer.h"
#include "platform/camera/SensorNoise.h"
#include "support/NoiseMeasure.h"
#include "support/TestNames.h"

using namespace scopetest;
namespace ColorFilter = imaging::ColorFilter;
namespace NightVisionMode = imaging::NightVisionMode;

namespace {

using testing_support::PrintTo;

// ---- Night mode off is exact ----

struct OffRow {
    const char* name;
    std::int32_t mode;
    std::int32_t level; // manual
    std::int32_t filter;
    float zoom;
};

class NightModeOff : public ::testing::TestWithParam<OffRow> { };

QImage noisyFrame(QSize size, int frameNumber)
{
    static const platform::SensorNoise noise(8, 0, 11);
    return noise.apply(flatFrame(size, 40), std::uint64_t(frameNumber));
}

// The frame enhanced directly, the way the pipeline does it for a preview without night mode.
QImage enhancedAlone(QImage frame, std::int32_t level, std::int32_t filter, std::int32_t radius, float zoom)
{
    const imaging::FrameWindow window = imaging::ScopeGeometry::previewWindow(
        std::size_t(frame.width()), std::size_t(frame.height()), radius, zoom);
    imaging::FrameEnhancer::enhance(frame.bits(), std::size_t(frame.bytesPerLine()), window, level, filter);
    return frame;
}

} // namespace

// Off from the start, and off after a while on: the frame's bytes are the enhancement's alone,
// nothing of the filter's average is left in them.
TEST_P(NightModeOff, LeavesExactlyTheEnhancementsBytes)
{
    const OffRow row = GetParam();
    for (const bool wasOn : { false, true }) {
        imaging::ScopeSettings settings;
        imaging::ScopeGeometry geometry;
        imaging::FramePipeline pipeline { settings, geometry };
        geometry.setScopeScreenScaledRadius(40);
        settings.setScopeNightVisionMode(row.mode);
        settings.setScopeNightVisionColorFilter(row.filter);
        settings.setZoom(row.zoom);
        int n = 0;
        settings.setNightMode(wasOn);
        for (; n < 6; ++n) {
            settings.setScopeNightVisionLevel(row.level);
            QImage frame = noisyFrame({ 160, 120 }, n);
            auto sample = platform::SampleBuffer::fromImage(frame);
            pipeline.quartzImageFromSampleBuffer(sample.value(), true);
        }
        settings.setNightMode(false);
        settings.setScopeNightVisionLevel(row.level);
        const std::int32_t level = imaging::ScopeSettings::levelForMode(
            row.mode, row.level, pipeline.scopeImageLevel(), settings.scopeNightVisionThread());
        const QImage frame = noisyFrame({ 160, 120 }, n);
        auto sample = platform::SampleBuffer::fromImage(frame);
        const QImage result = pipeline.quartzImageFromSampleBuffer(sample.value(), true);
        const QImage expected = enhancedAlone(frame, level, row.filter, 40, row.zoom);
        ASSERT_EQ(result.size(), expected.size());
        for (int y = 0; y < expected.height(); ++y)
            ASSERT_EQ(std::memcmp(result.constScanLine(y), expected.constScanLine(y),
                          std::size_t(4 * expected.width())),
                0)
                << "row " << y << (wasOn ? " after night mode was on" : "");
    }
}

INSTANTIATE_TEST_SUITE_P(Settings, NightModeOff,
    ::testing::Values(OffRow { "AutoRgb", NightVisionMode::Auto, 0, ColorFilter::None, 0.0f },
        OffRow { "ManualGreenZoomed", NightVisionMode::Manual, 40, ColorFilter::Green, 0.5f },
        OffRow { "ManualGrey", NightVisionMode::Manual, 8, ColorFilter::Grey, 0.0f },
        OffRow { "EnhancementOff", NightVisionMode::Off, 0, ColorFilter::None, 0.0f }),
    [](const auto& row) { return std::string(row.param.name); });

namespace {

// ---- Night mode on, frames from a session ----

// The scope on a scripted camera without the timer thread, its enhancement as given.
struct NightScope : SteppedScope {
    NightScope(
        ScriptedCamera scripted, bool nightMode, std::int32_t mode, std::int32_t level, std::int32_t radius)
        : SteppedScope(std::move(scripted))
    {
        scope.settings.setScopeNightVisionMode(mode);
        scope.settings.setScopeNightVisionLevel(level);
        scope.settings.setNightMode(nightMode);
        scope.geometry.setScopeScreenScaledRadius(radius);
        scope.setupScopeGeometry();
        scope.setupCaptureSessionVideo();
    }

    // The scope picture of the frame `seconds` of session time later (50 ms a frame), each
    // frame's picture taken out of the slot so the next is processed.
    std::unique_ptr<imaging::ScopeImage> run(double seconds)
    {
        settle(); // the first frame comes as the session starts
        std::unique_ptr<imaging::ScopeImage> last = scope.qImage().take();
        for (long i = 0; i < std::lround(seconds * 20); ++i) {
            step();
            if (auto image = scope.qImage().take())
                last = std::move(image);
        }
        return last;
    }
};

// A bright square moving right over a flat grey background, with sensor noise on every frame.
constexpr int kSquare = 24;
constexpr int kStep = 6; // frame pixels a frame
constexpr int kBackground = 60;
constexpr int kSquareLevel = 140;
QPoint squareAt(int frameNumber)
{
    return { 200 + kStep * frameNumber, 228 };
}
QImage movingSquare(QSize size, int frameNumber)
{
    static const platform::SensorNoise noise(8, 0, 5);
    QImage frame = flatFrame(size, kBackground);
    const QPoint at = squareAt(frameNumber);
    for (int y = at.y(); y < at.y() + kSquare; ++y)
        for (int x = at.x(); x < at.x() + kSquare; ++x)
            frame.setPixel(x, y, qRgb(kSquareLevel, kSquareLevel, kSquareLevel));
    return noise.apply(frame, std::uint64_t(frameNumber));
}

} // namespace

// Filtered strongly where the scene is still, the square is shown in full where it is now and
// nothing of it is left where it was one or two frames ago.
TEST(NightModeOn, LeavesNoTrailBehindAMovingSquare)
{
    NightScope stepped(ScriptedCamera(std::make_shared<PatternSource>(movingSquare, QSize(640, 480))), true,
        NightVisionMode::Off, 0, 133);
    const auto image = stepped.run(1.0); // 21 frames: the square has moved 120 pixels
    ASSERT_NE(image, nullptr);
    const int shown = 20;
    // A frame rectangle in the scope picture's pixels, shrunk by 2 so edges do not count.
    auto inPicture = [&](QPoint frameCorner, int side) {
        return QRect(frameCorner - image->origin, QSize(side, side)).adjusted(2, 2, -2, -2);
    };
    const QRect now = inPicture(squareAt(shown), kSquare);
    ASSERT_TRUE(image->pixels.rect().contains(now));
    EXPECT_NEAR(testing_noise::meanGreen(image->pixels, now), kSquareLevel, 3.0) << "shown in full";
    for (const int back : { 1, 2 }) {
        // Where it was and is no more: the strip of the old square left of the new one.
        const QPoint was = squareAt(shown - back) - image->origin;
        const QRect left(was + QPoint(1, 2), QSize(back * kStep - 2, kSquare - 4));
        EXPECT_NEAR(testing_noise::meanGreen(image->pixels, left), kBackground, 4.0)
            << back << " frame(s) ago";
    }
    const QRect still = inPicture(QPoint(200, 300), 40);
    const QImage flat = flatFrame(image->pixels.size(), kBackground);
    EXPECT_LT(testing_noise::differenceSigma(image->pixels, flat, still), 0.4 * 8)
        << "the background is filtered";
}
