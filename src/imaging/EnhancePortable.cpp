// The plain per-pixel path: runs on any CPU and finishes the rows of the vector paths.

#include "imaging/EnhanceKernels.h"

namespace imaging::detail {

namespace {

template <bool Gain, int Filter>
ChannelSums run(std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window, const KernelParams& params)
{
    ChannelSums sums;
    for (std::size_t y = window.y0; y < window.y1; ++y) {
        std::uint8_t* p = base + y * bytesPerRow + 4 * window.x0;
        for (std::size_t x = window.x0; x < window.x1; ++x, p += 4)
            enhancePixel<Gain, Filter>(p, params, sums);
    }
    return sums;
}

} // namespace

ChannelSums enhancePortable(std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window,
                            const KernelParams& params)
{
    return dispatchByGainAndFilter(params, [&](auto gain, auto filter) {
        return run<decltype(gain)::value, decltype(filter)::value>(base, bytesPerRow, window, params);
    });
}

} // namespace imaging::detail
