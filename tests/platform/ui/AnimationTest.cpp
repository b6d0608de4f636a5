#include <gtest/gtest.h>

#include "FakeAnimationClock.h"
#include "platform/ui/View.h"

using namespace platform;

TEST(Animation, DestroyingAnAnimatedViewIsSafe)
{
    FakeAnimationClock clock;
    auto view = std::make_unique<View>(QRectF(0, 0, 10, 10));
    int completions = 0;
    View::beginAnimations(QStringLiteral("gone"));
    View::setAnimationCompletion([&completions](bool) { ++completions; });
    view->setCenter(QPointF(40, 40));
    View::commitAnimations();
    view.reset();
    clock.advance(1.0);
    EXPECT_EQ(completions, 1);
}
