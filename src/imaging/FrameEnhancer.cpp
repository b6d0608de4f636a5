#include "imaging/FrameEnhancer.h"

#include "imaging/EnhanceKernels.h"

namespace imaging {

ChannelSums FrameEnhancer::enhance(std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window,
    std::int32_t level, std::int32_t filter)
{
    if (window.isEmpty() || !base)
        return {};
    return detail::enhance(base, bytesPerRow, window, detail::kernelParams(level, filter));
}

} // namespace imaging
