#include <cmath>

#include <gtest/gtest.h>

#include "FakeAnimationClock.h"
#include "platform/ui/View.h"

using namespace platform;

TEST(Animation, MovesOverTheDurationAndEndsExactlyAtTheTarget)
{
    FakeAnimationClock clock;
    View view(QRectF(0, 0, 232, 128));
    const QRectF start = view.frame();
    const QTransform turn = QTransform().rotateRadians(M_PI_2);
    bool done = false;

    View::beginAnimations(QStringLiteral("turn"));
    View::setAnimationDuration(0.5);
    View::setAnimationCompletion([&done](bool finished) { done = finished; });
    view.setTransform(turn);
    QRectF f = view.frame();
    f.moveTopLeft(QPointF(0, 0));
    view.setFrame(f);
    view.setAlpha(0.25);
    View::commitAnimations();

    // The model is at the target at once; what is drawn starts where it was.
    EXPECT_EQ(view.transform(), turn);
    EXPECT_EQ(view.presentationTransform(), QTransform());
    EXPECT_EQ(view.presentationCenter(), start.center());
    EXPECT_EQ(Animator::instance().runningAnimations(), QStringList { QStringLiteral("turn") });

    clock.advance(0.25);
    const QTransform mid = view.presentationTransform();
    const double angle = std::atan2(mid.m12(), mid.m11());
    EXPECT_NEAR(angle, M_PI_4, 1e-9); // halfway by time and by the symmetric curve
    EXPECT_NEAR(std::hypot(mid.m11(), mid.m12()), 1.0, 1e-9); // turns, does not shrink
    EXPECT_GT(view.presentationAlpha(), 0.25);
    EXPECT_LT(view.presentationAlpha(), 1.0);
    EXPECT_FALSE(done);

    clock.advance(0.3);
    EXPECT_TRUE(done);
    EXPECT_EQ(view.presentationTransform(), turn);
    EXPECT_EQ(view.presentationCenter(), view.center());
    EXPECT_EQ(view.presentationAlpha(), 0.25);
    EXPECT_FALSE(Animator::instance().isAnimating());
}

TEST(Animation, ANewAnimationStartsFromWhatIsDrawn)
{
    FakeAnimationClock clock;
    View view(QRectF(0, 0, 10, 10)); // centre (5, 5)
    View::beginAnimations(QStringLiteral("first"));
    View::setAnimationDuration(1.0);
    view.setCenter(QPointF(105, 5));
    View::commitAnimations();
    clock.advance(0.5);
    const QPointF midway = view.presentationCenter();
    EXPECT_NEAR(midway.x(), 55, 1e-9);

    View::beginAnimations(QStringLiteral("second"));
    View::setAnimationDuration(1.0);
    view.setCenter(QPointF(5, 5));
    View::commitAnimations();
    EXPECT_NEAR(view.presentationCenter().x(), 55, 1e-9); // no jump
    clock.advance(1.0);
    EXPECT_EQ(view.presentationCenter(), QPointF(5, 5));
}

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
