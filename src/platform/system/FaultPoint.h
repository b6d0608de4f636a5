#pragma once

// Named places where a process can be made to die, for the tests that prove a kill at the worst
// moment loses and duplicates nothing. When the environment variable LUMIVUE_FAULT_POINT holds a
// point's name, reaching that point stops the process at once with SIGKILL, exactly as a phone's
// shell or an out-of-memory killer would; otherwise a point costs one comparison. Any thread.

namespace platform {

class FaultPoint {
public:
    FaultPoint() = delete;

    static void reached(const char* name);
};

} // namespace platform
