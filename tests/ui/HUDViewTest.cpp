#include <gtest/gtest.h>

#include "platform/ui/FakeAnimationClock.h"
#include "platform/ui/Label.h"
#include "ui/HUDView.h"
#include "ui/OptionButton.h"

using namespace platform;
using ui::HUDView;

// On the phone's panel turned for landscape, a chooser still takes its choices and a tap through
// the screen at the title's drawn place reaches the title.
TEST(HUDView, OptionButtonsOnATurnedPanelStillOpenAndChooseByTouch)
{
    FakeAnimationClock clock;
    View root(QRectF(0, 0, 320, 480));
    auto* panel = static_cast<HUDView*>(root.addSubview(std::make_unique<HUDView>(QRectF(20, 30, 232, 128))));
    auto* button = static_cast<ui::OptionButton*>(
        panel->addSubview(std::make_unique<ui::OptionButton>(QPointF(8, 48), QStringLiteral("Color"),
            QStringList { QStringLiteral("RGB"), QStringLiteral("GREEN"), QStringLiteral("B&W") })));
    int changes = 0;
    button->addTarget(
        nullptr, [&changes](Control&, const Touch*) { ++changes; }, ControlEventValueChanged);
    panel->rotateToOrientation(3);
    clock.advance(1);

    EXPECT_TRUE(button->chooseItemForScript(2));
    EXPECT_EQ(button->selectedItem(), 2);
    EXPECT_EQ(changes, 1);
    const QPointF titleOnScreen = button->convertPointToRoot(QPointF(20, 16));
    EXPECT_EQ(root.hitTest(titleOnScreen), static_cast<View*>(&button->titleLabel()));
    clock.advance(10); // animations are shared by the whole program: let them end
}
