#pragma once

// The newest preview picture of a session. The session publishes into it on its stream thread;
// the preview (GUI thread) reads the newest picture whenever it redraws. Nothing queues up: a
// picture replaces the previous one.
//
// Threads: any thread.

#include <functional>
#include <mutex>

#include "platform/camera/PreviewFrame.h"

namespace platform {

class PreviewFrameStore {
public:
    void publish(const QImage& image, bool mirrored, FrameClock::Duration timestamp);
    PreviewFrame current() const;
    // Forgets the picture (a stopped session shows none).
    void clear();
    // Called on the publishing thread after each new or cleared picture, so a screen redraws
    // when there is something new instead of polling. Empty: nobody listens.
    void setListener(std::function<void()> listener);

private:
    mutable std::mutex m_mutex;
    PreviewFrame m_frame; // guarded by m_mutex
    std::uint64_t m_published { 0 }; // guarded by m_mutex
    std::function<void()> m_listener; // guarded by m_mutex
};

} // namespace platform
