#pragma once

// The single-image slot `qImage` between the frame queue and the picture drawing: at most one
// picture in flight. It is an atomic pointer and nothing else: fill() is a compare-exchange from
// empty, take() an exchange to empty, so a full slot makes the filler drop its picture instead of
// waiting, and no lock is ever held.
//
// Ownership: the slot owns the picture it holds; take() hands it over. Filling publishes the
// picture (release) and taking acquires it, so the taker sees every pixel the filler wrote.
//
// Threads: any thread. In the app only the frame queue fills and only the picture drawing (or a
// stopped session) empties.

#include <atomic>
#include <memory>

#include "imaging/ScopeImage.h"

namespace imaging {

class ImageSlot {
public:
    ImageSlot() = default;
    ~ImageSlot();
    ImageSlot(const ImageSlot&) = delete;
    ImageSlot& operator=(const ImageSlot&) = delete;

    // Puts `image` in an empty slot. When the slot is full (or image is null) nothing changes and
    // the image is handed back, so the caller decides how to drop it.
    std::unique_ptr<ScopeImage> fill(std::unique_ptr<ScopeImage> image);
    // Empties the slot; null when it was empty.
    std::unique_ptr<ScopeImage> take();
    bool isFull() const { return m_image.load(std::memory_order_acquire) != nullptr; }

private:
    std::atomic<ScopeImage*> m_image { nullptr };
};

} // namespace imaging
