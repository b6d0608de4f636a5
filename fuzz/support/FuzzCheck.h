#pragma once

// What a harness asserts beyond "no crash": a broken promise of the code under test prints the
// promise and aborts, which libFuzzer reports as a finding and the replay test as a failure.
// Active in every build type (assert() is compiled out of release builds).

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, what)                                                                          \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(                                                                                    \
                stderr, "fuzz check failed at %s:%d: %s (%s)\n", __FILE__, __LINE__, what, #condition);      \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (false)
