#pragma once

// The callbacks a navigation controller (a stack of screens) sends its delegate. Every callback
// has a do-nothing default, so a delegate implements only what it needs. Main thread.

#include <QObject>

namespace analytics {

class TallyNavigationDelegate {
public:
    virtual ~TallyNavigationDelegate() = default;

    virtual void navigationControllerWillShow(
        QObject* navigationController, QObject* viewController, bool animated)
    {
        (void)navigationController, (void)viewController, (void)animated;
    }
    virtual void navigationControllerDidShow(
        QObject* navigationController, QObject* viewController, bool animated)
    {
        (void)navigationController, (void)viewController, (void)animated;
    }
};

} // namespace analytics
