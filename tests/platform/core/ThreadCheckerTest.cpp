#include "platform/core/ThreadChecker.h"

#include <memory>
#include <thread>

#include <gtest/gtest.h>

namespace {

using platform::ThreadCheckerImpl;

bool checkOnOtherThread(const ThreadCheckerImpl& checker)
{
    bool valid = true;
    std::thread([&] { valid = checker.calledOnValidThread(); }).join();
    return valid;
}

TEST(ThreadChecker, BoundToTheConstructingThreadUnlessDetached)
{
    const ThreadCheckerImpl checker;
    EXPECT_TRUE(checker.calledOnValidThread());
    EXPECT_FALSE(checkOnOtherThread(checker));
    EXPECT_TRUE(checker.calledOnValidThread()) << "a wrong call does not rebind";

    // Bound when made, not at the first check.
    std::unique_ptr<ThreadCheckerImpl> made;
    std::thread([&] { made = std::make_unique<ThreadCheckerImpl>(); }).join();
    EXPECT_FALSE(made->calledOnValidThread());

    // Detached, it binds to the next caller.
    ThreadCheckerImpl detached;
    detached.detach();
    EXPECT_TRUE(checkOnOtherThread(detached)) << "the other thread binds it";
    EXPECT_FALSE(detached.calledOnValidThread()) << "and keeps it";
}

} // namespace
