#include <climits>
#include <vector>

#include <gtest/gtest.h>

#include <QImage>

#include "platform/graphics/Layer.h"
#include "platform/ui/FakeAnimationClock.h"
#include "platform/ui/Label.h"
#include "platform/ui/TouchDispatcher.h"
#include "ui/OptionButton.h"

using namespace platform;
using ui::OptionButton;

namespace {

const QStringList kEnlight { QStringLiteral("Auto"), QStringLiteral("Manual"), QStringLiteral("Off") };
const QStringList kPreset { QStringLiteral("Low"), QStringLiteral("Med"), QStringLiteral("High"),
    QStringLiteral("Photo") };

// A screen holding one option button at (8, 8), driven by touches, recording every value-changed
// event with the choice the receiver read at that moment.
struct OptionScreen : ::testing::Test {
    FakeAnimationClock clock;
    View root { QRectF(0, 0, 320, 480) };
    TouchDispatcher touches { root };
    OptionButton* button { nullptr };
    std::vector<int> changes;

    OptionButton& make(const QStringList& names, int selected, float width = OptionButton::defaultButtonWidth)
    {
        button = static_cast<OptionButton*>(root.addSubview(std::make_unique<OptionButton>(
            QPointF(8, 8), QStringLiteral("Enlight"), names, selected, width)));
        button->addTarget(
            this,
            [this](Control& sender, const Touch*) {
                changes.push_back(static_cast<OptionButton&>(sender).selectedItem());
            },
            ControlEventValueChanged);
        return *button;
    }
    // Screen points of the control's parts (it sits at (8, 8), 32 points high).
    QPointF title() const { return QPointF(8 + 20, 8 + 16); }
    QPointF item(int i) const { return QPointF(8 + 54 + (i + 0.5) * button->buttonWidth(), 8 + 16); }
    std::vector<QRectF> labelFrames() const
    {
        std::vector<QRectF> frames;
        for (const Label* label : button->labels())
            frames.push_back(label->frame());
        return frames;
    }
    // Lets every running animation end.
    void settle() { clock.advance(5); }
    void TearDown() override { settle(); }
};

struct Widths {
    QStringList names;
    float itemWidth;
    int selected;
    qreal collapsed;
    qreal expanded;
};

class OptionWidths : public OptionScreen, public ::testing::WithParamInterface<Widths> { };

} // namespace

TEST_P(OptionWidths, CollapsedAndExpandedWidthsOnScreen)
{
    const Widths& row = GetParam();
    make(row.names, row.selected, row.itemWidth);
    EXPECT_FALSE(button->expanded());
    EXPECT_EQ(button->frame(), QRectF(8, 8, row.collapsed, 32));

    touches.tap(title());
    EXPECT_TRUE(button->expanded());
    settle();
    EXPECT_EQ(button->frame(), QRectF(8, 8, row.expanded, 32));
    EXPECT_EQ(button->presentationBounds().size(), QSizeF(row.expanded, 32));
    // Every item has its own slot on the open row, in order, and the touch finds it there.
    for (int i = 0; i < int(row.names.size()); ++i) {
        EXPECT_EQ(
            button->labels()[std::size_t(i)]->frame(), QRectF(54 + i * row.itemWidth, -3, row.itemWidth, 39));
        EXPECT_EQ(root.hitTest(item(i)), static_cast<View*>(button->labels()[std::size_t(i)])) << i;
    }

    touches.tap(item(0));
    settle();
    EXPECT_EQ(button->frame(), QRectF(8, 8, row.collapsed, 32));
    EXPECT_EQ(button->presentationBounds().size(), QSizeF(row.collapsed, 32));
}

INSTANTIATE_TEST_SUITE_P(OptionButton, OptionWidths,
    ::testing::Values(Widths { kEnlight, 50, 0, 114, 214 }, Widths { kPreset, 40, 3, 104, 224 }),
    [](const auto& row) { return std::to_string(row.param.names.size()) + "Items"; });

TEST_F(OptionScreen, AnyTapOpensACollapsedRowWithoutChoosing)
{
    make(kPreset, 3, 40);
    // On the title, on the chosen item's slot and on the right margin of the collapsed control.
    for (const QPointF point : { title(), item(0), QPointF(8 + 100, 8 + 30) }) {
        touches.tap(point);
        EXPECT_TRUE(button->expanded());
        EXPECT_EQ(button->selectedItem(), 3);
        EXPECT_TRUE(changes.empty());
        button->setSelectedItem(3); // closes again, silently
        EXPECT_FALSE(button->expanded());
    }
    EXPECT_TRUE(changes.empty());
}

