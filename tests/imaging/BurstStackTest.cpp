#include "imaging/BurstAligner.h"
#include "imaging/BurstMerger.h"

#include <cmath>
#include <vector>

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include "platform/camera/SensorNoise.h"
#include "support/NoiseMeasure.h"

namespace {

using imaging::BurstAligner;
using imaging::BurstMerger;
using testing_noise::differenceSigma;

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

// A burst shaken by up to half the largest shift each way, so frames lie up to the largest shift
// from the first, on a picture whose width and height leave a remainder after every vector step:
// the aligner finds the shake, frame by frame. (Its sums are the same on every instruction set:
// the kernel test.)
TEST(BurstAligner, FindsEveryFramesShake)
{
    const platform::SensorNoise noise(8, 8, 7);
    const QImage clean = scene({ 421, 317 });
    BurstAligner aligner(16);
    aligner.setReference(noise.apply(clean, 0));
    for (std::uint64_t f = 1; f < 8; ++f)
        EXPECT_EQ(aligner.offsetOf(noise.apply(clean, f)), noise.shakeOffset(f) - noise.shakeOffset(0))
            << "frame " << f;
}

// Stacking a shaken noisy burst (alignment, noise left, no ghost of a bright passer-by) is checked
// end to end by the enhance tool's test (tests/tools).

// A dark object in one frame of eight is rejected; the bright passer-by is the enhance tool's.
TEST(BurstMerger, ObjectInOneFrameOfEightLeavesNoGhost)
{
    const QImage clean = scene();
    const platform::SensorNoise noise(8, 0, 33);
    const QRect object(200, 150, 60, 40);
    std::vector<QImage> burst;
    for (int f = 0; f < 8; ++f) {
        QImage frame = clean.copy();
        if (f == 4)
            QPainter(&frame).fillRect(object, Qt::black);
        burst.push_back(noise.apply(frame, std::uint64_t(f)));
    }
    const QImage merged = BurstMerger::merge(burst);
    // Without rejection the object would show at 1/8 of its contrast, 10 levels or more.
    EXPECT_LT(meanAbsoluteDifference(merged, clean, object), 2.5);
    EXPECT_LT(differenceSigma(merged, clean, object), 0.45 * 8);
}

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
