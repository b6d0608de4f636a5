#pragma once

// Checks, in debug builds, that an object is used from the one thread its header names. A checker
// is bound to the thread that constructs it; detach() unbinds it, and the next check binds it to
// whichever thread calls then (for objects made on one thread and handed to another, such as a
// worker's state made before the worker starts).
//
//   class Renderer {
//       void draw() { LUMIVUE_CHECK_THREAD(m_guiThread); ... }
//       platform::ThreadChecker m_guiThread;
//   };
//
// In release builds ThreadChecker is empty and LUMIVUE_CHECK_THREAD expands to nothing.
// ThreadCheckerImpl is the checking one in every build (its own tests use it).
//
// Threads: any thread; a check and a detach may race with each other.

#include <atomic>
#include <cassert>
#include <thread>

namespace platform {

class ThreadCheckerImpl {
public:
    ThreadCheckerImpl()
        : m_bound(std::this_thread::get_id())
    {
    }

    // True on the bound thread; a detached checker binds to the calling thread and says true.
    bool calledOnValidThread() const
    {
        const std::thread::id self = std::this_thread::get_id();
        std::thread::id expected {};
        if (m_bound.compare_exchange_strong(expected, self, std::memory_order_relaxed))
            return true;
        return expected == self;
    }
    // Unbinds: the next thread to check becomes the bound one.
    void detach() { m_bound.store(std::thread::id {}, std::memory_order_relaxed); }

private:
    mutable std::atomic<std::thread::id> m_bound;
};

class ThreadCheckerDoNothing {
public:
    bool calledOnValidThread() const { return true; }
    void detach() { }
};

#ifdef NDEBUG
using ThreadChecker = ThreadCheckerDoNothing;
#define LUMIVUE_CHECK_THREAD(checker) static_cast<void>(sizeof(checker))
#else
using ThreadChecker = ThreadCheckerImpl;
#define LUMIVUE_CHECK_THREAD(checker) assert((checker).calledOnValidThread() && "called on the wrong thread")
#endif

} // namespace platform
