#pragma once

// Under qemu-user (scripts/test-arm64.sh sets LUMIVUE_EMULATED) a test process cannot start
// another program: qemu emulates one process, and without a binfmt_misc entry the kernel refuses
// to exec an arm64 binary ("Exec format error"); host programs (openssl) fail under it as well.
// Tests that need to (death tests, kill tests, certificates made with openssl) skip themselves; whole test
// programs that only run programs carry the ctest label "child-process" instead (lumivue_test(... LABELS
// child-process)).

#include <cstdlib>

#define LUMIVUE_SKIP_WHEN_EMULATED()                                                                         \
    do {                                                                                                     \
        if (const char* emulator = std::getenv("LUMIVUE_EMULATED"); emulator && *emulator)                   \
            GTEST_SKIP() << "starts one of our programs as a child process, which " << emulator              \
                         << " cannot run";                                                                   \
    } while (false)
