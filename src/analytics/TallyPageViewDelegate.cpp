#include "analytics/TallyPageViewDelegate.h"

#include "analytics/TallyNavigationController.h"
#include "analytics/TallySession.h"
#include "analytics/TallyTabBarController.h"
#include "analytics/TallyUtil.h"

namespace analytics {

std::shared_ptr<TallyPageViewDelegate> TallyPageViewDelegate::createDelegateOnTarget(
    TallyNavigationController& controller)
{
    if (!TallySession::currentSession())
        return {};
    auto delegate = std::make_shared<TallyPageViewDelegate>(controller.navigationDelegate(), nullptr);
    controller.setNavigationDelegate(delegate);
    return delegate;
}

std::shared_ptr<TallyPageViewDelegate> TallyPageViewDelegate::createDelegateOnTarget(
    TallyTabBarController& controller)
{
    if (!TallySession::currentSession())
        return {};
    auto delegate = std::make_shared<TallyPageViewDelegate>(nullptr, controller.tabBarDelegate());
    controller.setTabBarDelegate(delegate);
    return delegate;
}

TallyPageViewDelegate::TallyPageViewDelegate(
    std::shared_ptr<TallyNavigationDelegate> previousNavigationDelegate,
    std::shared_ptr<TallyTabBarDelegate> previousTabBarDelegate)
    : m_previousNavigationDelegate(std::move(previousNavigationDelegate))
    , m_previousTabBarDelegate(std::move(previousTabBarDelegate))
{
}

void TallyPageViewDelegate::countPageView()
{
    if (const auto session = TallySession::currentSession())
        session->maybeIncrementPageView();
}

void TallyPageViewDelegate::navigationControllerWillShow(
    QObject* navigationController, QObject* viewController, bool animated)
{
    TallyUtil::guard([&] {
        if (m_previousNavigationDelegate)
            m_previousNavigationDelegate->navigationControllerWillShow(
                navigationController, viewController, animated);
    });
}

void TallyPageViewDelegate::navigationControllerDidShow(
    QObject* navigationController, QObject* viewController, bool animated)
{
    TallyUtil::guard([&] {
        if (m_previousNavigationDelegate)
            m_previousNavigationDelegate->navigationControllerDidShow(
                navigationController, viewController, animated);
        countPageView();
    });
}

bool TallyPageViewDelegate::tabBarControllerShouldSelect(QObject* tabBarController, QObject* viewController)
{
    bool answer = true;
    TallyUtil::guard([&] {
        if (m_previousTabBarDelegate)
            answer = m_previousTabBarDelegate->tabBarControllerShouldSelect(tabBarController, viewController);
    });
    return answer;
}

void TallyPageViewDelegate::tabBarControllerDidSelect(QObject* tabBarController, QObject* viewController)
{
    TallyUtil::guard([&] {
        if (m_previousTabBarDelegate)
            m_previousTabBarDelegate->tabBarControllerDidSelect(tabBarController, viewController);
        countPageView();
    });
}

void TallyPageViewDelegate::tabBarControllerWillBeginCustomizing(
    QObject* tabBarController, const QList<QObject*>& viewControllers)
{
    TallyUtil::guard([&] {
        if (m_previousTabBarDelegate)
            m_previousTabBarDelegate->tabBarControllerWillBeginCustomizing(tabBarController, viewControllers);
    });
}

void TallyPageViewDelegate::tabBarControllerWillEndCustomizing(
    QObject* tabBarController, const QList<QObject*>& viewControllers, bool changed)
{
    TallyUtil::guard([&] {
        if (m_previousTabBarDelegate)
            m_previousTabBarDelegate->tabBarControllerWillEndCustomizing(
                tabBarController, viewControllers, changed);
    });
}

void TallyPageViewDelegate::tabBarControllerDidEndCustomizing(
    QObject* tabBarController, const QList<QObject*>& viewControllers, bool changed)
{
    TallyUtil::guard([&] {
        if (m_previousTabBarDelegate)
            m_previousTabBarDelegate->tabBarControllerDidEndCustomizing(
                tabBarController, viewControllers, changed);
    });
}

} // namespace analytics
