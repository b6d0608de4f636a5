#include "platform/camera/SensorNoise.h"

#include <cmath>

#include <QImage>

#include <gtest/gtest.h>

namespace {

using platform::SensorNoise;

QImage flat(int value, QSize size = { 640, 480 })
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(qRgb(value, value, value));
    return image;
}

TEST(SensorNoise, FramesAreReproducibleAndIndependentOfEachOther)
{
    const SensorNoise noise(8, 3, 42);
    const QImage picture = flat(100);
    const QImage first = noise.apply(picture, 10);
    EXPECT_EQ(first, SensorNoise(8, 3, 42).apply(picture, 10)) << "a frame depends only on seed and number";
    EXPECT_NE(first, noise.apply(picture, 11));
    EXPECT_NE(first, SensorNoise(8, 3, 43).apply(picture, 10));

    // Noise of consecutive frames is uncorrelated: averaging N frames divides the spread by sqrt(N).
    std::vector<double> sum(std::size_t(picture.width()) * picture.height(), 0.0);
    constexpr int kFrames = 8;
    const SensorNoise still(8, 0, 42);
    for (int f = 0; f < kFrames; ++f) {
        const QImage frame = still.apply(picture, std::uint64_t(f));
        for (int y = 0; y < frame.height(); ++y)
            for (int x = 0; x < frame.width(); ++x)
                sum[std::size_t(y) * frame.width() + x] += frame.constScanLine(y)[4 * x + 1];
    }
    double sq = 0;
    for (double v : sum)
        sq += (v / kFrames - 100) * (v / kFrames - 100);
    EXPECT_NEAR(std::sqrt(sq / double(sum.size())), 8 / std::sqrt(double(kFrames)), 0.15);
}

TEST(SensorNoise, NothingToAddLeavesThePixelsExactly)
{
    const QImage picture = flat(90, { 97, 61 });
    const SensorNoise none(0, 0, 1);
    EXPECT_TRUE(none.isIdentity());
    const QImage out = none.apply(picture, 9);
    EXPECT_EQ(out.constBits(), picture.constBits()) << "shared, not copied";

    // Saturated pixels stay in range; clamping keeps 0 and 255 reachable but never wraps.
    const SensorNoise loud(SensorNoise::kMaxSigma + 10, 0, 1);
    EXPECT_EQ(loud.sigma(), SensorNoise::kMaxSigma);
    const QImage dark = loud.apply(flat(0, { 200, 200 }), 1);
    double sum = 0;
    for (int y = 0; y < dark.height(); ++y)
        for (int x = 0; x < dark.width(); ++x)
            sum += qBlue(dark.pixel(x, y));
    EXPECT_GT(sum / (200 * 200), 20.0) << "negative deviations clamp at 0, they do not wrap to bright";
}

} // namespace