TEST_F(OptionScreen, TappingAnItemChoosesItCollapsesAndReportsOnce)
{
    make(kEnlight, 0);
    touches.tap(title());
    touches.tap(item(2));
    EXPECT_FALSE(button->expanded());
    EXPECT_EQ(changes, std::vector<int> { 2 });
    settle();
    // Only the chosen item is left showing, in the first slot; the others have no width.
    EXPECT_EQ(labelFrames(),
        (std::vector<QRectF> { QRectF(54, -3, 0, 39), QRectF(54, -3, 0, 39), QRectF(54, -3, 50, 39) }));
    EXPECT_EQ(root.hitTest(item(0)), static_cast<View*>(button->labels()[2]));
    EXPECT_EQ(button->frame().width(), 114);

    // Choosing the same item again closes the row and reports nothing.
    touches.tap(title());
    touches.tap(item(2));
    EXPECT_FALSE(button->expanded());
    EXPECT_EQ(changes, std::vector<int> { 2 });
    EXPECT_EQ(button->frame().width(), 114);

    // The first item, which sits left of the chosen one when collapsed, is reachable again.
    touches.tap(item(0));
    touches.tap(item(0));
    EXPECT_EQ(changes, (std::vector<int> { 2, 0 }));
}

TEST_F(OptionScreen, TapsOnTheTitleOrMarginsOfAnOpenRowChangeNothing)
{
    make(kEnlight, 1);
    touches.tap(title());
    settle();
    const std::vector<QRectF> open = labelFrames();
    for (const QPointF point : { title(), QPointF(8 + 3, 8 + 16), QPointF(8 + 54 + 150 + 5, 8 + 16) }) {
        touches.tap(point);
        EXPECT_TRUE(button->expanded());
        EXPECT_EQ(labelFrames(), open);
        EXPECT_EQ(button->frame().width(), 214);
    }
    // A touch that is released outside the control is no tap at all.
    touches.press(item(0));
    touches.release(QPointF(300, 400));
    EXPECT_TRUE(button->expanded());
    EXPECT_EQ(button->selectedItem(), 1);
    EXPECT_TRUE(changes.empty());
}

TEST_F(OptionScreen, OutOfRangeIndexesMoveNothingAndSendNothing)
{
    make(kEnlight, 1);
    for (const bool open : { false, true }) {
        if (open)
            touches.tap(title());
        const std::vector<QRectF> before = labelFrames();
        const QRectF frame = button->frame();
        for (const int index : { 3, 4, -1, INT_MIN, INT_MAX }) {
            button->setSelectedItem(index);
            EXPECT_EQ(button->selectedItem(), 1);
            EXPECT_EQ(button->expanded(), open);
            EXPECT_EQ(labelFrames(), before);
            EXPECT_EQ(button->frame(), frame);
        }
        EXPECT_FALSE(button->chooseItemForScript(3));
        EXPECT_FALSE(button->chooseItemForScript(-1));
        EXPECT_EQ(button->expanded(), open);
    }
    EXPECT_TRUE(changes.empty());
    // A disabled chooser refuses a scripted choice too.
    button->setEnabled(false);
    EXPECT_FALSE(button->chooseItemForScript(2));
    EXPECT_EQ(button->selectedItem(), 1);
}

TEST_F(OptionScreen, InitialIndexOutOfRangeKeepsTheFirstItemWithTheRowOpen)
{
    make(kEnlight, 3);
    EXPECT_EQ(button->selectedItem(), 0);
    EXPECT_TRUE(button->expanded());
    EXPECT_EQ(button->frame(), QRectF(8, 8, 114, 32));
    // The labels stay where they were made.
    EXPECT_EQ(labelFrames(),
        (std::vector<QRectF> { QRectF(54, -3, 50, 26), QRectF(104, -3, 50, 26), QRectF(154, -3, 50, 26) }));

    // The first tap acts on the open row: the part of "Manual" inside the control chooses it.
    touches.tap(QPointF(8 + 110, 8 + 10));
    EXPECT_EQ(button->selectedItem(), 1);
    EXPECT_FALSE(button->expanded());
    EXPECT_EQ(changes, std::vector<int> { 1 });
}

