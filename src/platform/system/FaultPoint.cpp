#include "platform/system/FaultPoint.h"

#include <csignal>
#include <cstdlib>
#include <cstring>

namespace platform {

void FaultPoint::reached(const char* name)
{
    // Read once: the environment does not change under a running process that matters here.
    static const char* const armed = [] {
        const char* value = std::getenv("LUMIVUE_FAULT_POINT");
        return value && *value ? value : nullptr;
    }();
    if (armed && std::strcmp(armed, name) == 0)
        std::raise(SIGKILL);
}

} // namespace platform
