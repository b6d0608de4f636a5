#include "imaging/GraphicsContext.h"

#include <cmath>
#include <numbers>
#include <utility>
#include <vector>

#include <QFontInfo>
#include <QPainter>

#include <gtest/gtest.h>

#include "imaging/NamedColor.h"

using imaging::GraphicsContext;
using imaging::NamedColor;

namespace {

constexpr double kPi = std::numbers::pi;

bool inked(const QImage& image, int x, int y)
{
    return qAlpha(image.pixel(x, y)) > 64;
}

// The smallest rectangle holding every inked pixel.
QRect inkBounds(const QImage& image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (inked(image, x, y))
                box |= QRect(x, y, 1, 1);
    return box;
}

// Draws into a transparent width × height canvas through a top-left, y-down context.
template <typename Draw> QImage drawTopLeft(int width, int height, Draw draw)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    GraphicsContext context(painter);
    draw(context);
    return image;
}

// The y-up user space the drawing code sets up inside a layer: flip within `height`.
void flip(GraphicsContext& context, qreal height)
{
    context.concatCTM(QTransform(1, 0, 0, -1, 0, height));
}

QImage strokeArc(bool flipped, qreal start, qreal end, bool clockwise)
{
    return drawTopLeft(40, 40, [&](GraphicsContext& c) {
        if (flipped)
            flip(c, 40);
        c.setLineWidth(3);
        c.setStrokeColor(NamedColor::red());
        c.beginPath();
        c.addArc(20, 20, 15, start, end, clockwise);
        c.strokePath();
    });
}

} // namespace

// Arcs: the clockwise flag is read in user space. Quadrant midpoints on screen of a circle of
// radius 15 about (20, 20) are inked or left blank.
TEST(GraphicsContextArc, LandsWhereTheUserSpaceDirectionSays)
{
    const QPoint lowerRight { 30, 30 }, upperRight { 30, 9 }, upperLeft { 9, 9 }, lowerLeft { 9, 30 };
    const struct {
        bool flipped;
        double start, end;
        bool clockwise;
        std::vector<QPoint> inked, blank;
    } rows[] = {
        // -90° to 0° counter-clockwise in a flipped (y-up) space: below the 3 o'clock point.
        { true, -kPi / 2, 0, false, { lowerRight }, { upperRight, upperLeft, lowerLeft } },
        // The same call in the plain y-down space runs the other way on screen.
        { false, -kPi / 2, 0, false, { upperRight }, { lowerRight, upperLeft, lowerLeft } },
        { true, -kPi / 2, 0, true, { upperRight, upperLeft, lowerLeft }, { lowerRight } },
        // 2π in single precision is a full circle (the channel gauges at full scale).
        { true, 0, 6.2831855f, false, { lowerRight, upperRight, upperLeft, lowerLeft }, {} },
    };
    for (const auto& arc : rows) {
        SCOPED_TRACE(testing::Message() << (arc.flipped ? "y-up " : "y-down ") << arc.start << " to "
                                        << arc.end << (arc.clockwise ? " clockwise" : ""));
        const QImage image = strokeArc(arc.flipped, arc.start, arc.end, arc.clockwise);
        for (const QPoint& p : arc.inked)
            EXPECT_TRUE(inked(image, p.x(), p.y())) << p.x() << "," << p.y();
        for (const QPoint& p : arc.blank)
            EXPECT_FALSE(inked(image, p.x(), p.y())) << p.x() << "," << p.y();
    }
}

// A dash pattern starts `phase` units in, wrapping past its length; a negative length is no
// pattern at all. The painted runs [start, end) along a 40-point line:
TEST(GraphicsContextDash, PatternStartsPhaseUnitsIn)
{
    using Runs = std::vector<std::pair<int, int>>;
    const struct {
        qreal phase;
        std::vector<qreal> lengths;
        Runs runs;
    } rows[] = {
        { 2, { 10, 10 }, { { 0, 8 }, { 18, 28 }, { 38, 40 } } },
        { 22, { 10, 10 }, { { 0, 8 }, { 18, 28 }, { 38, 40 } } },
        { 0, { 5, -5 }, { { 0, 40 } } },
    };
    for (const auto& dash : rows) {
        const QImage image = drawTopLeft(40, 10, [&](GraphicsContext& c) {
            c.setLineWidth(2);
            c.setLineDash(dash.phase, dash.lengths);
            c.beginPath();
            c.moveTo(0, 5);
            c.addLineTo(40, 5);
            c.strokePath();
        });
        Runs runs;
        for (int x = 0; x < image.width(); ++x) {
            if (!inked(image, x, 4))
                continue;
            if (!runs.empty() && runs.back().second == x)
                runs.back().second = x + 1;
            else
                runs.emplace_back(x, x + 1);
        }
        EXPECT_EQ(runs, dash.runs) << "phase " << dash.phase;
    }
}

// --- Text -------------------------------------------------------------------------------------

// The scope's font resolves to a bold monospaced one; flipped text is upright.
TEST(GraphicsContextText, ScopeFontIsBoldMonospacedAndFlippedTextIsUpright)
{
    const QFontInfo info(GraphicsContext::resolveFont(QStringLiteral("CourierNewPS-BoldMT")));
    EXPECT_TRUE(info.fixedPitch());
    EXPECT_TRUE(info.bold());
    auto text = [](bool flipped) {
        return drawTopLeft(40, 40, [&](GraphicsContext& c) {
            c.selectFont(QStringLiteral("CourierNewPS-BoldMT"), 24);
            c.setFillColor(NamedColor::red());
            if (flipped) {
                flip(c, 40);
                c.showTextAtPoint(5, 10, QStringLiteral("L")); // baseline at device y 30
            } else {
                c.showTextAtPoint(5, 30, QStringLiteral("L"));
            }
        });
    };
    const QImage upright = text(false);
    const QImage flipped = text(true);
    const QRect ink = inkBounds(flipped);
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_EQ(ink, inkBounds(upright));
    EXPECT_LE(ink.bottom(), 30); // above the baseline, not hanging below it
    EXPECT_GT(ink.height(), 10);

    // An upright "L": its foot (bottom row) is wider than the top of its stem.
    auto rowInk = [&](int y) {
        int count = 0;
        for (int x = ink.left(); x <= ink.right(); ++x)
            count += inked(flipped, x, y);
        return count;
    };
    EXPECT_GT(rowInk(ink.bottom()), 2 * rowInk(ink.top()));
    EXPECT_TRUE(inked(flipped, ink.left(), ink.top())); // stem on the left, not mirrored
}
