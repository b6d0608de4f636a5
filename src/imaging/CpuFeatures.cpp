#include "imaging/CpuFeatures.h"

#include <hwy/targets.h>

#include "imaging/DenoiseKernels.h"
#include "imaging/EnhanceKernels.h"
#include "imaging/MergeKernels.h"

namespace imaging {

std::vector<std::int64_t> kernelTargets()
{
    return hwy::SupportedAndGeneratedTargets();
}

const char* kernelTargetName(std::int64_t target)
{
    return hwy::TargetName(target);
}

std::string kernelReport()
{
    return std::string("enhance: ") + detail::enhanceTarget() + ", denoise: " + detail::denoiseTarget()
        + ", merge: " + detail::mergeTarget() + ", align: " + detail::alignTarget();
}

ScopedKernelTarget::ScopedKernelTarget(std::int64_t target)
{
    hwy::SetSupportedTargetsForTest(target);
}

ScopedKernelTarget::~ScopedKernelTarget()
{
    hwy::SetSupportedTargetsForTest(0);
}

} // namespace imaging
