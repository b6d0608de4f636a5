#pragma once

// The frames a VideoRecorder lends to its caller: up to `capacity` blocks of one picture size,
// allocated on first use and kept. A slot is taken by the caller, wrapped into a GStreamer buffer
// on submit, and given back when GStreamer lets go of that buffer (after the converter has read
// it) or when the caller drops the frame unsubmitted.
//
// Threads: any thread.

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include <QSize>

namespace platform {

class VideoFramePool {
public:
    VideoFramePool(QSize size, int capacity);

    // A free slot, or -1 when every slot is lent.
    int take();
    void giveBack(int slot);
    uchar* data(int slot) const { return m_blocks[std::size_t(slot)].get(); }
    int stride() const { return m_size.width() * 4; }
    std::size_t bytes() const { return std::size_t(stride()) * std::size_t(m_size.height()); }
    QSize size() const { return m_size; }

private:
    const QSize m_size;
    std::mutex m_mutex;
    std::vector<std::unique_ptr<uchar[]>> m_blocks; // guarded by m_mutex (the slots, not the bytes)
    std::vector<bool> m_lent; // guarded by m_mutex
};

} // namespace platform
