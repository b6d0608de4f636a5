#include <QCoreApplication>

#include <gtest/gtest.h>

#include "platform/core/AlertPresenter.h"
#include "platform/ui/Alert.h"
#include "platform/ui/Button.h"
#include "platform/ui/TouchDispatcher.h"
#include "platform/ui/Window.h"

using namespace platform;

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
