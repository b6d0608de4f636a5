#include "platform/core/FrameMemory.h"

#include <cstdlib> // defines __GLIBC__ on glibc systems

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace platform {

void reuseFrameMemory()
{
#if defined(__GLIBC__)
    // Blocks up to glibc's own ceiling for its adaptive threshold come from the heap...
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    // ...and up to three stills' worth of free pages stay at its top for the next one.
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
}

} // namespace platform
