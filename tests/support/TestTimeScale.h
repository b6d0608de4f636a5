#pragma once

// Time limits for tests that run the real program. Sanitizer builds run it several times slower,
// so their presets set LUMIVUE_TEST_TIME_SCALE and every limit stretches by that factor.

#include <cstdlib>

namespace test_support {

inline int scaledLimitMs(int milliseconds)
{
    const char* text = std::getenv("LUMIVUE_TEST_TIME_SCALE");
    const int scale = text ? std::atoi(text) : 1;
    return scale > 1 ? milliseconds * scale : milliseconds;
}

} // namespace test_support
