#include "imaging/FrameEnhancer.h"

#include <iterator>

#include "imaging/CpuFeatures.h"
#include "imaging/EnhanceKernels.h"

// The x86 kernels are built on x86-64 only (see CMakeLists.txt).
#if defined(__x86_64__)
#define LUMIVUE_X86_KERNELS 1
#endif

namespace imaging {

namespace {

KernelPath detectBestPath()
{
    for (KernelPath path : { KernelPath::Avx512, KernelPath::Avx2, KernelPath::Sse41, KernelPath::Neon })
        if (cpuRuns(path))
            return path;
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
#if defined(LUMIVUE_X86_KERNELS)
    case KernelPath::Avx512:
        return detail::enhanceAvx512(base, bytesPerRow, window, params);
    case KernelPath::Avx2:
        return detail::enhanceAvx2(base, bytesPerRow, window, params);
    case KernelPath::Sse41:
        return detail::enhanceSse41(base, bytesPerRow, window, params);
#elif defined(__aarch64__)
    case KernelPath::Neon:
        return detail::enhanceNeon(base, bytesPerRow, window, params);
#endif
    default:
        break;
    }
    return detail::enhancePortable(base, bytesPerRow, window, params);
}

bool FrameEnhancer::isSupported(KernelPath path)
{
    static const bool runs[] = { true, cpuRuns(KernelPath::Sse41), cpuRuns(KernelPath::Avx2),
        cpuRuns(KernelPath::Avx512), cpuRuns(KernelPath::Neon) };
    const auto index = static_cast<std::size_t>(path);
    return index < std::size(runs) && runs[index];
}

KernelPath FrameEnhancer::bestPath()
{
    static const KernelPath best = detectBestPath(); // thread-safe one-time initialisation
    return best;
}

const char* FrameEnhancer::name(KernelPath path)
{
    switch (path) {
    case KernelPath::Avx512:
        return "avx512bw";
    case KernelPath::Avx2:
        return "avx2";
    case KernelPath::Sse41:
        return "sse4.1";
    case KernelPath::Neon:
        return "neon";
    case KernelPath::Portable:
        return "portable";
    }
    return "unknown";
}

} // namespace imaging
