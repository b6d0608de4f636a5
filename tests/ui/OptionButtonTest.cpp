#include <climits>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ui/FakeAnimationClock.h"
#include "platform/ui/Label.h"
#include "platform/ui/TouchDispatcher.h"
#include "ui/HUDView.h"
#include "ui/OptionButton.h"

using namespace platform;
using ui::HUDView;
using ui::OptionButton;

// Touches open the row and choose an item once; choosing the shown item again reports nothing;
// a script's index outside the items, or on a disabled chooser, changes nothing.
TEST(OptionButton, TappingAnItemChoosesItOnceAndScriptsCannotChooseOutOfRange)
{
    FakeAnimationClock clock;
    View root(QRectF(0, 0, 320, 480));
    TouchDispatcher touches(root);
    auto* button = static_cast<OptionButton*>(
        root.addSubview(std::make_unique<OptionButton>(QPointF(8, 8), QStringLiteral("Enlight"),
            QStringList { QStringLiteral("Auto"), QStringLiteral("Manual"), QStringLiteral("Off") }, 0)));
    std::vector<int> changes;
    button->addTarget(
        nullptr,
        [&changes](Control& sender, const Touch*) {
            changes.push_back(static_cast<OptionButton&>(sender).selectedItem());
        },
        ControlEventValueChanged);
    const QPointF title(8 + 20, 8 + 16);
    const auto item = [&](int i) { return QPointF(8 + 54 + (i + 0.5) * button->buttonWidth(), 8 + 16); };

    touches.tap(title);
    EXPECT_TRUE(button->expanded());
    touches.tap(item(2));
    EXPECT_FALSE(button->expanded());
    touches.tap(title);
    touches.tap(item(2));
    EXPECT_EQ(changes, std::vector<int> { 2 });
    clock.advance(5);
    // Collapsed, the chosen item sits in the first slot.
    EXPECT_EQ(root.hitTest(item(0)), static_cast<View*>(button->labels()[2]));

    for (const int index : { 3, -1, INT_MIN, INT_MAX })
        EXPECT_FALSE(button->chooseItemForScript(index)) << index;
    button->setEnabled(false);
    EXPECT_FALSE(button->chooseItemForScript(1));
    EXPECT_EQ(button->selectedItem(), 2);
    EXPECT_EQ(changes, std::vector<int> { 2 });
    clock.advance(5);
}

// On the phone's panel turned for landscape, a chooser still takes its choices and a tap through
// the screen at the title's drawn place reaches the title.
TEST(HUDView, OptionButtonsOnATurnedPanelStillOpenAndChooseByTouch)
{
    FakeAnimationClock clock;
    View root(QRectF(0, 0, 320, 480));
    auto* panel = static_cast<HUDView*>(root.addSubview(std::make_unique<HUDView>(QRectF(20, 30, 232, 128))));
    auto* button = static_cast<OptionButton*>(
        panel->addSubview(std::make_unique<OptionButton>(QPointF(8, 48), QStringLiteral("Color"),
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
