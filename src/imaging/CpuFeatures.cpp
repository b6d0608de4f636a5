#include "imaging/CpuFeatures.h"

#include <cstddef>
#include <iterator>

namespace imaging {

// On x86, __builtin_cpu_supports also checks that the OS saves the wide registers, so a path
// reported here is safe to run. NEON is part of every arm64 CPU.
bool cpuRuns(KernelPath path)
{
#if defined(__x86_64__)
    __builtin_cpu_init();
    switch (path) {
    case KernelPath::Avx512:
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
    case KernelPath::Avx2:
        return __builtin_cpu_supports("avx2");
    case KernelPath::Sse41:
        return __builtin_cpu_supports("sse4.1") && __builtin_cpu_supports("ssse3");
    case KernelPath::Portable:
        return true;
    case KernelPath::Neon:
        return false;
    }
    return false;
#elif defined(__aarch64__)
    return path == KernelPath::Portable || path == KernelPath::Neon;
#else
    return path == KernelPath::Portable;
#endif
}

bool runsPortableSse41Avx2(KernelPath path)
{
    static const bool runs[] = { true, cpuRuns(KernelPath::Sse41), cpuRuns(KernelPath::Avx2) };
    const auto index = static_cast<std::size_t>(path);
    return index < std::size(runs) && runs[index];
}

KernelPath widestOfPortableSse41Avx2()
{
    static const KernelPath widest = runsPortableSse41Avx2(KernelPath::Avx2) ? KernelPath::Avx2
        : runsPortableSse41Avx2(KernelPath::Sse41)                           ? KernelPath::Sse41
                                                                             : KernelPath::Portable;
    return widest;
}

} // namespace imaging
