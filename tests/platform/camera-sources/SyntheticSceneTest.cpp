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
