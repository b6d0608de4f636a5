#include <atomic>
#include <thread>

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include "platform/core/NotificationCenter.h"
#include "support/WaitUntil.h"

using namespace platform;

TEST(NotificationCenterTest, DeliversByNameUntilRemovedEvenDuringADelivery)
{
    NotificationCenter center;
    int a = 0, b = 0, owner = 0;
    const int poster = 0;
    const auto tokenA = center.addObserver(QStringLiteral("A"), &owner, [&](const Notification&) { ++a; });
    center.addObserver(QStringLiteral("B"), &owner, [&](const Notification& n) {
        ++b;
        EXPECT_EQ(n.object, &poster);
    });
    center.post(QStringLiteral("A"));
    center.post(QStringLiteral("B"), &poster);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 1);

    center.removeObserver(tokenA);
    center.post(QStringLiteral("A"));
    EXPECT_EQ(a, 1);
    center.removeObserver(&owner);
    center.post(QStringLiteral("B"), &poster);
    EXPECT_EQ(b, 1);

    // An observer removed by an earlier one during the same delivery is not called.
    int second = 0;
    NotificationCenter::Token secondToken = 0;
    center.addObserver(
        QStringLiteral("N"), nullptr, [&](const Notification&) { center.removeObserver(secondToken); });
    secondToken = center.addObserver(QStringLiteral("N"), nullptr, [&](const Notification&) { ++second; });
    center.post(QStringLiteral("N"));
    EXPECT_EQ(second, 0);
}

TEST(NotificationCenterTest, PostsFromAnotherThreadArriveOnTheMainThread)
{
    NotificationCenter center;
    std::atomic<int> delivered { 0 };
    bool allOnMain = true;
    QThread* main = QCoreApplication::instance()->thread();
    center.addObserver(QStringLiteral("frame"), nullptr, [&](const Notification&) {
        allOnMain = allOnMain && QThread::currentThread() == main;
        ++delivered;
    });
    std::thread poster([&center] {
        for (int i = 0; i < 100; ++i)
            center.post(QStringLiteral("frame"));
    });
    poster.join();
    ASSERT_TRUE(testing_support::waitUntil([&] { return delivered.load() == 100; }));
    EXPECT_TRUE(allOnMain);

    // Queued posts do not reach an observer removed before they arrive.
    int late = 0;
    const auto token
        = center.addObserver(QStringLiteral("late"), nullptr, [&](const Notification&) { ++late; });
    std::thread([&center] { center.post(QStringLiteral("late")); }).join();
    center.removeObserver(token);
    center.post(QStringLiteral("frame")); // delivered synchronously, after the queued one
    QCoreApplication::processEvents();
    EXPECT_EQ(late, 0);
}
