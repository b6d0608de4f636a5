#pragma once

// The callbacks a tab-bar controller sends its delegate. Every callback has a default (allow the
// selection, otherwise do nothing), so a delegate implements only what it needs. Main thread.

#include <QList>
#include <QObject>

namespace analytics {

class TallyTabBarDelegate {
public:
    virtual ~TallyTabBarDelegate() = default;

    virtual bool tabBarControllerShouldSelect(QObject* tabBarController, QObject* viewController)
    {
        (void)tabBarController, (void)viewController;
        return true;
    }
    virtual void tabBarControllerDidSelect(QObject* tabBarController, QObject* viewController)
    {
        (void)tabBarController, (void)viewController;
    }
    virtual void tabBarControllerWillBeginCustomizing(
        QObject* tabBarController, const QList<QObject*>& viewControllers)
    {
        (void)tabBarController, (void)viewControllers;
    }
    virtual void tabBarControllerWillEndCustomizing(
        QObject* tabBarController, const QList<QObject*>& viewControllers, bool changed)
    {
        (void)tabBarController, (void)viewControllers, (void)changed;
    }
    virtual void tabBarControllerDidEndCustomizing(
        QObject* tabBarController, const QList<QObject*>& viewControllers, bool changed)
    {
        (void)tabBarController, (void)viewControllers, (void)changed;
    }
};

} // namespace analytics
