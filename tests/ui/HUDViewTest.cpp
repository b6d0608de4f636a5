#include <cmath>

#include <gtest/gtest.h>

#include "platform/ui/FakeAnimationClock.h"
#include "platform/ui/Label.h"
#include "support/RectNear.h"
#include "support/TestNames.h"
#include "ui/HUDView.h"
#include "ui/OptionButton.h"

using namespace platform;
using testing_support::rectNear;
using ui::HUDView;

namespace {

// The phone's panel of 232 × 128 points at (20, 30) on the screen.
struct PanelScreen : ::testing::Test {
    FakeAnimationClock clock;
    View root { QRectF(0, 0, 320, 480) };
    HUDView* panel { static_cast<HUDView*>(
        root.addSubview(std::make_unique<HUDView>(QRectF(20, 30, 232, 128)))) };

    // Where the panel's own top-left point lands on the screen.
    QPointF panelOrigin() const { return panel->convertPointToRoot(QPointF(0, 0)); }
    // Animations are shared by the whole program: let this case's end before the next.
    void TearDown() override { clock.advance(10); }
};

struct OrientationRow {
    const char* name;
    int orientation;
    QRectF frame; // the screen rectangle the turned panel covers
    QPointF origin; // where the panel's own top-left point lands
};
using testing_support::PrintTo;

const QRectF kUpright(20, 30, 232, 128);
const QRectF kSideways(20, 30, 128, 232);

class PanelOrientation : public PanelScreen, public ::testing::WithParamInterface<OrientationRow> { };

} // namespace

// Every orientation, reached from a panel turned the other way (sideways from upside down, the
// rest from landscape) and then asked for again: the panel covers the same corner of the screen,
// its own top-left wherever the turn takes it, and a repeat moves nothing, model or drawing.
TEST_P(PanelOrientation, CoversItsCornerAndStaysPutWhenAskedAgain)
{
    const OrientationRow& row = GetParam();
    EXPECT_EQ(panel->originalPosition(), QPointF(20, 30));
    panel->rotateToOrientation(row.frame == kSideways ? 2 : 3);
    clock.advance(1);
    panel->rotateToOrientation(row.orientation);
    EXPECT_TRUE(rectNear(panel->frame(), row.frame));
    EXPECT_NEAR(panelOrigin().x(), row.origin.x(), 1e-3);
    EXPECT_NEAR(panelOrigin().y(), row.origin.y(), 1e-3);
    clock.advance(1);

    const QRectF frame = panel->frame();
    const QTransform transform = panel->transform();
    panel->rotateToOrientation(row.orientation);
    EXPECT_EQ(panel->frame(), frame);
    EXPECT_EQ(panel->transform(), transform);
    EXPECT_EQ(panel->presentationTransform(), transform);
    EXPECT_EQ(panel->presentationCenter(), panel->center());
}

INSTANTIATE_TEST_SUITE_P(Orientations, PanelOrientation,
    ::testing::Values(OrientationRow { "Portrait", 1, kUpright, { 20, 30 } },
        OrientationRow { "UpsideDown", 2, kUpright, { 20 + 232, 30 + 128 } },
        // Landscape left turns a clockwise quarter: the panel's top-left is the covered top-right.
        OrientationRow { "LandscapeLeft", 3, kSideways, { 20 + 128, 30 } },
        OrientationRow { "LandscapeRight", 4, kSideways, { 20, 30 + 232 } },
        OrientationRow { "FaceUp", 5, kUpright, { 20, 30 } },
        OrientationRow { "FaceDown", 6, kUpright, { 20, 30 } },
        OrientationRow { "Unknown", 0, kUpright, { 20, 30 } },
        OrientationRow { "OutOfRange", 7, kUpright, { 20, 30 } },
        OrientationRow { "Negative", -1, kUpright, { 20, 30 } }),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(PanelScreen, SavingWhileTurnedAnchorsAtTheCoveredCorner)
{
    panel->rotateToOrientation(3);
    panel->saveOriginalPosition();
    EXPECT_NEAR(panel->originalPosition().x(), 20, 1e-3);
    EXPECT_NEAR(panel->originalPosition().y(), 30, 1e-3);

    // Moved while turned, the panel is anchored where it now is once saved again.
    panel->setFrame(QRectF(QPointF(50, 60), panel->frame().size()));
    panel->saveOriginalPosition();
    panel->rotateToOrientation(1);
    EXPECT_TRUE(rectNear(panel->frame(), QRectF(50, 60, 232, 128)));
    panel->rotateToOrientation(4);
    EXPECT_TRUE(rectNear(panel->frame(), QRectF(50, 60, 128, 232)));
}

TEST_F(PanelScreen, OptionButtonsOnATurnedPanelStillOpenAndChooseByTouch)
{
    auto* button = static_cast<ui::OptionButton*>(
        panel->addSubview(std::make_unique<ui::OptionButton>(QPointF(8, 48), QStringLiteral("Color"),
            QStringList { QStringLiteral("RGB"), QStringLiteral("GREEN"), QStringLiteral("B&W") })));
    int changes = 0;
    button->addTarget(
        this, [&changes](Control&, const Touch*) { ++changes; }, ControlEventValueChanged);
    panel->rotateToOrientation(3);
    clock.advance(1);

    // Taps where the items are drawn on the turned screen.
    EXPECT_TRUE(button->chooseItemForScript(2));
    EXPECT_EQ(button->selectedItem(), 2);
    EXPECT_EQ(changes, 1);
    // A tap through the screen at the title's drawn place opens the row.
    const QPointF titleOnScreen = button->convertPointToRoot(QPointF(20, 16));
    EXPECT_EQ(root.hitTest(titleOnScreen), static_cast<View*>(&button->titleLabel()));
}
