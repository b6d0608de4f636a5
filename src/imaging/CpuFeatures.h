#pragma once

// The instruction sets the pixel kernels run on. Each kernel is one source that Highway compiles
// for several targets (SSE4, AVX2, AVX-512, NEON, SVE, and a 128-bit emulation); every call goes
// to the best one this CPU runs, and each target gives the same bytes.

#include <cstdint>
#include <string>
#include <vector>

namespace imaging {

// The targets the kernels are built for that this CPU runs, best first (Highway's target bits).
std::vector<std::int64_t> kernelTargets();
const char* kernelTargetName(std::int64_t target);

// The target each kernel dispatches to now: "enhance: AVX2, denoise: AVX2, merge: AVX2, align: AVX2".
std::string kernelReport();

// While it lives, every kernel runs on `target` (one of kernelTargets()). For tests and benchmarks:
// the choice is the whole process's, so no kernel may run on another thread meanwhile, and a
// temporal filter's state, kept in the lane order of the target that wrote it, must not outlive it.
class ScopedKernelTarget {
public:
    explicit ScopedKernelTarget(std::int64_t target);
    ~ScopedKernelTarget();
    ScopedKernelTarget(const ScopedKernelTarget&) = delete;
    ScopedKernelTarget& operator=(const ScopedKernelTarget&) = delete;
};

} // namespace imaging
