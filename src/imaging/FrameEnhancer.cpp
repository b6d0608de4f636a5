#include "imaging/FrameEnhancer.h"

#include "imaging/EnhanceKernels.h"

namespace imaging {

namespace {

KernelPath detectBestPath()
{
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        return KernelPath::Avx2;
    if (__builtin_cpu_supports("sse4.1") && __builtin_cpu_supports("ssse3"))
        return KernelPath::Sse41;
    return KernelPath::Portable;
}

} // namespace

ChannelSums FrameEnhancer::enhance(std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window,
                                   std::int32_t level, std::int32_t filter)
{
    return enhance(bestPath(), base, bytesPerRow, window, level, filter);
}

ChannelSums FrameEnhancer::enhance(KernelPath path, std::uint8_t* base, std::size_t bytesPerRow,
                                   const FrameWindow& window, std::int32_t level, std::int32_t filter)
{
    if (window.isEmpty() || !base)
        return {};
    const detail::KernelParams params = detail::kernelParams(level, filter);
    if (!isSupported(path))
        path = KernelPath::Portable;
    switch (path) {
    case KernelPath::Avx2: return detail::enhanceAvx2(base, bytesPerRow, window, params);
    case KernelPath::Sse41: return detail::enhanceSse41(base, bytesPerRow, window, params);
    case KernelPath::Portable: break;
    }
    return detail::enhancePortable(base, bytesPerRow, window, params);
}

bool FrameEnhancer::isSupported(KernelPath path)
{
    switch (path) {
    case KernelPath::Avx2: return bestPath() == KernelPath::Avx2;
    case KernelPath::Sse41: return bestPath() != KernelPath::Portable;
    case KernelPath::Portable: return true;
    }
    return false;
}

KernelPath FrameEnhancer::bestPath()
{
    static const KernelPath best = detectBestPath(); // thread-safe one-time initialisation
    return best;
}

const char* FrameEnhancer::name(KernelPath path)
{
    switch (path) {
    case KernelPath::Avx2: return "avx2";
    case KernelPath::Sse41: return "sse4.1";
    case KernelPath::Portable: return "portable";
    }
    return "unknown";
}

} // namespace imaging