TEST_F(OptionScreen, ChoosingFromCodeMovesAtOnceWhenCollapsedAndAnimatesWhenOpen)
{
    make(kPreset, 3, 40);
    button->setSelectedItem(1);
    EXPECT_EQ(button->labels()[1]->presentationBounds().width(), 40);
    EXPECT_EQ(button->labels()[3]->presentationBounds().width(), 0);
    EXPECT_EQ(changes, std::vector<int> { 1 });

    touches.tap(title());
    settle();
    button->setSelectedItem(2);
    EXPECT_FALSE(button->expanded());
    EXPECT_EQ(button->frame().width(), 104); // the model is there at once
    EXPECT_TRUE(Animator::instance().isAnimating());
    EXPECT_EQ(button->presentationBounds().width(), 224); // the drawing starts from the open row
    clock.advance(0.1);
    EXPECT_GT(button->presentationBounds().width(), 104);
    EXPECT_LT(button->presentationBounds().width(), 224);
    settle();
    EXPECT_EQ(button->presentationBounds().width(), 104);
    EXPECT_EQ(changes, (std::vector<int> { 1, 2 }));
}

namespace {

// Dark (text) pixels inside a rectangle given in points of a scale-2 snapshot.
int darkPixels(const QImage& image, const QRectF& points)
{
    const QRect r = QRectF(points.topLeft() * 2, points.size() * 2).toAlignedRect() & image.rect();
    int dark = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            dark += qGray(image.pixel(x, y)) < 60;
    return dark;
}

} // namespace

TEST_F(OptionScreen, DrawsAHalfWhiteRoundedBoxWithABlackBorderAndTheVisibleItems)
{
    root.setBackgroundColor(QColor(120, 160, 200));
    make(kEnlight, 1);
    QImage shot = root.snapshot(2);

    // Half white over the screen inside; a dark border at the edge; the rounded corner
    // leaves the screen showing.
    const QRgb inside = shot.pixel(2 * (8 + 58), 2 * (8 + 4));
    EXPECT_NEAR(qRed(inside), 188, 3);
    EXPECT_NEAR(qBlue(inside), 228, 3);
    EXPECT_LT(qGray(shot.pixel(2 * (8 + 60), 2 * 8 + 1)), 40); // top edge, 1 point thick
    EXPECT_GT(qRed(shot.pixel(2 * (8 + 60), 2 * 8 + 3)), 150); // just below it
    EXPECT_EQ(shot.pixel(2 * 8 + 1, 2 * 8 + 1), qRgb(120, 160, 200)); // outside the corner curve
    EXPECT_EQ(shot.pixel(2 * (8 + 115), 2 * (8 + 16)), qRgb(120, 160, 200)); // right of the collapsed box

    // Collapsed: title and one item drawn, nothing past the box.
    EXPECT_GT(darkPixels(shot, QRectF(8 + 8, 8 + 9, 44, 16)), 40);
    EXPECT_GT(darkPixels(shot, QRectF(8 + 56, 8 + 8, 46, 16)), 40);
    EXPECT_EQ(darkPixels(shot, QRectF(8 + 116, 8, 120, 32)), 0);
    EXPECT_EQ(darkPixels(shot, QRectF(8 + 102, 8 + 12, 7, 8)), 0); // no trace of the hidden items

    touches.tap(title());
    settle();
    shot = root.snapshot(2);
    for (int i = 0; i < 3; ++i)
        EXPECT_GT(darkPixels(shot, QRectF(8 + 56 + 50 * i, 8 + 8, 46, 16)), 40) << i;
    EXPECT_LT(qGray(shot.pixel(2 * (8 + 213) + 1, 2 * (8 + 16))), 40); // right border of the open box
}

TEST_F(OptionScreen, AReceiverMayDestroyTheControlWhileItReports)
{
    make(kEnlight, 0);
    button->addTarget(
        nullptr,
        [this](Control& sender, const Touch*) {
            sender.removeFromSuperview(); // destroyed right here
            button = nullptr;
        },
        ControlEventValueChanged);
    touches.tap(title());
    touches.tap(QPointF(8 + 54 + 75, 8 + 16));
    settle();
    EXPECT_EQ(button, nullptr);
    EXPECT_EQ(changes, std::vector<int> { 1 });
    EXPECT_TRUE(root.subviews().empty());
}
