#pragma once

// The album's own thread: runs posted tasks one after another, in posting order. Every album
// operation and every completion runs here.
//
// Destruction drains the queue (every task already posted still runs) and joins the thread, so
// no completion runs after the owner is gone. Destroying the worker from one of its own tasks
// cannot join; the thread then finishes the queue on its own and exits.
//
// post(): any thread. Destructor: any thread (see above).

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace platform {

class AlbumWorker {
public:
    using Task = std::function<void()>;

    AlbumWorker();
    ~AlbumWorker();
    AlbumWorker(const AlbumWorker&) = delete;
    AlbumWorker& operator=(const AlbumWorker&) = delete;

    void post(Task task);

private:
    struct Queue {
        std::mutex mutex;
        std::condition_variable wake;
        std::deque<Task> tasks;  // guarded by mutex
        bool stopping { false }; // guarded by mutex
    };

    static void run(const std::shared_ptr<Queue>& queue);

    std::shared_ptr<Queue> m_queue { std::make_shared<Queue>() };
    std::thread m_thread;
};

} // namespace platform
