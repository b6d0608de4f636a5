#pragma once

// A frame's pixels: rows of 32-bit BGRA pixels (bytes B, G, R, A), `bytesPerRow` bytes apart,
// either over memory the caller owns or over memory the buffer owns.
//
// Layout: width × height pixels, pixel (x, y) at baseAddress + y × bytesPerRow + 4 × x. A row may
// be longer than 4 × width bytes (padding); the padding belongs to the buffer but is not part of
// the picture.
//
// Threads: a buffer may move between threads but is used by one thread at a time. The pixels are
// reachable only while the base address is locked (lockBaseAddress / ScopedLock); locks nest.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/camera/Expected.h"

namespace platform {

class PixelBuffer {
public:
    // Wraps caller memory, which must stay valid and unmoved for the buffer's life.
    // bytesPerRow must be at least 4 × width, and height × bytesPerRow must fit in size_t.
    static Expected<PixelBuffer> wrap(
        void* memory, std::size_t width, std::size_t height, std::size_t bytesPerRow);
    enum class Contents { Zeroed, Unset };
    // Allocates memory owned by the buffer. bytesPerRow 0 means 4 × width (no padding). Zeroed
    // unless the caller is about to write every byte itself (Unset saves a pass over a frame).
    static Expected<PixelBuffer> allocate(std::size_t width, std::size_t height, std::size_t bytesPerRow = 0,
        Contents contents = Contents::Zeroed);

    PixelBuffer(PixelBuffer&&) noexcept = default;
    PixelBuffer& operator=(PixelBuffer&&) noexcept = default;
    PixelBuffer(const PixelBuffer&) = delete;
    PixelBuffer& operator=(const PixelBuffer&) = delete;
    ~PixelBuffer() = default;

    std::size_t width() const { return m_width; }
    std::size_t height() const { return m_height; }
    std::size_t bytesPerRow() const { return m_bytesPerRow; }
    // height × bytesPerRow: every byte the buffer spans, padding included.
    std::size_t byteCount() const { return m_height * m_bytesPerRow; }

    void lockBaseAddress() { ++m_lockCount; }
    // Unlocking a buffer that is not locked does nothing.
    void unlockBaseAddress();
    bool isLocked() const { return m_lockCount > 0; }
    // The first byte of row 0 while locked; nullptr while unlocked.
    std::uint8_t* baseAddress() const { return isLocked() ? m_memory : nullptr; }

    // Locks for the life of the guard.
    class ScopedLock {
    public:
        explicit ScopedLock(PixelBuffer& buffer)
            : m_buffer(buffer)
        {
            m_buffer.lockBaseAddress();
        }
        ~ScopedLock() { m_buffer.unlockBaseAddress(); }
        ScopedLock(const ScopedLock&) = delete;
        ScopedLock& operator=(const ScopedLock&) = delete;

    private:
        PixelBuffer& m_buffer;
    };

private:
    struct FreeDeleter {
        void operator()(std::uint8_t* memory) const;
    };

    PixelBuffer() = default;
    static QString checkLayout(std::size_t width, std::size_t height, std::size_t bytesPerRow);

    std::unique_ptr<std::uint8_t[], FreeDeleter> m_owned;
    std::uint8_t* m_memory { nullptr };
    std::size_t m_width { 0 };
    std::size_t m_height { 0 };
    std::size_t m_bytesPerRow { 0 };
    int m_lockCount { 0 };
};

} // namespace platform
