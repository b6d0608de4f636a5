#include "imaging/FramePipeline.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include <QColorSpace>
#include <QStringList>

#include <gtest/gtest.h>

#include "imaging/ScopeGeometry.h"
#include "imaging/ScopeSettings.h"
#include "platform/camera/SampleBuffer.h"
#include "platform/core/Log.h"

namespace {

using imaging::FrameWindow;
using imaging::pixel;
using imaging::ScopeGeometry;
using imaging::ScopeSettings;

// The pipeline with the settings and geometry it reads.
struct RecordingScope {
    ScopeSettings settings;
    ScopeGeometry geometry;
    imaging::FramePipeline pipeline { settings, geometry };

    void setScopeNightVisionMode(std::int32_t mode) { settings.setScopeNightVisionMode(mode); }
    void setScopeNightVisionLevel(std::int32_t level) { settings.setScopeNightVisionLevel(level); }
    void setScopeNightVisionColorFilter(std::int32_t filter)
    {
        settings.setScopeNightVisionColorFilter(filter);
    }
    void setScopeScreenScaledRadius(std::int32_t radius) { geometry.setScopeScreenScaledRadius(radius); }
    void setScopeImageLevel(std::int32_t level) { pipeline.setScopeImageLevel(level); }
    std::int32_t scopeNightVisionLevel() const { return settings.scopeNightVisionLevel(); }
    std::int32_t scopeImageLevel() const { return pipeline.scopeImageLevel(); }
    pixel imageLight() const { return pipeline.imageLight(); }
    QImage quartzImageFromSampleBuffer(platform::SampleBuffer& buffer, bool isPreview)
    {
        return pipeline.quartzImageFromSampleBuffer(buffer, isPreview);
    }
};

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

TEST(ScopeSettingsLevel, AutomaticLevelFollowsTheThreshold)
{
    // mode, current level, measured level, threshold -> level
    struct Case {
        std::int32_t mode, current, imageLevel, threshold, expected;
    };
    const Case cases[] = {
        { 1, 5, 0, 100, 80 }, // black
        { 1, 5, 50, 100, 40 }, // half the threshold
        { 1, 5, 30, 100, 56 }, // worked example: gain 64 / 8
        { 1, 5, 99, 100, 0 }, // trunc(0.8)
        { 1, 5, 100, 100, 0 }, // at the threshold
        { 1, 5, 700, 100, 0 }, { 1, 5, 1, 3, 53 }, // 1/3 in single precision: 53.333
        { 1, 5, 0, 0, 0 }, // no threshold: never brightened, no division by zero
        { 0, 37, 0, 100, 0 }, // off forces 0
        { -4, 37, 0, 100, 0 }, { 2, 37, 0, 100, 37 }, // manual keeps the level
        { 9, 37, 0, 100, 37 }, // unknown modes act like manual
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
    EXPECT_EQ(ScopeGeometry::previewWindow(11, 7, 1000, 0.0f), (FrameWindow { 0, 0, 11, 7 }));
    EXPECT_TRUE(ScopeGeometry::previewWindow(640, 480, 100, 1.0f).isEmpty());
    EXPECT_TRUE(ScopeGeometry::previewWindow(640, 480, 100, 3.0f).isEmpty()); // negative radius gives 0
    EXPECT_TRUE(ScopeGeometry::previewWindow(640, 480, -50, 0.0f).isEmpty());
}

TEST(FramePipelinePreview, MeasuresAndProcessesOnlyTheWindow)
{
    RecordingScope scope;
    scope.setScopeNightVisionMode(imaging::NightVisionMode::Off);
    scope.setScopeNightVisionColorFilter(imaging::ColorFilter::None);
    scope.setScopeNightVisionLevel(50);
    scope.setScopeScreenScaledRadius(2);
    Frame frame(9, 7, { 10, 20, 30, 255 }, 8);
    frame.at(4, 3) = { 14, 24, 34, 255 }; // centre pixel; window is x 2..5, y 1..4 (16 pixels)
    const std::vector<std::uint8_t> before = frame.bytes;
    auto sample = frame.sample();
    const QImage image = scope.quartzImageFromSampleBuffer(sample, true);

    EXPECT_EQ(scope.scopeNightVisionLevel(), 0) << "mode off forces the level";
    EXPECT_EQ(frame.bytes, before) << "mode off with no filter changes no byte";
    EXPECT_EQ(scope.imageLight(), (pixel { 10, 20, 30, 0 })); // (16 × 10 + 4) / 16 truncates
    EXPECT_EQ(scope.scopeImageLevel(), 60);
    ASSERT_EQ(image.size(), QSize(9, 7));
    EXPECT_EQ(image.format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(image.pixel(4, 3), qRgb(34, 24, 14));
    EXPECT_TRUE(image.colorSpace().isValid());
}

TEST(FramePipelinePreview, GreenFilterAtLevelZeroTintsOnlyTheWindowAndAutoUsesThePreviousMeasurement)
{
    RecordingScope scope; // automatic mode
    scope.setScopeNightVisionColorFilter(imaging::ColorFilter::Green);
    scope.setScopeImageLevel(500); // bright previous frame: level 0
    scope.setScopeScreenScaledRadius(4);
    scope.settings.setZoom(0.5f); // half-side 2
    Frame frame(10, 8, { 10, 20, 60, 128 }, 4);
    auto sample = frame.sample();
    const QImage image = scope.quartzImageFromSampleBuffer(sample, true);

    EXPECT_EQ(scope.scopeNightVisionLevel(), 0);
    for (std::size_t y = 0; y < 8; ++y) {
        for (std::size_t x = 0; x < 10; ++x) {
            const bool inside = x >= 3 && x < 7 && y >= 2 && y < 6;
            const pixel expected = inside ? pixel { 0, 30, 0, 128 } : pixel { 10, 20, 60, 128 };
            EXPECT_EQ(frame.at(x, y), expected) << x << "," << y;
        }
        for (std::size_t i = 40; i < frame.bytesPerRow; ++i)
            EXPECT_EQ(frame.bytes[y * frame.bytesPerRow + i], 0xEE) << "row padding untouched";
    }
    EXPECT_EQ(scope.scopeImageLevel(), 90) << "measured before the tint";
    EXPECT_EQ(image.pixel(3, 2), qRgba(0, 30, 0, 128))
        << "the result holds the processed, premultiplied bytes";

    // The next frame's level comes from this measurement: 90 < 100 gives 80 - 72 = 8 in single
    // precision (0.9f × -80 rounds to exactly -72).
    Frame next(10, 8, { 10, 10, 10, 255 });
    auto nextSample = next.sample();
    scope.setScopeNightVisionColorFilter(imaging::ColorFilter::None);
    scope.quartzImageFromSampleBuffer(nextSample, true);
    EXPECT_EQ(scope.scopeNightVisionLevel(), 8);
    EXPECT_EQ(next.at(5, 4), (pixel { 20, 20, 20, 255 })); // gain 16 / 8
}

TEST(FramePipelinePreview, EmptyWindowMeasuresZeroAndChangesNothing)
{
    RecordingScope scope;
    scope.setScopeNightVisionMode(imaging::NightVisionMode::Manual);
    scope.setScopeNightVisionLevel(40);
    scope.setScopeImageLevel(300);
    scope.setScopeScreenScaledRadius(100);
    scope.settings.setZoom(1.0f);
    Frame frame(16, 16, { 50, 60, 70, 255 });
    const std::vector<std::uint8_t> before = frame.bytes;
    auto sample = frame.sample();
    EXPECT_FALSE(scope.quartzImageFromSampleBuffer(sample, true).isNull());
    EXPECT_EQ(frame.bytes, before);
    EXPECT_EQ(scope.imageLight(), pixel {});
    EXPECT_EQ(scope.scopeImageLevel(), 0);
    EXPECT_EQ(ScopeSettings::levelForMode(1, 0, scope.scopeImageLevel(), 100), 80)
        << "the next automatic level";
}

TEST(FramePipelineStill, LevelZeroReturnsTheUntouchedFrameAndLogs)
{
    RecordingScope scope;
    scope.setScopeNightVisionMode(imaging::NightVisionMode::Off);
    scope.setScopeNightVisionColorFilter(imaging::ColorFilter::Grey);
    scope.setScopeImageLevel(33);
    Frame frame(5, 3, { 1, 2, 3, 255 }, 4);
    const std::vector<std::uint8_t> before = frame.bytes;
    auto sample = frame.sample();
    LogCapture log;
    const QImage image = scope.quartzImageFromSampleBuffer(sample, false);
    EXPECT_EQ(log.lines, QStringList { "Just Take Picture!!!" });
    EXPECT_EQ(frame.bytes, before) << "no gain and no tint";
    EXPECT_EQ(image.pixel(4, 2), qRgb(3, 2, 1));
    EXPECT_EQ(scope.scopeImageLevel(), 33) << "a still measures nothing";
}

TEST(FramePipelineStill, DarkSceneInAutoIsBrightenedWholeAndMeasuresNothing)
{
    RecordingScope scope; // automatic, the previous preview measured a dark scene
    scope.setScopeImageLevel(30);
    scope.setScopeScreenScaledRadius(1); // a still ignores the window
    Frame frame(6, 4, { 10, 20, 30, 200 }, 12);
    auto sample = frame.sample();
    LogCapture log;
    const QImage image = scope.quartzImageFromSampleBuffer(sample, false);
    EXPECT_TRUE(log.lines.isEmpty());
    EXPECT_EQ(scope.scopeNightVisionLevel(), 56);
    for (std::size_t y = 0; y < 4; ++y)
        for (std::size_t x = 0; x < 6; ++x)
            ASSERT_EQ(frame.at(x, y), (pixel { 80, 160, 240, 200 })) << "gain 64/8 everywhere";
    EXPECT_EQ(scope.scopeImageLevel(), 30);
    EXPECT_EQ(scope.imageLight(), pixel {});
    EXPECT_EQ(image.size(), QSize(6, 4));
}

TEST(ScopeSettingsChoosers, EnlightItemsAndSliderValues)
{
    EXPECT_EQ(ScopeSettings::modeForEnlightItem(0), imaging::NightVisionMode::Auto);
    EXPECT_EQ(ScopeSettings::modeForEnlightItem(1), imaging::NightVisionMode::Manual);
    EXPECT_EQ(ScopeSettings::modeForEnlightItem(2), imaging::NightVisionMode::Off);
    EXPECT_FALSE(ScopeSettings::modeForEnlightItem(7)) << "unknown item changes no setting";
    EXPECT_FALSE(ScopeSettings::modeForEnlightItem(-1));
    EXPECT_EQ(ScopeSettings::levelForSliderValue(12.9f), 12) << "truncated toward zero";
    EXPECT_EQ(ScopeSettings::levelForSliderValue(std::nanf("")), 0);
    EXPECT_EQ(ScopeSettings::levelForSliderValue(3e9f), std::numeric_limits<std::int32_t>::max());
}

TEST(FramePipelinePreview, GreyFilterTintsTheWindow)
{
    RecordingScope scope;
    scope.setScopeNightVisionColorFilter(imaging::ColorFilter::Grey);
    Frame frame(4, 4, { 30, 60, 90, 255 });
    auto sample = frame.sample();
    scope.setScopeNightVisionMode(imaging::NightVisionMode::Off);
    scope.setScopeScreenScaledRadius(10);
    scope.quartzImageFromSampleBuffer(sample, true);
    EXPECT_EQ(frame.at(0, 0), (pixel { 60, 60, 60, 255 }));
}

} // namespace
