#include "ScreenDiff.h"

#include <QPainter>

#include <gtest/gtest.h>

namespace {

// A grey screen of 80x64 points with a dark 24x16 button at (x, y) and, below, a label drawn
// as one-pixel strokes every other pixel (as dense as small text gets), at scale 2.
QImage screen(int x, int y, int labelShift = 0)
{
    QImage image(160, 128, QImage::Format_RGB32);
    image.fill(QColor(120, 120, 120));
    QPainter painter(&image);
    painter.fillRect(QRectF(x * 2, y * 2, 48, 32), QColor(20, 30, 40));
    for (int stroke = 16 + labelShift; stroke < 64; stroke += 2)
        painter.fillRect(QRectF(stroke, 96, 1, 16), Qt::white);
    return image;
}

} // namespace

TEST(ScreenDiff, TellsAMovedControlFromRenderingNoise)
{
    const QImage baseline = screen(16, 16);
    EXPECT_TRUE(screens::compareScreens(baseline, screen(16, 16), 2).identical());

    // The button 20 points further right: where it was and where it is now are layout.
    const auto moved = screens::compareScreens(baseline, screen(36, 16), 2);
    EXPECT_FALSE(moved.sameLayout());
    const auto found = screens::regions(moved);
    ASSERT_EQ(found.size(), 1u); // the old and the new place touch
    EXPECT_TRUE(found[0].layout);
    EXPECT_EQ(found[0].pixels, QRect(32, 32, 96, 32));
    EXPECT_EQ(screens::drawDiff(screen(36, 16), moved).pixel(32, 32), qRgb(255, 0, 0));

    // The label's strokes one pixel to the side, as another rasteriser places glyphs: every
    // stroke pixel differs, but a neighbour explains each.
    const auto nudged = screens::compareScreens(baseline, screen(16, 16, 1), 2);
    EXPECT_TRUE(nudged.sameLayout());
    EXPECT_EQ(nudged.renderingCells, 3);

    // A few stray pixels in three cells.
    QImage speckled = baseline;
    for (const QPoint at : { QPoint(2, 2), QPoint(3, 2), QPoint(100, 10), QPoint(150, 120) })
        speckled.setPixel(at, qRgb(255, 255, 255));
    const auto specks = screens::compareScreens(baseline, speckled, 2);
    EXPECT_TRUE(specks.sameLayout());
    EXPECT_EQ(specks.renderingCells, 3);

    EXPECT_FALSE(screens::compareScreens(baseline, baseline.scaled(200, 128), 2).sameLayout());
}
