#include "platform/camera/SyntheticScene.h"

#include <gtest/gtest.h>

#include "CameraTestSupport.h"

using platform::renderSyntheticScene;

TEST(SyntheticScene, IsAnOpaqueFrameDeterministicForASeedAndTimeAndChangesWithEither)
{
    const QSize size(480, 360);
    const QImage first = renderSyntheticScene(7, 3.25, size, false);
    // A renderer reused across other sizes and states still gives the same pixels.
    platform::SyntheticScene reused(7);
    reused.render(1.0, QSize(192, 144), true);
    reused.render(9.0, size, false);
    EXPECT_EQ(first, reused.render(3.25, size, false));
    EXPECT_EQ(first, renderSyntheticScene(7, 3.25, size, false));
    // Frame after frame, as a stream renders it (the car and the cloud moving, wrapping around at
    // the edges), every frame is the one a fresh renderer gives.
    for (double t = 38.0; t < 44.0; t += 0.35)
        ASSERT_EQ(reused.render(t, size, false), renderSyntheticScene(7, t, size, false))
            << "at " << t << " s";

    EXPECT_NE(first, renderSyntheticScene(8, 3.25, size, false));
    EXPECT_NE(first, renderSyntheticScene(7, 3.30, size, false));

    // An opaque BGRA frame of the asked size; no size, no frame.
    ASSERT_EQ(first.size(), size);
    EXPECT_EQ(first.format(), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < first.height(); ++y)
        for (int x = 0; x < first.width(); ++x)
            ASSERT_EQ(first.constScanLine(y)[4 * x + 3], 255) << x << "," << y;
    EXPECT_TRUE(renderSyntheticScene(1, 0.0, QSize(0, 10), false).isNull());
}

TEST(SyntheticScene, HasStructureNoiseAndSlowMovement)
{
    const QSize size(480, 360);
    const QImage a = renderSyntheticScene(5, 10.0, size, false);
    const QImage b = renderSyntheticScene(5, 10.05, size, false);
    const QImage later = renderSyntheticScene(5, 14.0, size, false);

    // Noise: consecutive frames differ almost everywhere, but only a little.
    int changed = 0;
    double sumAbs = 0;
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width() * 4; ++x) {
            const int d = int(a.constScanLine(y)[x]) - int(b.constScanLine(y)[x]);
            changed += d != 0;
            sumAbs += std::abs(d);
        }
    }
    const double pixelsBytes = size.width() * size.height() * 3.0;
    EXPECT_GT(changed, pixelsBytes * 0.5);
    EXPECT_LT(sumAbs / pixelsBytes, 12.0);

    // Structure: a bright spot and a real spread of levels, not a flat fill.
    int brightest = 0;
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            brightest = std::max(brightest, int(qGray(a.pixel(x, y))));
    EXPECT_GT(brightest, 150);

    // Movement: seconds later the road (the car has driven into view) differs far more than noise
    // alone explains. The frame holds the upright scene turned a quarter counter-clockwise, so the
    // road, a horizontal band four fifths down the upright picture, is a band of frame columns.
    auto roadDifference = [&](const QImage& other) {
        double sum = 0;
        for (int y = 0; y < size.height(); ++y)
            for (int x = size.width() * 78 / 100; x < size.width() * 86 / 100; ++x)
                sum += std::abs(qGray(a.pixel(x, y)) - qGray(other.pixel(x, y)));
        return sum;
    };
    EXPECT_GT(roadDifference(later), roadDifference(b) * 1.5);
}
