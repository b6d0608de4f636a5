#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ui/Button.h"
#include "platform/ui/Slider.h"
#include "platform/ui/TouchDispatcher.h"

using namespace platform;

namespace {

// A screen with a button, recording which control events reached a target.
struct ControlScreen : ::testing::Test {
    View root { QRectF(0, 0, 320, 480) };
    TouchDispatcher touches { root };
    Button* button { static_cast<Button*>(
        root.addSubview(std::make_unique<Button>(QRectF(100, 100, 100, 40), QStringLiteral("Go")))) };
    std::vector<ControlEvents> events;

    void listen(Control& control, ControlEvents mask)
    {
        for (ControlEvents bit = 1; bit != 0 && bit <= ControlEventValueChanged; bit <<= 1)
            if (mask & bit)
                control.addTarget(
                    this, [this, bit](Control&, const Touch*) { events.push_back(bit); }, bit);
    }
};

} // namespace

TEST_F(ControlScreen, HitTestingHonoursTransformsHiddenViewsAlphaAndInteraction)
{
    EXPECT_EQ(root.hitTest(QPointF(150, 120)), button);
    // Turned a quarter about its centre (150, 120) the button covers x 130-170, y 70-170.
    button->setTransform(QTransform().rotate(90));
    EXPECT_EQ(root.hitTest(QPointF(110, 120)), &root);
    EXPECT_EQ(root.hitTest(QPointF(150, 80)), button);
    button->setTransform(QTransform());

    auto* cover = root.addSubview(std::make_unique<View>(QRectF(90, 90, 200, 200)));
    EXPECT_EQ(root.hitTest(QPointF(150, 120)), cover);
    cover->setHidden(true);
    EXPECT_EQ(root.hitTest(QPointF(150, 120)), button);
    cover->setHidden(false);
    cover->setAlpha(0.005);
    EXPECT_EQ(root.hitTest(QPointF(150, 120)), button);
    cover->setAlpha(1);
    cover->setUserInteractionEnabled(false);
    EXPECT_EQ(root.hitTest(QPointF(150, 120)), button);
    EXPECT_EQ(root.hitTest(QPointF(400, 120)), nullptr); // outside the root
}

TEST_F(ControlScreen, TapSendsDownAndUpInsideOnlyToMatchingMasks)
{
    listen(*button, ControlEventTouchDown | ControlEventTouchUpInside | ControlEventTouchUpOutside);
    int valueChanged = 0;
    button->addTarget(
        nullptr, [&](Control&, const Touch*) { ++valueChanged; }, ControlEventValueChanged);
    touches.tap(QPointF(150, 120));
    EXPECT_EQ(events, (std::vector<ControlEvents> { ControlEventTouchDown, ControlEventTouchUpInside }));
    EXPECT_EQ(valueChanged, 0);

    // Dragged off before release: up-outside, and the action sees where the touch is.
    events.clear();
    touches.press(QPointF(150, 120));
    touches.move(QPointF(10, 10));
    touches.release(QPointF(10, 10));
    EXPECT_EQ(events, (std::vector<ControlEvents> { ControlEventTouchDown, ControlEventTouchUpOutside }));
}

namespace {

// A root that notes whether a touch fell through to it.
struct TouchSpy : View {
    using View::View;
    void touchesBegan(const Touch&) override { touched = true; }
    bool touched { false };
};

} // namespace

TEST(ControlTest, DisabledControlSendsNothingAndSwallowsTheTouch)
{
    TouchSpy root(QRectF(0, 0, 320, 480));
    TouchDispatcher touches(root);
    auto* button = static_cast<Button*>(root.addSubview(std::make_unique<Button>(QRectF(0, 0, 50, 50))));
    button->setEnabled(false);
    int sent = 0;
    button->addTarget(
        nullptr, [&](Control&, const Touch*) { ++sent; }, ControlEventAllEvents);
    touches.tap(QPointF(25, 25));
    button->sendActionsForControlEvents(ControlEventValueChanged);
    EXPECT_EQ(sent, 0);
    EXPECT_FALSE(root.touched);
}

TEST_F(ControlScreen, RemovedTargetsStopAndAnActionMayDestroyItsControl)
{
    int first = 0;
    button->addTarget(
        &first, [&](Control&, const Touch*) { ++first; }, ControlEventTouchUpInside);
    button->removeTarget(&first, ControlEventTouchUpInside);
    touches.tap(QPointF(150, 120));
    EXPECT_EQ(first, 0);

    int later = 0;
    button->addTarget(
        this, [](Control& sender, const Touch*) { (void)sender.removeFromSuperview(); },
        ControlEventTouchUpInside);
    button->addTarget(
        this, [&](Control&, const Touch*) { ++later; }, ControlEventTouchUpInside);
    touches.tap(QPointF(150, 120));
    EXPECT_EQ(later, 0); // the control was gone before the second action
    EXPECT_TRUE(root.subviews().empty());
}

