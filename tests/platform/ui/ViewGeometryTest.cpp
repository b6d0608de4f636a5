#include <cmath>

#include <QPainter>

#include <gtest/gtest.h>

#include "platform/graphics/Layer.h"
#include "platform/ui/View.h"
#include "support/RectNear.h"
#include "support/TestNames.h"

using namespace platform;
using testing_support::rectNear;

namespace {

class TurnedView : public ::testing::TestWithParam<double> { };

} // namespace

TEST_P(TurnedView, FrameIsTheBoundingRectangleAndSettingItKeepsTheSize)
{
    View panel(QRectF(10, 20, 232, 128));
    panel.setTransform(QTransform().rotateRadians(GetParam()));
    // Turned about its centre (126, 84): the bounding box is 128 × 232 around the same centre.
    EXPECT_TRUE(rectNear(panel.frame(), QRectF(126 - 64, 84 - 116, 128, 232), 1e-9));
    EXPECT_TRUE(rectNear(panel.bounds(), QRectF(0, 0, 232, 128), 1e-9));

    QRectF placed = panel.frame();
    placed.moveTopLeft(QPointF(10, 20));
    panel.setFrame(placed);
    EXPECT_TRUE(rectNear(panel.frame(), QRectF(10, 20, 128, 232), 1e-9));
    EXPECT_TRUE(rectNear(panel.bounds(), QRectF(0, 0, 232, 128), 1e-9));

    // Back upright at the same anchor, as a panel turned back to portrait.
    panel.setTransform(QTransform());
    QRectF upright = panel.frame();
    upright.moveTopLeft(QPointF(10, 20));
    panel.setFrame(upright);
    EXPECT_TRUE(rectNear(panel.frame(), QRectF(10, 20, 232, 128), 1e-9));
}

INSTANTIATE_TEST_SUITE_P(QuarterTurns, TurnedView, ::testing::Values(M_PI_2, -M_PI_2),
    [](const auto& row) { return "Turned" + testing_support::degreesName(row.param); });

TEST(ViewGeometry, CenterBoundsAndFrameAgreeAndIgnoreNonFiniteValues)
{
    View view(QRectF(30, 40, 100, 50));
    EXPECT_EQ(view.center(), QPointF(80, 65));
    EXPECT_EQ(view.bounds(), QRectF(0, 0, 100, 50));

    view.setCenter(QPointF(0, 0));
    EXPECT_EQ(view.frame(), QRectF(-50, -25, 100, 50));

    // Changing the bounds size grows the view about its centre.
    view.setBounds(QRectF(0, 0, 20, 10));
    EXPECT_EQ(view.frame(), QRectF(-10, -5, 20, 10));

    // A translation moves the frame but not the center.
    view.setTransform(QTransform::fromTranslate(5, 7));
    EXPECT_EQ(view.center(), QPointF(0, 0));
    EXPECT_EQ(view.frame(), QRectF(-5, 2, 20, 10));
    view.setFrame(QRectF(100, 100, 40, 40));
    EXPECT_EQ(view.frame(), QRectF(100, 100, 40, 40));

    // Geometry that is not a number is ignored.
    view.setFrame(QRectF(NAN, 0, 10, 10));
    view.setCenter(QPointF(INFINITY, 0));
    view.setAlpha(NAN);
    EXPECT_EQ(view.frame(), QRectF(100, 100, 40, 40));
    EXPECT_EQ(view.alpha(), 1.0);
}

