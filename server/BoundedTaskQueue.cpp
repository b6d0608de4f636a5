#include "BoundedTaskQueue.h"

namespace collector {

namespace {

thread_local bool t_refusing = false;

} // namespace

BoundedTaskQueue::BoundedTaskQueue(int workers, int maxPending)
    : m_maxPending(static_cast<std::size_t>(maxPending))
{
    for (int i = 0; i < workers; ++i)
        m_workers.emplace_back([this] { work(); });
}

BoundedTaskQueue::~BoundedTaskQueue()
{
    shutdown();
}

bool BoundedTaskQueue::isRefusing()
{
    return t_refusing;
}

void BoundedTaskQueue::enqueue(std::function<void()> task)
{
    {
        std::scoped_lock lock(m_mutex);
        if (m_pending.size() < m_maxPending && !m_shuttingDown) {
            m_pending.push_back(std::move(task));
            m_wake.notify_one();
            return;
        }
    }
    // The task owns the socket: it must run to close it, so it runs here, answering 503.
    t_refusing = true;
    task();
    t_refusing = false;
}

void BoundedTaskQueue::shutdown()
{
    {
        std::scoped_lock lock(m_mutex);
        m_shuttingDown = true;
    }
    m_wake.notify_all();
    for (std::thread& worker : m_workers) {
        if (worker.joinable())
            worker.join();
    }
    m_workers.clear();
}

void BoundedTaskQueue::work()
{
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_shuttingDown || !m_pending.empty(); });
            if (m_pending.empty())
                return; // shutting down with nothing left
            task = std::move(m_pending.front());
            m_pending.pop_front();
        }
        task();
    }
}

} // namespace collector