TEST(SliderTest, DragSendsValueChangedForEachChangeThenEndOfDrag)
{
    View root(QRectF(0, 0, 320, 100));
    TouchDispatcher touches(root);
    // 228 wide with a 28-point thumb: 200 points of travel for values 0-100.
    auto* slider = static_cast<Slider*>(root.addSubview(std::make_unique<Slider>(QRectF(0, 0, 228, 40))));
    slider->setMaximumValue(100);
    std::vector<float> values;
    std::vector<ControlEvents> ends;
    slider->addTarget(
        nullptr, [&](Control& c, const Touch*) { values.push_back(static_cast<Slider&>(c).value()); },
        ControlEventValueChanged);
    slider->addTarget(
        nullptr, [&](Control&, const Touch*) { ends.push_back(ControlEventTouchUpInside); },
        ControlEventTouchUpInside);
    slider->addTarget(
        nullptr, [&](Control&, const Touch*) { ends.push_back(ControlEventTouchUpOutside); },
        ControlEventTouchUpOutside);

    touches.press(QPointF(14, 20)); // on the thumb: no jump
    touches.move(QPointF(64, 20));
    touches.move(QPointF(64, 20)); // no change, no event
    touches.move(QPointF(114, 25));
    touches.move(QPointF(500, 20)); // past the end: clamped, reported once
    touches.release(QPointF(500, 20));
    ASSERT_EQ(values.size(), 3u);
    EXPECT_FLOAT_EQ(values[0], 25.0f);
    EXPECT_FLOAT_EQ(values[1], 50.0f);
    EXPECT_FLOAT_EQ(values[2], 100.0f);
    EXPECT_EQ(ends, std::vector<ControlEvents> { ControlEventTouchUpOutside });

    // A scripted slide reports like a drag that ends inside.
    values.clear();
    ends.clear();
    EXPECT_TRUE(slider->slideForScript(30));
    EXPECT_EQ(values, std::vector<float> { 30.0f });
    EXPECT_EQ(ends, std::vector<ControlEvents> { ControlEventTouchUpInside });
    slider->setEnabled(false);
    EXPECT_FALSE(slider->slideForScript(60));
    EXPECT_EQ(slider->value(), 30.0f);

    // Values from code stay in range, a number or not; a range set the wrong way round holds.
    slider->setValue(NAN);
    EXPECT_EQ(slider->value(), 30.0f);
    slider->setValue(-3);
    EXPECT_EQ(slider->value(), 0.0f);
    slider->setValue(90);
    slider->setMaximumValue(40);
    EXPECT_EQ(slider->value(), 40.0f);
    slider->setMinimumValue(80);
    EXPECT_EQ(slider->maximumValue(), 80.0f);
    EXPECT_EQ(slider->value(), 80.0f);
}

// A parent owns the views added to it; a view owned elsewhere leaves the tree when destroyed, a
// view cannot become its own ancestor, and geometry that is no number is ignored.
TEST(ViewTree, OwnershipCyclesAndNonFiniteGeometry)
{
    View root(QRectF(0, 0, 100, 100));
    View::Weak child(root.addSubview(std::make_unique<View>(QRectF(0, 0, 10, 10))));
    std::unique_ptr<View> removed = child.get()->removeFromSuperview();
    ASSERT_EQ(removed.get(), child.get());
    removed.reset();
    EXPECT_EQ(child.get(), nullptr);

    auto outside = std::make_unique<View>(QRectF(0, 0, 5, 5));
    root.addSubview(*outside);
    outside.reset();
    EXPECT_TRUE(root.subviews().empty());

    auto* a = root.addSubview(std::make_unique<View>());
    a->addSubview(std::make_unique<View>())->addSubview(root);
    EXPECT_EQ(root.superview(), nullptr);

    a->setFrame(QRectF(100, 100, 40, 40));
    a->setFrame(QRectF(NAN, 0, 10, 10));
    a->setCenter(QPointF(INFINITY, 0));
    a->setAlpha(NAN);
    EXPECT_EQ(a->frame(), QRectF(100, 100, 40, 40));
    EXPECT_EQ(a->alpha(), 1.0);
}