TEST(ViewGeometry, PointsConvertThroughNestedTransformsAndBoundsOrigins)
{
    View root(QRectF(0, 0, 320, 480));
    auto* outer = root.addSubview(std::make_unique<View>(QRectF(100, 100, 100, 100)));
    outer->setTransform(QTransform().rotate(90)); // clockwise quarter turn about (150, 150)
    auto* inner = outer->addSubview(std::make_unique<View>(QRectF(10, 0, 20, 10)));
    inner->setTransform(QTransform::fromScale(2, 2)); // about its centre (20, 5)

    // inner's (0,0) → outer (0, -5) → root: relative to outer's centre (-50, -55), turned → (205, 100)
    const QPointF inRoot = inner->convertPointToRoot(QPointF(0, 0));
    EXPECT_NEAR(inRoot.x(), 205, 1e-9);
    EXPECT_NEAR(inRoot.y(), 100, 1e-9);
    const QPointF back = inner->convertPointFromView(inRoot, &root);
    EXPECT_NEAR(back.x(), 0, 1e-9);
    EXPECT_NEAR(back.y(), 0, 1e-9);

    // Scrolling a view (moving its bounds origin) moves what its subviews show.
    outer->setTransform(QTransform());
    outer->setBounds(QRectF(0, 30, 100, 100));
    const QPointF shifted = inner->convertPointToView(QPointF(0, 0), outer);
    EXPECT_NEAR(shifted.y(), -5, 1e-9);
    EXPECT_NEAR(inner->convertPointToRoot(QPointF(0, 0)).y(), 100 - 30 - 5, 1e-9);
}

TEST(ViewTree, ParentOwnsAddedViewsAndRemovalHandsThemBack)
{
    View root(QRectF(0, 0, 100, 100));
    View::Weak child(root.addSubview(std::make_unique<View>(QRectF(0, 0, 10, 10))));
    ASSERT_NE(child.get(), nullptr);
    std::unique_ptr<View> removed = child.get()->removeFromSuperview();
    ASSERT_EQ(removed.get(), child.get());
    EXPECT_TRUE(root.subviews().empty());
    removed.reset();
    EXPECT_EQ(child.get(), nullptr);

    // A view owned elsewhere leaves the tree when it is destroyed.
    auto outside = std::make_unique<View>(QRectF(0, 0, 5, 5));
    root.addSubview(*outside);
    EXPECT_EQ(root.subviews().size(), 1u);
    outside.reset();
    EXPECT_TRUE(root.subviews().empty());

    // A view cannot become its own ancestor.
    auto* a = root.addSubview(std::make_unique<View>());
    auto* b = a->addSubview(std::make_unique<View>());
    b->addSubview(root);
    EXPECT_EQ(root.superview(), nullptr);
}

TEST(ViewRendering, DrawsBackgroundBorderSubviewsAndSkipsHiddenOnes)
{
    View root(QRectF(0, 0, 40, 20));
    root.setBackgroundColor(Qt::white);
    root.layer().setBorderWidth(2);
    root.layer().setBorderColor(Qt::black);
    auto* red = root.addSubview(std::make_unique<View>(QRectF(10, 5, 10, 10)));
    red->setBackgroundColor(Qt::red);
    auto* hidden = root.addSubview(std::make_unique<View>(QRectF(25, 5, 10, 10)));
    hidden->setBackgroundColor(Qt::blue);
    hidden->setHidden(true);

    const QImage image = root.snapshot(2.0);
    ASSERT_EQ(image.size(), QSize(80, 40));
    EXPECT_EQ(QColor(image.pixel(30, 20)), QColor(Qt::red)); // the subview
    EXPECT_EQ(QColor(image.pixel(60, 20)), QColor(Qt::white)); // the hidden one is not drawn
    EXPECT_EQ(QColor(image.pixel(1, 20)), QColor(Qt::black)); // the border, 2 pt = 4 px
    EXPECT_EQ(QColor(image.pixel(5, 20)), QColor(Qt::white));

    // A quarter-turned subview covers its turned footprint.
    red->setFrame(QRectF(0, 0, 30, 4));
    red->setTransform(QTransform().rotate(90));
    const QImage turned = root.snapshot(1.0);
    EXPECT_EQ(QColor(turned.pixel(5, 3)), QColor(Qt::white)); // red when upright, empty turned
    EXPECT_EQ(QColor(turned.pixel(15, 10)), QColor(Qt::red)); // centre (15, 2) ± 15 vertically
}
