#include "platform/graphics/GraphicsContext.h"

#include <cmath>
#include <numbers>
#include <utility>
#include <vector>

#include <QFontInfo>
#include <QPainter>

#include <gtest/gtest.h>

#include "Pixels.h"
#include "platform/graphics/NamedColor.h"
#include "support/TestNames.h"

using platform::GraphicsContext;
using platform::NamedColor;
using namespace graphics_test;

namespace {

constexpr double kPi = std::numbers::pi;

// Draws into a transparent width × height canvas through a top-left, y-down context.
template <typename Draw> QImage drawTopLeft(int width, int height, Draw draw)
{
    QImage image = canvas(width, height);
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
        // A channel gauge at full scale: a quarter from 9 o'clock downwards.
        ArcCase { true, 3.1415927f, 3 * kPi / 2, false, { kLowerLeft }, { kUpperLeft, kLowerRight } },
        // 2π in single precision is a full circle; equal angles draw nothing.
        ArcCase { true, 0, 6.2831855f, false, { kLowerRight, kUpperRight, kUpperLeft, kLowerLeft }, {} },
        ArcCase { true, 3.1415927f, 3.1415927f, false, {},
            { kLowerRight, kUpperRight, kUpperLeft, kLowerLeft, { 5, 20 } } }),
    [](const auto& row) {
        const ArcCase& arc = row.param;
        return std::string(arc.flipped ? "YUp" : "YDown") + "From" + testing_support::degreesName(arc.start)
            + "To" + testing_support::degreesName(arc.end)
            + (arc.clockwise ? "Clockwise" : "Counterclockwise");
    });

TEST(GraphicsContextPath, ArcJoinsTheCurrentPointWithALine)
{
    const QImage image = drawTopLeft(40, 40, [](GraphicsContext& c) {
        c.setLineWidth(2);
        c.beginPath();
        c.moveTo(2, 20);
        c.addArc(20, 20, 10, kPi, kPi / 2, true); // starts at (10, 20)
        c.strokePath();
    });
    EXPECT_TRUE(inked(image, 5, 20)); // the joining line
    EXPECT_TRUE(inked(image, 13, 27)); // the arc through 135°, turning clockwise from 180°
    EXPECT_FALSE(inked(image, 13, 13)); // not the counter-clockwise way round
}

// --- Paths and the CTM ------------------------------------------------------------------------

TEST(GraphicsContextPath, TheCtmAppliesAsSegmentsAreAddedAndTurnsXOntoDeviceYDown)
{
    // A change of the CTM after the segments are built does not move them.
    EXPECT_EQ(inkBounds(drawTopLeft(40, 20,
                  [](GraphicsContext& c) {
                      c.beginPath();
                      c.addRect(QRectF(0, 0, 10, 10));
                      c.translateCTM(20, 0);
                      c.fillPath();
                  })),
        QRect(0, 0, 10, 10));
    // The overlay's landscape turn: rotate +π/2, then move back into the square.
    EXPECT_EQ(inkBounds(drawTopLeft(20, 20,
                  [](GraphicsContext& c) {
                      c.rotateCTM(1.5707964f);
                      c.translateCTM(0, -20);
                      c.fillRect(QRectF(0, 0, 10, 5));
                  })),
        QRect(15, 0, 5, 10));
}

TEST(GraphicsContextState, RestoreBringsBackTransformColourAndClip)
{
    const QImage image = drawTopLeft(20, 20, [](GraphicsContext& c) {
        c.saveGState();
        c.translateCTM(10, 10);
        c.setFillColor(NamedColor::blue());
        c.clipToRect(QRectF(0, 0, 2, 2));
        c.restoreGState();
        c.restoreGState(); // unbalanced: ignored
        c.fillRect(QRectF(0, 0, 20, 20));
    });
    EXPECT_EQ(image.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(19, 19), qRgb(0, 0, 0));
}

TEST(GraphicsContextState, ClipBoundingBoxIsInUserSpace)
{
    QImage image = canvas(400, 400);
    QPainter painter(&image);
    GraphicsContext c(painter, QTransform::fromScale(2, 2));
    EXPECT_EQ(c.clipBoundingBox(), QRectF(0, 0, 200, 200));
    flip(c, 200);
    EXPECT_EQ(c.clipBoundingBox(), QRectF(0, 0, 200, 200));
    c.clipToRect(QRectF(10, 20, 50, 60));
    c.translateCTM(10, 0);
    EXPECT_EQ(c.clipBoundingBox(), QRectF(0, 20, 50, 60));
    c.fillRect(QRectF(-100, -100, 400, 400));
    EXPECT_EQ(inkBounds(image), QRect(20, 240, 100, 120)); // device pixels of the clip
}

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
    ::testing::Values(DashCase { 0, { 10, 10 }, { { 0, 10 }, { 20, 30 } } },
        DashCase { 2, { 10, 10 }, { { 0, 8 }, { 18, 28 }, { 38, 40 } } },
        DashCase { 4, { 10, 10 }, { { 0, 6 }, { 16, 26 }, { 36, 40 } } },
        DashCase { 22, { 10, 10 }, { { 0, 8 }, { 18, 28 }, { 38, 40 } } },
        DashCase { 0, { 10 }, { { 0, 10 }, { 20, 30 } } }, DashCase { 0, {}, { { 0, 40 } } },
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

// --- Images -----------------------------------------------------------------------------------

namespace {

// Row 0: red, green; row 1: blue, white.
QImage quadImage()
{
    QImage image(2, 2, QImage::Format_ARGB32_Premultiplied);
    image.setPixel(0, 0, qRgb(255, 0, 0));
    image.setPixel(1, 0, qRgb(0, 255, 0));
    image.setPixel(0, 1, qRgb(0, 0, 255));
    image.setPixel(1, 1, qRgb(255, 255, 255));
    return image;
}

QImage drawQuad(bool flipped, GraphicsContext::InterpolationQuality quality)
{
    return drawTopLeft(20, 20, [&](GraphicsContext& c) {
        if (flipped)
            flip(c, 20);
        c.setInterpolationQuality(quality);
        c.drawImage(QRectF(0, 0, 20, 20), quadImage());
    });
}

} // namespace

// The first row lands at the rectangle's maximum y: upright in a flipped (y-up) space, at the
// bottom in the plain y-down one, as the library draws it. Without interpolation every pixel is
// one of the source's; the default quality smooths, so some are mixtures.
TEST(GraphicsContextImage, FirstRowIsAtTheRectanglesMaximumYWithHardEdgesWhenAsked)
{
    const QImage source = quadImage();
    for (const bool flipped : { true, false }) {
        const QImage sharp = drawQuad(flipped, GraphicsContext::InterpolationQuality::None);
        for (int y = 0; y < 20; ++y) {
            for (int x = 0; x < 20; ++x)
                ASSERT_EQ(sharp.pixel(x, y), source.pixel(x / 10, flipped ? y / 10 : 1 - y / 10))
                    << x << "," << y << (flipped ? " y-up" : " y-down");
        }
    }
    const QImage smooth = drawQuad(true, GraphicsContext::InterpolationQuality::Default);
    bool mixed = false;
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x)
            mixed = mixed || smooth.pixel(x, y) != source.pixel(x / 10, y / 10);
    }
    EXPECT_TRUE(mixed);
}
