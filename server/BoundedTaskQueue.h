#pragma once

// cpp-httplib's task queue with a bound: a fixed set of worker threads and at most `maxPending`
// connections waiting for one. A connection beyond that is not queued: it is served at once on the
// accepting thread in "refusing" mode, where the server answers 503 without reading the body, so
// a flood of clients costs bounded memory and each is told to come back later.
//
// enqueue() and shutdown() are called by the server's accepting thread; the tasks run on the
// workers. shutdown() lets the queued connections finish, then joins the workers.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <httplib.h>

namespace collector {

class BoundedTaskQueue : public httplib::TaskQueue {
public:
    BoundedTaskQueue(int workers, int maxPending);
    ~BoundedTaskQueue() override;
    BoundedTaskQueue(const BoundedTaskQueue&) = delete;
    BoundedTaskQueue& operator=(const BoundedTaskQueue&) = delete;

    void enqueue(std::function<void()> task) override;
    void shutdown() override;

    // True on the thread serving a connection that the queue had no room for.
    static bool isRefusing();

private:
    void work();

    const std::size_t m_maxPending;
    std::mutex m_mutex;
    std::condition_variable m_wake; // guarded by m_mutex
    std::deque<std::function<void()>> m_pending; // guarded by m_mutex
    bool m_shuttingDown { false }; // guarded by m_mutex
    std::vector<std::thread> m_workers;
};

} // namespace collector
