#include "imaging/BurstAligner.h"
#include "imaging/BurstMerger.h"

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include "platform/camera/SensorNoise.h"
#include "support/NoiseMeasure.h"
#include "support/TestNames.h"

namespace {

using testing_support::PrintTo;

using imaging::BurstAligner;
using imaging::BurstMerger;
using imaging::FrameEnhancer;
using imaging::KernelPath;
using testing_noise::differenceSigma;
using testing_support::caseName;

// A dim scene with shapes of several sizes, so both coarse and fine levels have edges to match,
// kept away from 0 and 255 so noise is not clipped.
QImage scene(QSize size = { 480, 360 })
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(qRgb(40, 45, 50));
    QPainter painter(&image);
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 40; ++i) {
        const int x = (i * 97) % size.width(), y = (i * 61 + i * i * 7) % size.height();
        const int side = 6 + (i * 13) % 50;
        painter.setBrush(QColor(60 + (i * 37) % 140, 60 + (i * 53) % 140, 60 + (i * 71) % 140));
        painter.drawEllipse(QRect(x, y, side, side * 2 / 3));
    }
    return image;
}

double meanAbsoluteDifference(const QImage& a, const QImage& b, QRect area)
{
    double sum = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            sum += std::abs(qGreen(a.pixel(x, y)) - qGreen(b.pixel(x, y)));
    return sum / (double(area.width()) * area.height());
}

std::vector<KernelPath> supportedPaths()
{
    std::vector<KernelPath> paths;
    for (KernelPath path : { KernelPath::Portable, KernelPath::Sse41, KernelPath::Avx2 })
        if (BurstMerger::isSupported(path))
            paths.push_back(path);
    return paths;
}

// Bursts shaken by up to half the largest shift each way, so frames lie up to the largest shift
// from the first, on a picture whose width and height leave a remainder after every vector step:
// every path finds the shake, frame by frame.
class BurstAlignerShake : public ::testing::TestWithParam<std::tuple<KernelPath, int /*seed*/>> { };

TEST_P(BurstAlignerShake, FindsEveryFramesShake)
{
    const auto& [path, seed] = GetParam();
    const platform::SensorNoise noise(8, 8, std::uint64_t(seed));
    const QImage clean = scene({ 421, 317 });
    BurstAligner aligner(16, path);
    aligner.setReference(noise.apply(clean, 0));
    for (std::uint64_t f = 1; f < 8; ++f)
        EXPECT_EQ(aligner.offsetOf(noise.apply(clean, f)), noise.shakeOffset(f) - noise.shakeOffset(0))
            << "frame " << f;
}

INSTANTIATE_TEST_SUITE_P(Bursts, BurstAlignerShake,
    ::testing::Combine(::testing::ValuesIn(supportedPaths()), ::testing::Values(1, 7)), [](const auto& row) {
        return caseName(FrameEnhancer::name(std::get<0>(row.param))) + "_seed"
            + std::to_string(std::get<1>(row.param));
    });

// Stacking a shaken noisy burst (alignment, noise left, no ghost of a bright passer-by) is checked
// end to end by the enhance tool's test (tests/tools).

struct GhostCase {
    const char* name;
    int frame; // the frame the object is in
    QRgb colour;
};

class BurstMergerGhost : public ::testing::TestWithParam<GhostCase> { };

TEST_P(BurstMergerGhost, ObjectInOneFrameOfEightLeavesNoGhost)
{
    const QImage clean = scene();
    const platform::SensorNoise noise(8, 0, 33);
    const QRect object(200, 150, 60, 40);
    std::vector<QImage> burst;
    for (int f = 0; f < 8; ++f) {
        QImage frame = clean.copy();
        if (f == GetParam().frame) {
            QPainter painter(&frame);
            painter.fillRect(object, QColor::fromRgb(GetParam().colour));
        }
        burst.push_back(noise.apply(frame, std::uint64_t(f)));
    }
    const QImage merged = BurstMerger::merge(burst);
    // Without rejection the object would show at 1/8 of its contrast, 10 levels or more.
    EXPECT_LT(meanAbsoluteDifference(merged, clean, object), 2.5);
    EXPECT_LT(differenceSigma(merged, clean, object), 0.45 * 8);
}

INSTANTIATE_TEST_SUITE_P(Objects, BurstMergerGhost,
    ::testing::Values(GhostCase { "brightInLastFrame", 7, qRgb(230, 220, 210) },
        GhostCase { "darkInMiddleFrame", 4, qRgb(0, 0, 0) }),
    [](const ::testing::TestParamInfo<GhostCase>& row) { return std::string(row.param.name); });

TEST(BurstMerger, RefusesWhatItCannotMergeAndKeepsTheFirstFramesAlpha)
{
    EXPECT_TRUE(BurstMerger::merge({}).isNull());
    const QImage a = scene({ 64, 48 });
    EXPECT_TRUE(BurstMerger::merge({ a, scene({ 64, 47 }) }).isNull()) << "mixed sizes";
    EXPECT_TRUE(BurstMerger::merge(std::vector<QImage>(BurstMerger::kMaxFrames + 1, a)).isNull());
    EXPECT_EQ(BurstMerger::merge({ a }), a);
    EXPECT_EQ(BurstMerger::merge({ a, a, a }), a) << "identical frames merge to themselves";

    // Two frames: the rounded mean, an RGB32 input taken as opaque BGRA.
    QImage dark(8, 8, QImage::Format_RGB32), light(8, 8, QImage::Format_RGB32);
    dark.fill(qRgb(10, 20, 30));
    light.fill(qRgb(13, 20, 31));
    const QImage mean = BurstMerger::merge({ dark, light });
    EXPECT_EQ(mean.pixel(3, 3), qRgb(12, 20, 31)) << "11.5 and 30.5 round up";
}

} // namespace
