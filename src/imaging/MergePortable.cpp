// The portable path of the stack's passes: any CPU, and the one arm64 runs. Plain loops over
// the bytes of a chunk of pixels with no branch inside, for the vectoriser (the file is built
// with -O3); the chunk's intermediates stay in arrays on the stack, small enough for L1.

#include <algorithm>
#include <cstdlib>

#include "imaging/MergeKernels.h"

namespace imaging::detail {

namespace {

constexpr std::size_t kChunk = 64; // pixels

void mergeChunk(const std::uint8_t* const* rows, std::size_t offset, std::size_t pixels,
    const MergeParams& params, std::uint8_t* dst)
{
    const int n = params.frames;
    const std::size_t bytes = pixels * 4;
    std::uint16_t sum[kChunk * 4], low[kChunk * 4], high[kChunk * 4], reference[kChunk * 4],
        agreed[kChunk * 4];
    std::uint8_t count[kChunk];

    // The robust reference, in 1/16 levels.
    const std::uint8_t* first = rows[0] + offset;
    for (std::size_t j = 0; j < bytes; ++j)
        sum[j] = low[j] = high[j] = first[j];
    for (int i = 1; i < n; ++i) {
        const std::uint8_t* row = rows[i] + offset;
        for (std::size_t j = 0; j < bytes; ++j) {
            sum[j] = std::uint16_t(sum[j] + row[j]);
            low[j] = std::min<std::uint16_t>(low[j], row[j]);
            high[j] = std::max<std::uint16_t>(high[j], row[j]);
        }
    }
    const std::uint32_t scale = 16 * params.reciprocal[std::size_t(n >= 3 ? n - 2 : n)];
    for (std::size_t j = 0; j < bytes; ++j) {
        const std::uint32_t kept = n >= 3 ? std::uint32_t(sum[j] - low[j] - high[j]) : sum[j];
        reference[j] = std::uint16_t((kept * scale + 32768) >> 16);
    }

    // The average of the frames that agree with it.
    std::fill(agreed, agreed + bytes, 0);
    std::fill(count, count + pixels, 0);
    for (int i = 0; i < n; ++i) {
        const std::uint8_t* row = rows[i] + offset;
        for (std::size_t x = 0; x < pixels; ++x) {
            const std::size_t j = x * 4;
            const int distance = std::abs(int(row[j]) * 16 - int(reference[j]))
                + std::abs(int(row[j + 1]) * 16 - int(reference[j + 1]))
                + std::abs(int(row[j + 2]) * 16 - int(reference[j + 2]));
            const std::uint16_t take = distance <= params.threshold16 ? 0xFFFF : 0;
            agreed[j] = std::uint16_t(agreed[j] + (row[j] & take));
            agreed[j + 1] = std::uint16_t(agreed[j + 1] + (row[j + 1] & take));
            agreed[j + 2] = std::uint16_t(agreed[j + 2] + (row[j + 2] & take));
            count[x] = std::uint8_t(count[x] + (take & 1));
        }
    }
    for (std::size_t x = 0; x < pixels; ++x) {
        const std::size_t j = x * 4;
        const std::uint32_t c = count[x];
        for (std::size_t k = 0; k < 3; ++k)
            dst[j + k] = c ? std::uint8_t((agreed[j + k] * params.reciprocal[c] + 32768) >> 16)
                           : std::uint8_t((reference[j + k] + 8) >> 4);
        dst[j + 3] = first[j + 3];
    }
}

} // namespace

MergeParams mergeParams(int frames, int threshold)
{
    MergeParams params;
    params.frames = frames;
    params.threshold16 = threshold * 16;
    for (int i = 1; i <= kMergeMaxFrames; ++i)
        params.reciprocal[std::size_t(i)] = std::uint32_t((65536 + i / 2) / i);
    return params;
}

void mergeSpanPortable(
    const std::uint8_t* const* rows, std::size_t pixels, const MergeParams& params, std::uint8_t* dst)
{
    for (std::size_t x = 0; x < pixels; x += kChunk)
        mergeChunk(rows, x * 4, std::min(kChunk, pixels - x), params, dst + x * 4);
}

void lumaRowPortable(const std::uint8_t* bgra, std::size_t pixels, std::uint8_t* luma)
{
    for (std::size_t x = 0; x < pixels; ++x, bgra += 4)
        luma[x] = std::uint8_t((bgra[0] + 2 * bgra[1] + bgra[2] + 2) >> 2);
}

std::uint32_t rowDifferencePortable(const std::uint8_t* a, const std::uint8_t* b, std::size_t count)
{
    std::uint32_t total = 0;
    for (std::size_t x = 0; x < count; ++x)
        total += std::uint32_t(std::abs(int(a[x]) - int(b[x])));
    return total;
}

} // namespace imaging::detail
