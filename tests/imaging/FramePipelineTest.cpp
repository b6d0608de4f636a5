#include "imaging/FramePipeline.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include <QColorSpace>
#include <QStringList>

#include <gtest/gtest.h>

#include "imaging/ScopeGeometry.h"
#include "imaging/ScopeSettings.h"
#include "platform/camera/SampleBuffer.h"
#include "platform/camera/StreamVideoDataOutput.h"
#include "platform/camera/VideoConnection.h"
#include "support/LogCapture.h"
#include "support/TestNames.h"

namespace {

using imaging::FrameWindow;
using imaging::pixel;
using imaging::ScopeGeometry;
using imaging::ScopeSettings;
namespace ColorFilter = imaging::ColorFilter;
namespace NightVisionMode = imaging::NightVisionMode;
using testing_support::PrintTo;

// A BGRA frame in test-owned memory, with padded rows whose bytes are a known pattern.
struct Frame {
    std::size_t width, height, bytesPerRow;
    std::vector<std::uint8_t> bytes;

    Frame(std::size_t w, std::size_t h, pixel fill, std::size_t padding = 0)
        : width(w)
        , height(h)
        , bytesPerRow(4 * w + padding)
        , bytes(bytesPerRow * h, 0xEE)
    {
        for (std::size_t y = 0; y < h; ++y)
            for (std::size_t x = 0; x < w; ++x)
                at(x, y) = fill;
    }
    pixel& at(std::size_t x, std::size_t y)
    {
        return *reinterpret_cast<pixel*>(&bytes[y * bytesPerRow + 4 * x]);
    }
    platform::SampleBuffer sample()
    {
        auto sample = platform::SampleBuffer::fromMemory(bytes.data(), width, height, bytesPerRow);
        EXPECT_TRUE(sample);
        return std::move(*sample);
    }
};

TEST(ScopeSettingsLevel, AutomaticLevelFollowsTheThreshold)
{
    // mode, current level, measured level, threshold -> level
    struct Case {
        std::int32_t mode, current, imageLevel, threshold, expected;
    };
    const Case cases[] = {
        { 1, 5, 30, 100, 56 }, // worked example: gain 64 / 8
        { 1, 5, 90, 100, 8 }, // 0.9f × -80 rounds to exactly -72 in single precision
        { 1, 5, 100, 100, 0 }, // at the threshold
        { 1, 5, 0, 0, 0 }, // no threshold: never brightened, no division by zero
        { 0, 37, 0, 100, 0 }, // off forces 0
        { 9, 37, 0, 100, 37 }, // manual and unknown modes keep the level
    };
    for (const Case& c : cases)
        EXPECT_EQ(ScopeSettings::levelForMode(c.mode, c.current, c.imageLevel, c.threshold), c.expected)
            << "mode " << c.mode << " imageLevel " << c.imageLevel << " threshold " << c.threshold;
}

TEST(ScopeGeometryWindow, CentredOnIntegerHalvesAndClamped)
{
    EXPECT_EQ(
        ScopeGeometry::previewWindow(640, 481, 100, 0.0f), (FrameWindow { 220, 140, 420, 340 })); // cy = 240
    EXPECT_EQ(ScopeGeometry::previewWindow(640, 481, 100, 0.5f), (FrameWindow { 270, 190, 370, 290 }));
    EXPECT_EQ(
        ScopeGeometry::previewWindow(640, 480, 300, 0.0f), (FrameWindow { 20, 0, 620, 480 })); // clamped in y
    EXPECT_TRUE(ScopeGeometry::previewWindow(640, 480, 100, 1.0f).isEmpty());
    EXPECT_TRUE(ScopeGeometry::previewWindow(640, 480, -50, 0.0f).isEmpty());
}

// The pipeline with the settings and geometry it reads, set as a row says.
struct Pipeline {
    ScopeSettings settings;
    ScopeGeometry geometry;
    imaging::FramePipeline pipeline { settings, geometry };

