#include "platform/album/AlbumWorker.h"

#include <exception>

#include <pthread.h>

#include "platform/core/Log.h"

namespace platform {

AlbumWorker::AlbumWorker()
    : m_thread([queue = m_queue] { run(queue); })
{
    pthread_setname_np(m_thread.native_handle(), "album");
}

AlbumWorker::~AlbumWorker()
{
    {
        std::scoped_lock lock(m_queue->mutex);
        m_queue->stopping = true;
    }
    m_queue->wake.notify_one();
    if (m_thread.get_id() == std::this_thread::get_id())
        m_thread.detach(); // the running task's own thread: it drains the queue and exits
    else
        m_thread.join();
}

void AlbumWorker::post(Task task)
{
    {
        std::scoped_lock lock(m_queue->mutex);
        m_queue->tasks.push_back(std::move(task));
    }
    m_queue->wake.notify_one();
}

void AlbumWorker::run(const std::shared_ptr<Queue>& queue)
{
    for (;;) {
        Task task;
        {
            std::unique_lock lock(queue->mutex);
            queue->wake.wait(lock, [&] { return queue->stopping || !queue->tasks.empty(); });
            if (queue->tasks.empty())
                return; // stopping and drained
            task = std::move(queue->tasks.front());
            queue->tasks.pop_front();
        }
        // A throwing completion must not end the thread (and with it the process).
        try {
            task();
        } catch (const std::exception& e) {
            log(lcAlbum(), "Album task failed: %s", e.what());
        } catch (...) {
            log(lcAlbum(), "Album task failed");
        }
    }
}

} // namespace platform
