#include "platform/system/BackgroundTasks.h"

#include <map>
#include <mutex>
#include <vector>

namespace platform {

namespace {

std::mutex g_tasksMutex; // guards g_tasks and g_nextTask
std::map<BackgroundTaskId, std::function<void()>> g_tasks;
BackgroundTaskId g_nextTask { 1 };

} // namespace

bool BackgroundTasks::isSupported()
{
    return true;
}

BackgroundTaskId BackgroundTasks::begin(std::function<void()> expiryHandler)
{
    std::scoped_lock lock(g_tasksMutex);
    const BackgroundTaskId task = g_nextTask++;
    g_tasks.emplace(task, std::move(expiryHandler));
    return task;
}

void BackgroundTasks::end(BackgroundTaskId task)
{
    std::scoped_lock lock(g_tasksMutex);
    g_tasks.erase(task);
}

int BackgroundTasks::activeCount()
{
    std::scoped_lock lock(g_tasksMutex);
    return static_cast<int>(g_tasks.size());
}

void BackgroundTasks::expireAll()
{
    std::vector<std::function<void()>> handlers;
    {
        std::scoped_lock lock(g_tasksMutex);
        for (auto& [task, handler] : g_tasks)
            handlers.push_back(handler);
    }
    for (auto& handler : handlers) {
        if (handler)
            handler();
    }
}

} // namespace platform
