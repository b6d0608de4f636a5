#include "analytics/TallyHeartBeater.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include "platform/core/NotificationCenter.h"

namespace {

using analytics::TallyHeartBeater;
using platform::NotificationCenter;

// Runs the event loop until `beats` notifications have arrived or 10 s have passed.
int waitForBeats(int beats)
{
    int seen = 0;
    QEventLoop loop;
    const auto token = NotificationCenter::defaultCenter().addObserver(
        QStringLiteral("TallyHeartBeatNotification"), nullptr, [&](const platform::Notification&) {
            if (++seen >= beats)
                loop.quit();
        });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    NotificationCenter::defaultCenter().removeObserver(token);
    return seen;
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
}

} // namespace
