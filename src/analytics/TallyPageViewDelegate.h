#pragma once

// Counts page views of a navigation or tab-bar controller: installed as the controller's delegate,
// it passes every callback on to the delegate it replaced, then counts a page view after a screen
// was shown or a tab selected. The page view goes to the session current at that moment, so views
// after a session change are not lost in a session that was already saved. Main thread.

#include <memory>

#include "analytics/TallyNavigationDelegate.h"
#include "analytics/TallyTabBarDelegate.h"

namespace analytics {

class TallyNavigationController;
class TallyTabBarController;

class TallyPageViewDelegate : public TallyNavigationDelegate, public TallyTabBarDelegate {
public:
    // Creates an observer for the current session and the controller's present delegate and
    // installs it as the controller's delegate. Returns null when there is no current session.
    static std::shared_ptr<TallyPageViewDelegate> createDelegateOnTarget(
        TallyNavigationController& controller);
    static std::shared_ptr<TallyPageViewDelegate> createDelegateOnTarget(TallyTabBarController& controller);

    TallyPageViewDelegate(std::shared_ptr<TallyNavigationDelegate> previousNavigationDelegate,
        std::shared_ptr<TallyTabBarDelegate> previousTabBarDelegate);

    void navigationControllerWillShow(
        QObject* navigationController, QObject* viewController, bool animated) override;
    void navigationControllerDidShow(
        QObject* navigationController, QObject* viewController, bool animated) override;
    bool tabBarControllerShouldSelect(QObject* tabBarController, QObject* viewController) override;
    void tabBarControllerDidSelect(QObject* tabBarController, QObject* viewController) override;
    void tabBarControllerWillBeginCustomizing(
        QObject* tabBarController, const QList<QObject*>& viewControllers) override;
    void tabBarControllerWillEndCustomizing(
        QObject* tabBarController, const QList<QObject*>& viewControllers, bool changed) override;
    void tabBarControllerDidEndCustomizing(
        QObject* tabBarController, const QList<QObject*>& viewControllers, bool changed) override;

private:
    void countPageView();

    std::shared_ptr<TallyNavigationDelegate> m_previousNavigationDelegate;
    std::shared_ptr<TallyTabBarDelegate> m_previousTabBarDelegate;
};

} // namespace analytics
