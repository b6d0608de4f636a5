#include "platform/core/DispatchQueue.h"

#include <exception>

#include <pthread.h>

#include "platform/core/Log.h"

namespace platform {

DispatchQueue::DispatchQueue(const QString& label)
    : m_label(label)
{
    m_worker = std::thread([this] { run(); });
    m_workerId = m_worker.get_id();
}

DispatchQueue::~DispatchQueue()
{
    shutdown(std::chrono::milliseconds(0));
    std::scoped_lock lock(m_joinMutex);
    if (m_worker.joinable())
        m_worker.join();
}

bool DispatchQueue::async(Task task)
{
    if (!task)
        return false;
    {
        std::scoped_lock lock(m_mutex);
        if (m_stopping)
            return false;
        m_tasks.push_back(std::move(task));
        ++m_submitted;
    }
    m_changed.notify_all();
    return true;
}

bool DispatchQueue::drain(std::chrono::milliseconds timeout)
{
    if (isCurrent())
        return false;
    std::unique_lock lock(m_mutex);
    const std::uint64_t target = m_submitted;
    return m_changed.wait_for(lock, timeout, [&] { return m_finished >= target; });
}

void DispatchQueue::drain()
{
    if (isCurrent())
        return;
    std::unique_lock lock(m_mutex);
    const std::uint64_t target = m_submitted;
    m_changed.wait(lock, [&] { return m_finished >= target; });
}

bool DispatchQueue::shutdown(std::chrono::milliseconds timeout)
{
    if (isCurrent())
        return false;
    std::deque<Task> dropped;
    {
        std::unique_lock lock(m_mutex);
        m_stopping = true;
        dropped.swap(m_tasks);
        m_finished += dropped.size();
        m_changed.notify_all();
        if (!m_changed.wait_for(lock, timeout, [&] { return m_exited; }))
            return false;
    }
    // Dropped tasks are destroyed outside the lock: their captures may own anything.
    dropped.clear();
    std::scoped_lock lock(m_joinMutex);
    if (m_worker.joinable())
        m_worker.join();
    return true;
}

bool DispatchQueue::isCurrent() const
{
    return std::this_thread::get_id() == m_workerId;
}

std::size_t DispatchQueue::pendingCount() const
{
    std::scoped_lock lock(m_mutex);
    return m_tasks.size();
}

void DispatchQueue::runGuarded(const Task& task) const
{
    try {
        task();
    } catch (const std::exception& e) {
        log("Task on queue %s failed: %s", qPrintable(m_label), e.what());
    } catch (...) {
        log("Task on queue %s failed", qPrintable(m_label));
    }
}

void DispatchQueue::run()
{
    // Thread names are limited to 15 bytes; the label is what a debugger should show.
    pthread_setname_np(pthread_self(), m_label.left(15).toUtf8().constData());
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [&] { return m_stopping || !m_tasks.empty(); });
        if (m_tasks.empty())
            break; // stopping and nothing left
        Task task = std::move(m_tasks.front());
        m_tasks.pop_front();
        lock.unlock();
        runGuarded(task);
        task = nullptr; // release captures before reporting the task finished
        lock.lock();
        ++m_finished;
        m_changed.notify_all();
    }
    m_exited = true;
    m_changed.notify_all();
}

} // namespace platform
