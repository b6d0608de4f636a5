#pragma once

// Lets work running on other threads (camera completions) use an object only while the object
// is open, and lets the object's destructor wait until such work has left.
//
// A completion takes a Pass; while the pass is held the owner stays intact. close() refuses new
// passes and waits for the ones held to be returned. Work inside a pass is short (one still is
// enhanced and handed to the album), so close() waits at most that long.
//
// Threads: any thread. Share it with std::shared_ptr so a late completion can still ask.

#include <condition_variable>
#include <mutex>

namespace photos {

class LifetimeGate {
public:
    class Pass {
    public:
        explicit Pass(LifetimeGate& gate)
            : m_gate(gate)
            , m_entered(gate.enter())
        {
        }
        ~Pass()
        {
            if (m_entered)
                m_gate.leave();
        }
        Pass(const Pass&) = delete;
        Pass& operator=(const Pass&) = delete;
        explicit operator bool() const { return m_entered; }

    private:
        LifetimeGate& m_gate;
        bool m_entered { false };
    };

    // Refuses new passes, then waits until every pass has been returned. Idempotent. Must not
    // be called while holding a pass.
    void close();
    bool isClosed() const;

private:
    bool enter();
    void leave();

    mutable std::mutex m_mutex;
    std::condition_variable m_left;
    int m_active { 0 }; // guarded by m_mutex
    bool m_closed { false }; // guarded by m_mutex
};

} // namespace photos
