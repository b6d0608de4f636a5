#pragma once

// Kernel tests run once per instruction set this CPU runs, each case named after it ("AVX2",
// "SSE4", "EMU128", "NEON", "SVE"): a fixture derived from EveryKernelTarget dispatches every
// kernel to its parameter while the case runs.

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "imaging/CpuFeatures.h"
#include "support/TestNames.h"

class EveryKernelTarget : public testing::TestWithParam<std::int64_t> {
    imaging::ScopedKernelTarget m_target { GetParam() };
};

inline std::string kernelTargetCaseName(const testing::TestParamInfo<std::int64_t>& info)
{
    return testing_support::caseName(imaging::kernelTargetName(info.param));
}

#define INSTANTIATE_FOR_EVERY_KERNEL_TARGET(Fixture)                                                         \
    INSTANTIATE_TEST_SUITE_P(                                                                                \
        Targets, Fixture, testing::ValuesIn(imaging::kernelTargets()), kernelTargetCaseName)