    Pipeline(std::int32_t mode, std::int32_t level, std::int32_t filter, std::int32_t previousImageLevel,
        std::int32_t radius, float zoom)
    {
        settings.setScopeNightVisionMode(mode);
        settings.setScopeNightVisionLevel(level);
        settings.setScopeNightVisionColorFilter(filter);
        settings.setZoom(zoom);
        geometry.setScopeScreenScaledRadius(radius);
        pipeline.setScopeImageLevel(previousImageLevel);
    }
};

// The picture handed on holds the frame's processed bytes.
void expectImageHoldsTheFrame(const QImage& image, const Frame& frame)
{
    ASSERT_EQ(image.size(), QSize(int(frame.width), int(frame.height)));
    EXPECT_EQ(image.format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_TRUE(image.colorSpace().isValid());
    for (std::size_t y = 0; y < frame.height; ++y)
        EXPECT_EQ(
            std::memcmp(image.constScanLine(int(y)), &frame.bytes[y * frame.bytesPerRow], 4 * frame.width), 0)
            << "row " << y;
}

struct PreviewRow {
    const char* name;
    std::int32_t mode, level, filter, previousImageLevel, radius;
    float zoom;
    std::size_t width, height, padding;
    pixel fill, centre;
    QRect window; // the frame pixels measured and processed
    std::optional<pixel> processed; // what each pixel of the window becomes; none: unchanged
    std::int32_t usedLevel, measuredLevel;
    pixel light; // the window's mean, truncated
};

class FramePipelinePreview : public ::testing::TestWithParam<PreviewRow> { };

// A preview frame is measured and processed only in the scope's window, with the level its mode
// gives from the previous frame's measurement; row padding and the rest of the frame stay as
// they were.
TEST_P(FramePipelinePreview, MeasuresAndProcessesOnlyTheWindow)
{
    const PreviewRow& row = GetParam();
    Pipeline p(row.mode, row.level, row.filter, row.previousImageLevel, row.radius, row.zoom);
    Frame frame(row.width, row.height, row.fill, row.padding);
    frame.at(row.width / 2, row.height / 2) = row.centre;
    Frame expected = frame;
    if (row.processed)
        for (int y = row.window.top(); y <= row.window.bottom(); ++y)
            for (int x = row.window.left(); x <= row.window.right(); ++x)
                expected.at(std::size_t(x), std::size_t(y)) = *row.processed;
    auto sample = frame.sample();
    const QImage image = p.pipeline.quartzImageFromSampleBuffer(sample, true);

    EXPECT_EQ(p.settings.scopeNightVisionLevel(), row.usedLevel);
    EXPECT_EQ(frame.bytes, expected.bytes);
    EXPECT_EQ(p.pipeline.scopeImageLevel(), row.measuredLevel) << "measured before the tint";
    EXPECT_EQ(p.pipeline.imageLight(), row.light);
    expectImageHoldsTheFrame(image, frame);
}

const pixel kDim { 10, 20, 30, 255 };

INSTANTIATE_TEST_SUITE_P(Table, FramePipelinePreview,
    ::testing::Values(
        // Off forces level 0 and, with no tint, changes no byte; (16 × 10 + 4) / 16 truncates.
        PreviewRow { "OffUntinted", NightVisionMode::Off, 50, ColorFilter::None, 0, 2, 0.0f, 9, 7, 8, kDim,
            { 14, 24, 34, 255 }, QRect(2, 1, 4, 4), std::nullopt, 0, 60, { 10, 20, 30, 0 } },
        // A bright previous frame gives level 0; the zoom halves the window to a side of 4.
        PreviewRow { "AutoBrightGreenZoomed", NightVisionMode::Auto, 0, ColorFilter::Green, 500, 4, 0.5f, 10,
            8, 4, { 10, 20, 60, 128 }, { 10, 20, 60, 128 }, QRect(3, 2, 4, 4), pixel { 0, 30, 0, 128 }, 0, 90,
            { 10, 20, 60, 0 } },
        // A previous measurement of 90 gives level 8: gain 16 / 8.
        PreviewRow { "AutoDimGained", NightVisionMode::Auto, 0, ColorFilter::None, 90, 10, 0.0f, 10, 8, 0,
            { 10, 10, 10, 255 }, { 10, 10, 10, 255 }, QRect(0, 0, 10, 8), pixel { 20, 20, 20, 255 }, 8, 30,
            { 10, 10, 10, 0 } },
        // Full zoom leaves no window: nothing measured, nothing changed, the next level is bright.
        PreviewRow { "EmptyWindow", NightVisionMode::Manual, 40, ColorFilter::None, 300, 100, 1.0f, 16, 16, 0,
            { 50, 60, 70, 255 }, { 50, 60, 70, 255 }, QRect(), std::nullopt, 40, 0, {} }),
    [](const auto& row) { return std::string(row.param.name); });

// A still is processed whole at the level of the last preview's measurement and measures nothing;
// at level 0 it is handed on untouched, even with a tint chosen. (A dark still in auto mode, gained
// whole, is the enhance tool's test.)
TEST(FramePipelineStill, AtLevelZeroIsHandedOnUntouchedAndMeasuresNothing)
{
    Pipeline p(NightVisionMode::Off, 0, ColorFilter::Grey, 33, 1, 0.0f);
    Frame frame(6, 4, { 1, 2, 3, 255 }, 12);
    const Frame expected = frame;
    auto sample = frame.sample();
    testing_support::LogCapture log;
    const QImage image = p.pipeline.quartzImageFromSampleBuffer(sample, false);
    EXPECT_EQ(log.lines(), QStringList { "Just Take Picture!!!" });
    EXPECT_EQ(p.settings.scopeNightVisionLevel(), 0);
    EXPECT_EQ(frame.bytes, expected.bytes);
    EXPECT_EQ(p.pipeline.scopeImageLevel(), 33);
    EXPECT_EQ(p.pipeline.imageLight(), pixel {});
    expectImageHoldsTheFrame(image, frame);
}

// A sink keeping what it is given, or refusing everything.
struct KeptFrames final : imaging::VideoFrameSink {
    bool refuse { false };
    std::vector<std::vector<std::uint8_t>> frames;
    bool writeFrame(std::size_t width, std::size_t height, const Fill& fill) override
    {
        if (refuse)
            return false;
        frames.emplace_back(4 * width * height + 8, 0xAB); // tightly packed rows, a guard after
        fill(frames.back().data(), 4 * width);
        return true;
    }
};

// While recording, every frame goes whole to the sink, enhanced as a still of that moment (level
// 0 untouched, a night-mode frame filtered over time first), before the preview's window is
// processed in place and even when the preview drops the frame; a refusing sink counts drops.
TEST(FramePipelineRecording, EveryFrameGoesWholeEnhancedAsAStill)
{
    for (const auto& [level, nightMode] :
        { std::pair { 8, false }, { 0, false }, { 8, true }, { 0, true } }) {
        SCOPED_TRACE(testing::Message() << "level " << level << (nightMode ? " night" : ""));
        Pipeline p(NightVisionMode::Manual, level, ColorFilter::Green, 33, 2, 0.0f);
        p.settings.setNightMode(nightMode);
        auto sink = std::make_shared<KeptFrames>();
        p.pipeline.setVideoSink(sink);
        platform::StreamVideoDataOutput output;
        platform::VideoConnection connection;
        imaging::TemporalDenoiser reference;
        for (int i = 0; i < 3; ++i) {
            Frame frame(8, 6, { std::uint8_t(20 + 9 * i), 40, 60, 255 }, 8);
            frame.at(1, 1) = { 200, 10, 90, 255 };
            // The expected picture: the still's processing of an untouched copy; the guard after it.
            std::vector<std::uint8_t> expected(4 * 8 * 6 + 8, 0xAB);
            for (std::size_t y = 0; y < 6; ++y)
                std::memcpy(&expected[y * 32], &frame.bytes[y * frame.bytesPerRow], 32);
            const FrameWindow whole { 0, 0, 8, 6 };
            if (nightMode && level > 0)
                reference.filterAndEnhance(expected.data(), 32, whole, level, ColorFilter::Green);
            else if (nightMode)
                reference.filter(expected.data(), 32, whole);
            else if (level > 0)
                imaging::FrameEnhancer::enhance(expected.data(), 32, whole, level, ColorFilter::Green);
            if (i == 1)
                p.pipeline.qImage().fill(
                    std::make_unique<imaging::ScopeImage>()); // the preview drops this one
            auto sample = frame.sample();
            p.pipeline.captureOutput(output, sample, connection);
            ASSERT_EQ(sink->frames.size(), std::size_t(i + 1));
            EXPECT_EQ(sink->frames.back(), expected);
            p.pipeline.qImage().take();
        }
        sink->refuse = true;
        Frame frame(8, 6, { 1, 2, 3, 255 });
        auto sample = frame.sample();
        p.pipeline.captureOutput(output, sample, connection);
        EXPECT_EQ(p.pipeline.droppedVideoFrameCount(), 1u);
        p.pipeline.setVideoSink(nullptr);
        p.pipeline.captureOutput(output, sample, connection);
        EXPECT_EQ(sink->frames.size(), 3u) << "no frames once the sink is taken off";
    }
}

// Slider values that are no number or beyond the level's range give a level all the same.
TEST(ScopeSettingsChoosers, SliderValuesBecomeLevels)
{
    EXPECT_EQ(ScopeSettings::levelForSliderValue(12.9f), 12) << "truncated toward zero";
    EXPECT_EQ(ScopeSettings::levelForSliderValue(std::nanf("")), 0);
    EXPECT_EQ(ScopeSettings::levelForSliderValue(3e9f), std::numeric_limits<std::int32_t>::max());
}

} // namespace
