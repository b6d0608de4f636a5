#include <QCoreApplication>

#include <gtest/gtest.h>

#include "FakeAnimationClock.h"
#include "platform/core/AlertPresenter.h"
#include "platform/ui/Alert.h"
#include "platform/ui/Button.h"
#include "platform/ui/TouchDispatcher.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

using namespace platform;

namespace {

// Records its lifecycle calls into a shared journal.
class JournalController : public ViewController {
public:
    JournalController(QString name, QStringList& journal, bool* destroyed = nullptr)
        : m_name(std::move(name))
        , m_journal(journal)
        , m_destroyed(destroyed)
    {
    }
    ~JournalController() override
    {
        if (m_destroyed)
            *m_destroyed = true;
    }
    void viewDidLoad() override { note("didLoad"); }
    void viewWillAppear(bool) override { note("willAppear"); }
    void viewDidAppear(bool) override { note("didAppear"); }
    void viewWillDisappear(bool) override { note("willDisappear"); }
    void viewDidDisappear(bool) override { note("didDisappear"); }
    void viewDidUnload() override { note("didUnload"); }

private:
    void note(const char* what) { m_journal << m_name + QLatin1Char('.') + QLatin1String(what); }
    QString m_name;
    QStringList& m_journal;
    bool* m_destroyed;
};

} // namespace

TEST(ViewControllerTest, AnimatedModalPresentationAndDismissalRunTheLifecycleInOrder)
{
    FakeAnimationClock clock;
    QStringList journal;
    Window window(QRectF(0, 0, 320, 480));
    JournalController main(QStringLiteral("main"), journal);
    window.setRootViewController(&main);
    EXPECT_EQ(journal, (QStringList { "main.didLoad", "main.willAppear", "main.didAppear" }));
    EXPECT_FALSE(main.unloadView()); // a view on screen stays loaded

    journal.clear();
    bool destroyed = false;
    auto viewer = std::make_unique<JournalController>(QStringLiteral("viewer"), journal, &destroyed);
    JournalController* viewerPtr = viewer.get();
    main.presentModalViewController(std::move(viewer), true);
    EXPECT_EQ(journal, (QStringList { "viewer.didLoad", "main.willDisappear", "viewer.willAppear" }));
    EXPECT_EQ(viewerPtr->view().presentationCenter().y(), 240 + 480); // starts below the screen
    clock.advance(0.3);
    EXPECT_EQ(journal.mid(3), (QStringList { "main.didDisappear", "viewer.didAppear" }));
    EXPECT_EQ(viewerPtr->view().frame(), window.bounds());
    EXPECT_EQ(window.hitTest(QPointF(10, 10)), &viewerPtr->view());

    // The viewer dismisses itself from one of its own buttons: it must survive that action.
    journal.clear();
    auto* done
        = static_cast<Button*>(viewerPtr->view().addSubview(std::make_unique<Button>(QRectF(0, 0, 50, 50))));
    done->addTarget(
        nullptr, [viewerPtr](Control&, const Touch*) { viewerPtr->dismissModalViewController(false); },
        ControlEventTouchUpInside);
    TouchDispatcher touches(window);
    touches.tap(QPointF(25, 25));
    EXPECT_EQ(journal,
        (QStringList { "viewer.willDisappear", "main.willAppear", "viewer.didDisappear", "main.didAppear" }));
    EXPECT_EQ(main.modalViewController(), nullptr);
    EXPECT_FALSE(destroyed); // not inside its own action
    QCoreApplication::processEvents();
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(window.hitTest(QPointF(10, 10)), &main.view());
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
