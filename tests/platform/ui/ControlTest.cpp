#include <gtest/gtest.h>

#include "platform/ui/Button.h"

using namespace platform;

// A tap lands on the topmost view under it that takes touches: through transforms, past hidden,
// nearly transparent and non-interactive views.
TEST(HitTesting, HonoursTransformsHiddenViewsAlphaAndInteraction)
{
    View root(QRectF(0, 0, 320, 480));
    auto* button = root.addSubview(std::make_unique<Button>(QRectF(100, 100, 100, 40), QStringLiteral("Go")));
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
