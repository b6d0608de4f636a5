#pragma once

#include "imaging/FrameEnhancer.h"

namespace imaging {

// Whether this CPU runs the instruction set a kernel path is written in, for the paths this build
// compiles (x86-64's on x86-64, NEON on arm64, Portable everywhere). Each kernel family still
// decides which of these paths it has.
bool cpuRuns(KernelPath path);

// For the families written in Portable, Sse41 and Avx2 (the temporal filter, the burst stack):
// whether this CPU runs `path` of theirs, and the widest of them it runs, found once.
bool runsPortableSse41Avx2(KernelPath path);
KernelPath widestOfPortableSse41Avx2();

} // namespace imaging
