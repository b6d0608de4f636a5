#include "imaging/ImageSlot.h"

namespace imaging {

ImageSlot::~ImageSlot()
{
    take();
}

std::unique_ptr<ScopeImage> ImageSlot::fill(std::unique_ptr<ScopeImage> image)
{
    if (!image)
        return image;
    ScopeImage* expected = nullptr;
    if (m_image.compare_exchange_strong(
            expected, image.get(), std::memory_order_acq_rel, std::memory_order_acquire)) {
        static_cast<void>(image.release()); // the slot owns it now
        return nullptr;
    }
    return image;
}

std::unique_ptr<ScopeImage> ImageSlot::take()
{
    return std::unique_ptr<ScopeImage>(m_image.exchange(nullptr, std::memory_order_acq_rel));
}

} // namespace imaging
