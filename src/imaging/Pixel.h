#pragma once

// One pixel of every camera frame in memory (32-bit BGRA), and the type of the channel-mean
// record `imageLight`.

#include <cstdint>

namespace imaging {

struct pixel {
    std::uint8_t b { 0 };
    std::uint8_t g { 0 };
    std::uint8_t r { 0 };
    std::uint8_t a { 0 };

    friend bool operator==(const pixel&, const pixel&) = default;
};

static_assert(sizeof(pixel) == 4);

} // namespace imaging
