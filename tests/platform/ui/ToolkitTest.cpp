// The toolkit's guards a user would meet and the screen tests do not reach: taps through turned
// and covered views, the modal alert, and a view destroyed while it animates.
#include <QCoreApplication>

#include <gtest/gtest.h>

#include "FakeAnimationClock.h"
#include "platform/core/AlertPresenter.h"
#include "platform/ui/Alert.h"
#include "platform/ui/Button.h"
#include "platform/ui/TouchDispatcher.h"
#include "platform/ui/Window.h"

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

TEST(AlertTest, PresentedAlertIsModalUntilItsButtonIsTapped)
{
    Window window(QRectF(0, 0, 320, 480));
    window.makeKeyAndVisible();
    auto* button = static_cast<Button*>(window.addSubview(std::make_unique<Button>(QRectF(0, 0, 320, 480))));
    int taps = 0;
    button->addTarget(
        nullptr, [&](Control&, const Touch*) { ++taps; }, ControlEventTouchUpInside);
    TouchDispatcher touches(window);

    Alert::installAsPresenter();
    presentAlert(QStringLiteral("Error!"), QStringLiteral("The photo was not saved."), QStringLiteral("OK"));
    Alert::uninstallPresenter();
    QCoreApplication::processEvents(); // the presenter queues to the main thread
    View* alert = window.findViewByAccessibilityName(QStringLiteral("alert"));
    ASSERT_NE(alert, nullptr);
    touches.tap(QPointF(20, 20)); // on the dimmed screen: swallowed
    EXPECT_EQ(taps, 0);

    View* ok = window.findViewByAccessibilityName(QStringLiteral("alertButton"));
    ASSERT_NE(ok, nullptr);
    touches.tap(ok->convertPointToRoot(ok->bounds().center()));
    QCoreApplication::processEvents();
    EXPECT_EQ(window.findViewByAccessibilityName(QStringLiteral("alert")), nullptr);
    touches.tap(QPointF(20, 20));
    EXPECT_EQ(taps, 1);
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
