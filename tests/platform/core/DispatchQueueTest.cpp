#include "platform/core/DispatchQueue.h"

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include <QStringList>

#include <gtest/gtest.h>

#include "platform/core/Log.h"
#include "support/Gate.h"
#include "support/LogCapture.h"

using namespace std::chrono_literals;
using platform::DispatchQueue;
using testing_support::Gate;

// (That it runs on a thread named after it is the capture session's test.)
TEST(DispatchQueue, RunsTasksOneAtATimeInSubmissionOrderOnOneThread)
{
    DispatchQueue queue(QStringLiteral("myQueue"));
    std::mutex mutex;
    std::vector<std::pair<int, int>> ran; // (producer, sequence)
    std::atomic<int> running { 0 };
    std::atomic<bool> overlapped { false };
    std::thread::id worker;

    std::vector<std::thread> producers;
    producers.reserve(4);
    for (int p = 0; p < 4; ++p) {
        producers.emplace_back([&, p] {
            for (int i = 0; i < 200; ++i) {
                queue.async([&, p, i] {
                    if (running.fetch_add(1) != 0)
                        overlapped = true;
                    std::scoped_lock lock(mutex);
                    if (ran.empty())
                        worker = std::this_thread::get_id();
                    EXPECT_EQ(worker, std::this_thread::get_id());
                    ran.emplace_back(p, i);
                    running.fetch_sub(1);
                });
            }
        });
    }
    for (auto& producer : producers)
        producer.join();
    ASSERT_TRUE(queue.drain(60s));

    EXPECT_FALSE(overlapped);
    ASSERT_EQ(ran.size(), 800u);
    std::vector<int> next(4, 0);
    for (const auto& [producer, sequence] : ran)
        EXPECT_EQ(sequence, next[producer]++) << "producer " << producer;
}

TEST(DispatchQueue, ShutdownWaitsForTheRunningTaskDropsTheRestAndRefusesNewOnes)
{
    DispatchQueue queue(QStringLiteral("q"));
    Gate started;
    Gate release;
    std::atomic<int> laterRan { 0 };
    ASSERT_TRUE(queue.async([&] {
        started.open();
        release.wait();
    }));
    for (int i = 0; i < 3; ++i)
        queue.async([&] { ++laterRan; });
    ASSERT_TRUE(started.wait());

    EXPECT_FALSE(queue.shutdown(20ms)) << "the running task is still blocked";
    EXPECT_FALSE(queue.async([&] { ++laterRan; })) << "a stopping queue takes no more work";
    release.open();
    EXPECT_TRUE(queue.shutdown(60s));
    EXPECT_EQ(laterRan.load(), 0);
    EXPECT_EQ(queue.pendingCount(), 0u);
}

TEST(DispatchQueue, DrainFromInsideATaskFailsInsteadOfDeadlocking)
{
    DispatchQueue queue(QStringLiteral("q"));
    std::atomic<int> result { -1 };
    queue.async([&] { result = queue.drain(60s) ? 1 : 0; });
    ASSERT_TRUE(queue.drain(60s));
    EXPECT_EQ(result.load(), 0);
}

TEST(DispatchQueue, DestructorWaitsForTheTaskInProgress)
{
    auto queue = std::make_unique<DispatchQueue>(QStringLiteral("q"));
    Gate started;
    Gate release;
    std::atomic<int> order { 0 };
    std::atomic<int> taskFinished { 0 };
    std::atomic<int> queueDestroyed { 0 };
    queue->async([&] {
        started.open();
        release.wait();
        taskFinished = ++order;
    });
    ASSERT_TRUE(started.wait());
    std::thread destroyer([&] {
        queue.reset();
        queueDestroyed = ++order;
    });
    release.open();
    destroyer.join();
    EXPECT_EQ(taskFinished.load(), 1);
    EXPECT_EQ(queueDestroyed.load(), 2);
}

TEST(DispatchQueue, AThrowingTaskIsLoggedAndTheQueueKeepsRunning)
{
    testing_support::LogCapture log;
    DispatchQueue queue(QStringLiteral("q"));
    std::atomic<bool> ranAfter { false };
    queue.async([] { throw std::runtime_error("disk full"); });
    queue.async([&] { ranAfter = true; });
    queue.drain();
    EXPECT_TRUE(ranAfter);
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(log.lines()[0].contains(QLatin1String("disk full")));
}
