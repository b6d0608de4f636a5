#include "platform/graphics/GraphicsContext.h"

#include <cmath>
#include <numbers>
#include <utility>
#include <vector>

#include <QFontInfo>
#include <QPainter>

#include <gtest/gtest.h>

#include "platform/graphics/NamedColor.h"
#include "support/TestNames.h"

using platform::GraphicsContext;
using platform::NamedColor;

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
    context.translateCTM(0, height);
    context.scaleCTM(1, -1);
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

// --- Arcs: the clockwise flag is read in user space -----------------------------------------

struct ArcCase {
    bool flipped;
    double start, end;
    bool clockwise;
    std::vector<QPoint> inked, blank; // screen pixels
};

class GraphicsContextArc : public ::testing::TestWithParam<ArcCase> { };

TEST_P(GraphicsContextArc, LandsWhereTheUserSpaceDirectionSays)
{
    const ArcCase& arc = GetParam();
    const QImage image = strokeArc(arc.flipped, arc.start, arc.end, arc.clockwise);
    for (const QPoint& p : arc.inked)
        EXPECT_TRUE(inked(image, p.x(), p.y())) << p.x() << "," << p.y();
    for (const QPoint& p : arc.blank)
        EXPECT_FALSE(inked(image, p.x(), p.y())) << p.x() << "," << p.y();
}

// Quadrant midpoints on screen of a circle of radius 15 about (20, 20).
const QPoint kLowerRight { 30, 30 }, kUpperRight { 30, 9 }, kUpperLeft { 9, 9 }, kLowerLeft { 9, 30 };

INSTANTIATE_TEST_SUITE_P(Quadrants, GraphicsContextArc,
    ::testing::Values(
        // -90° to 0° counter-clockwise in a flipped (y-up) space: below the 3 o'clock point.
        ArcCase { true, -kPi / 2, 0, false, { kLowerRight }, { kUpperRight, kUpperLeft, kLowerLeft } },
        // The same call in the plain y-down space runs the other way on screen.
        ArcCase { false, -kPi / 2, 0, false, { kUpperRight }, { kLowerRight, kUpperLeft, kLowerLeft } },
        ArcCase { true, -kPi / 2, 0, true, { kUpperRight, kUpperLeft, kLowerLeft }, { kLowerRight } },
        // 2π in single precision is a full circle (the channel gauges at full scale).
        ArcCase { true, 0, 6.2831855f, false, { kLowerRight, kUpperRight, kUpperLeft, kLowerLeft }, {} }),
    [](const auto& row) {
        const ArcCase& arc = row.param;
        return std::string(arc.flipped ? "YUp" : "YDown") + "From" + testing_support::degreesName(arc.start)
            + "To" + testing_support::degreesName(arc.end)
            + (arc.clockwise ? "Clockwise" : "Counterclockwise");
    });

// --- Dashes -----------------------------------------------------------------------------------

struct DashCase {
    qreal phase;
    std::vector<qreal> lengths;
    std::vector<std::pair<int, int>> runs; // painted [start, end) along the line
};

class GraphicsContextDash : public ::testing::TestWithParam<DashCase> { };

TEST_P(GraphicsContextDash, PatternStartsPhaseUnitsIn)
{
    const DashCase& dash = GetParam();
    const QImage image = drawTopLeft(40, 10, [&](GraphicsContext& c) {
        c.setLineWidth(2);
        c.setLineDash(dash.phase, dash.lengths);
        c.beginPath();
        c.moveTo(0, 5);
        c.addLineTo(40, 5);
        c.strokePath();
    });
    std::vector<std::pair<int, int>> runs;
    for (int x = 0; x < image.width(); ++x) {
        if (!inked(image, x, 4))
            continue;
        if (!runs.empty() && runs.back().second == x)
            runs.back().second = x + 1;
        else
            runs.emplace_back(x, x + 1);
    }
    EXPECT_EQ(runs, dash.runs);
}

INSTANTIATE_TEST_SUITE_P(Phases, GraphicsContextDash,
    ::testing::Values(DashCase { 2, { 10, 10 }, { { 0, 8 }, { 18, 28 }, { 38, 40 } } },
        DashCase { 22, { 10, 10 }, { { 0, 8 }, { 18, 28 }, { 38, 40 } } },
        DashCase { 0, { 5, -5 }, { { 0, 40 } } }),
    [](const auto& row) {
        std::string name = "Phase" + testing_support::signedName(std::llround(row.param.phase));
        for (const qreal length : row.param.lengths)
            name += "_" + testing_support::signedName(std::llround(length));
        return row.param.lengths.empty() ? name + "_Solid" : name;
    });

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
