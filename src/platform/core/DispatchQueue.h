#pragma once

// A named serial queue: one worker thread runs the submitted tasks one at a time, in the order
// they were submitted. The camera delivers its frames on such a queue ("myQueue"); the album runs
// its operations and completions on one ("album"). A task that throws is logged and the queue
// goes on with the next one: a throw must not end the worker (and with it the process).
//
// Threads: every method may be called from any thread, except that drain() and shutdown() must
// not be called from the queue's own worker (a task cannot wait for itself); they return false
// there instead of deadlocking. The destructor shuts the queue down and joins the worker, so a
// task that never returns blocks it: tasks must finish on their own.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include <QString>

namespace platform {

class DispatchQueue {
public:
    using Task = std::function<void()>;

    explicit DispatchQueue(const QString& label);
    ~DispatchQueue();

    DispatchQueue(const DispatchQueue&) = delete;
    DispatchQueue& operator=(const DispatchQueue&) = delete;

    QString label() const { return m_label; }

    // Appends a task. Returns false (and drops the task) once the queue has been shut down.
    bool async(Task task);

    // Waits until every task submitted before this call has run (or was dropped by shutdown).
    // False on timeout or when called on the worker itself.
    bool drain(std::chrono::milliseconds timeout);
    // The same without a limit, for owners that promise every task already submitted will run
    // before they are gone (the album). Returns at once on the worker itself.
    void drain();

    // Stops accepting tasks, drops the ones not yet started, and waits up to `timeout` for the
    // running task to finish and the worker to exit. False if the worker is still busy at the
    // limit; the destructor then waits for it without limit.
    bool shutdown(std::chrono::milliseconds timeout);

    // True on the queue's worker thread (inside a task).
    bool isCurrent() const;
    // Tasks submitted and not yet started.
    std::size_t pendingCount() const;

private:
    void run();
    void runGuarded(const Task& task) const;

    const QString m_label;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed; // guarded by m_mutex
    std::deque<Task> m_tasks; // guarded by m_mutex
    std::uint64_t m_submitted { 0 }; // guarded by m_mutex: tasks accepted so far
    std::uint64_t m_finished { 0 }; // guarded by m_mutex: tasks run or dropped so far
    bool m_stopping { false }; // guarded by m_mutex
    bool m_exited { false }; // guarded by m_mutex: the worker left its loop
    std::mutex m_joinMutex; // serialises joining m_worker
    std::thread m_worker; // started once the fields above exist
    std::thread::id m_workerId; // written once in the constructor
};

} // namespace platform
