#include "platform/camera/SensorNoise.h"

#include <cmath>
#include <string>

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

// A picture with a distinct value at every pixel, so any shift shows.
QImage ramp(QSize size = { 97, 61 })
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb(x, y, (x * 3 + y) & 255));
    return image;
}

struct ChannelStats {
    double mean[3] {};
    double sigma[3] {};
    double correlationBG { 0 };
};

ChannelStats stats(const QImage& noisy, int base)
{
    double sum[3] {}, sumSq[3] {}, sumBG = 0;
    const double n = double(noisy.width()) * noisy.height();
    for (int y = 0; y < noisy.height(); ++y) {
        const uchar* row = noisy.constScanLine(y);
        for (int x = 0; x < noisy.width(); ++x) {
            double d[3];
            for (int c = 0; c < 3; ++c) {
                d[c] = double(row[4 * x + c]) - base;
                sum[c] += d[c];
                sumSq[c] += d[c] * d[c];
            }
            sumBG += d[0] * d[1];
        }
    }
    ChannelStats s;
    for (int c = 0; c < 3; ++c) {
        s.mean[c] = sum[c] / n;
        s.sigma[c] = std::sqrt(sumSq[c] / n - s.mean[c] * s.mean[c]);
    }
    s.correlationBG = (sumBG / n - s.mean[0] * s.mean[1]) / (s.sigma[0] * s.sigma[1]);
    return s;
}

class SensorNoiseSigma : public ::testing::TestWithParam<int> { };

TEST_P(SensorNoiseSigma, IsZeroMeanIndependentPerChannelAndHasTheAskedSpread)
{
    const int sigma = GetParam();
    const SensorNoise noise(sigma, 0, 7);
    const QImage noisy = noise.apply(flat(128), 3);
    const ChannelStats s = stats(noisy, 128);
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(s.sigma[c], sigma, 0.03 * sigma + 0.3) << "channel " << c;
        EXPECT_NEAR(s.mean[c], 0.0, 0.02 * sigma + 0.05) << "channel " << c;
    }
    EXPECT_LT(std::abs(s.correlationBG), 0.02);
    for (int y = 0; y < noisy.height(); y += 7)
        for (int x = 0; x < noisy.width(); x += 5)
            ASSERT_EQ(qAlpha(noisy.pixel(x, y)), 255);
}

INSTANTIATE_TEST_SUITE_P(Levels, SensorNoiseSigma, ::testing::Values(1, 8, 32),
    [](const ::testing::TestParamInfo<int>& row) { return "sigma" + std::to_string(row.param); });

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

TEST(SensorNoise, ShakeMovesThePictureWithinTheLimitAndRepeatsTheBorder)
{
    const QImage picture = ramp();
    const SensorNoise shake(0, 3, 5);
    int moved = 0;
    for (std::uint64_t f = 0; f < 40; ++f) {
        const QPoint d = shake.shakeOffset(f);
        ASSERT_LE(std::abs(d.x()), 3);
        ASSERT_LE(std::abs(d.y()), 3);
        moved += d != QPoint();
        const QImage frame = shake.apply(picture, f);
        ASSERT_EQ(frame.size(), picture.size());
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x) {
                const int sx = std::clamp(x - d.x(), 0, picture.width() - 1);
                const int sy = std::clamp(y - d.y(), 0, picture.height() - 1);
                ASSERT_EQ(frame.pixel(x, y), picture.pixel(sx, sy)) << x << "," << y << " frame " << f;
            }
    }
    EXPECT_GT(moved, 30);
}

TEST(SensorNoise, NothingToAddLeavesThePixelsExactly)
{
    const QImage picture = ramp();
    const SensorNoise none(0, 0, 1);
    EXPECT_TRUE(none.isIdentity());
    const QImage out = none.apply(picture, 9);
    EXPECT_EQ(out.constBits(), picture.constBits()) << "shared, not copied";

    // Saturated pixels stay in range; clamping keeps 0 and 255 reachable but never wraps.
    const SensorNoise loud(SensorNoise::kMaxSigma + 10, 0, 1);
    EXPECT_EQ(loud.sigma(), SensorNoise::kMaxSigma);
    const ChannelStats dark = stats(loud.apply(flat(0, { 200, 200 }), 1), 0);
    EXPECT_GT(dark.mean[0], 20.0) << "negative deviations clamp at 0, they do not wrap to bright";
}

} // namespace
