#include "analytics/TallyHeartBeater.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include "analytics/TallyNotificationCenter.h"

namespace {

using analytics::TallyHeartBeater;
using analytics::TallyNotificationCenter;

// Runs the event loop until `beats` notifications have arrived or 10 s have passed.
int waitForBeats(int beats)
{
    int seen = 0;
    QEventLoop loop;
    const int token = TallyNotificationCenter::addObserver(QStringLiteral("TallyHeartBeatNotification"), [&] {
        if (++seen >= beats)
            loop.quit();
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    TallyNotificationCenter::removeObserver(token);
    return seen;
}

TEST(TallyHeartBeater, PostsTheNotificationRepeatedlyAtItsInterval)
{
    TallyHeartBeater beater;
    beater.start(0.05);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(waitForBeats(3), 3);
    EXPECT_GE(clock.elapsed(), 120); // three intervals of 50 ms, give or take timer slack
    beater.stop();
    EXPECT_FALSE(beater.isRunning());
}

TEST(TallyHeartBeater, TheProcessWideInstanceBeatsOncePerSecondAndIsCreatedOnce)
{
    TallyHeartBeater* first = TallyHeartBeater::createAndStartInstance(1.0);
    TallyHeartBeater* again = TallyHeartBeater::createAndStartInstance(0.01);
    EXPECT_EQ(first, again);
    EXPECT_EQ(TallyHeartBeater::instance(), first);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(waitForBeats(1), 1);
    EXPECT_GE(clock.elapsed(), 900); // the second call did not speed it up
    TallyHeartBeater::destroyInstance();
    EXPECT_EQ(TallyHeartBeater::instance(), nullptr);
}

TEST(TallyNotificationCenter, DeliversByNameUntilRemoved)
{
    int beats = 0;
    int others = 0;
    const int token = TallyNotificationCenter::addObserver(QStringLiteral("A"), [&] { ++beats; });
    const int other = TallyNotificationCenter::addObserver(QStringLiteral("B"), [&] { ++others; });
    TallyNotificationCenter::post(QStringLiteral("A"));
    TallyNotificationCenter::removeObserver(token);
    TallyNotificationCenter::post(QStringLiteral("A"));
    TallyNotificationCenter::removeObserver(other);
    EXPECT_EQ(beats, 1);
    EXPECT_EQ(others, 0);
}

} // namespace
