// Night mode through the frame pipeline: with it off every byte is what the enhancement alone
// makes. What it takes out of a still scene, and that it leaves no trail behind what moves, is
// measured through the program (tests/app-nightmode).

#include <cstring>

#include "ScopeTestSupport.h"
#include "imaging/FrameEnhancer.h"
#include "platform/camera/SensorNoise.h"

using namespace scopetest;
namespace ColorFilter = imaging::ColorFilter;
namespace NightVisionMode = imaging::NightVisionMode;

namespace {

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

// Off from the start, and off after a while on: the frame's bytes are the enhancement's alone
// (manual level, green tint, zoomed window), nothing of the filter's average is left in them.
TEST(NightModeOff, LeavesExactlyTheEnhancementsBytes)
{
    const struct {
        std::int32_t mode, level, filter;
        float zoom;
    } row { NightVisionMode::Manual, 40, ColorFilter::Green, 0.5f };
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
