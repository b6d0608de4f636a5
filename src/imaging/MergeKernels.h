#pragma once

// Internal to BurstAligner and BurstMerger: the per-pixel passes of a night photo's stack, in one
// source for every instruction set (MergeSimd.cpp).
//
// The merge of one pixel from n frames (b, g, r, a bytes), as BurstMerger.h describes it:
//   sum, low, high  = the sum, smallest and largest of each byte over the n frames
//   kept            = n >= 3 ? sum - low - high : sum            (m = n - 2 or n values)
//   reference       = (16 kept × reciprocal[m] + 2^15) >> 16     (1/16 levels)
//   distance_i      = |16 b_i - ref_b| + |16 g_i - ref_g| + |16 r_i - ref_r|
//   frame i agrees  when distance_i <= threshold16; count = the number that agree
//   byte            = count ? (agreed sum × reciprocal[count] + 2^15) >> 16 : (ref + 8) >> 4
//   alpha           = the first frame's
// with reciprocal[i] = round(2^16 / i). Every intermediate fits 16 bits unsigned: 16 kept is at
// most 16 × 14 × 255, a distance at most 3 × 4080, an agreed sum at most 16 × 255. The vector
// kernel takes a product's rounded high half as mulhi + (mullo >> 15), which is exact; reciprocal[1]
// = 2^16 does not fit 16 bits, so it uses 65535, exact for the sums of one frame (at most 255).

#include <array>
#include <cstddef>
#include <cstdint>

namespace imaging::detail {

constexpr int kMergeMaxFrames = 16;

struct MergeParams {
    int frames { 0 }; // 2 to kMergeMaxFrames
    int threshold16 { 0 }; // the agreement threshold in 1/16 levels (at most 16 × 2 × 765)
    std::array<std::uint32_t, kMergeMaxFrames + 1> reciprocal {}; // [i] = (2^16 + i / 2) / i
};

MergeParams mergeParams(int frames, int threshold);

// Merges `pixels` pixels: rows[i] points at frame i's first one, dst at the output's.
void mergeSpan(
    const std::uint8_t* const* rows, std::size_t pixels, const MergeParams& params, std::uint8_t* dst);

// The aligner's luma of a row of b, g, r, a pixels: (b + 2g + r + 2) >> 2.
void lumaRow(const std::uint8_t* bgra, std::size_t pixels, std::uint8_t* luma);

// The sum of |a[x] - b[x]| over count bytes.
std::uint32_t rowDifference(const std::uint8_t* a, const std::uint8_t* b, std::size_t count);

// The Highway target the merge, and the aligner's luma and differences, dispatch to now.
const char* mergeTarget();
const char* alignTarget();

} // namespace imaging::detail
