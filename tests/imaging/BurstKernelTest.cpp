#include "imaging/BurstMerger.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <QImage>
#include <QPoint>

#include <gtest/gtest.h>

#include "KernelTargets.h"
#include "imaging/MergeKernels.h"

namespace {

using imaging::BurstMerger;
namespace detail = imaging::detail;

// A small deterministic generator, so the bursts are the same on every machine and build.
struct Lcg {
    std::uint32_t state;
    std::uint32_t next() { return (state = state * 1664525u + 1013904223u) >> 8; }
};

// n frames of a striped scene that runs into 0 and 255, each with its own noise of up to ±12
// levels and one byte in 16 (alpha included) replaced by any value: outliers the merge must
// reject, and sums that reach their largest values.
std::vector<QImage> noisyBurst(int n, int width, int height, std::uint32_t seed)
{
    Lcg random { seed * 2654435761u + 1 };
    std::vector<QImage> frames;
    for (int f = 0; f < n; ++f) {
        QImage frame(width, height, QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < height; ++y) {
            std::uint8_t* row = frame.scanLine(y);
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < 4; ++c) {
                    const std::uint32_t r = random.next();
                    int value = c == 3 ? 255 : (x * 7 + y * 13 + c * 29) % 300 - 20 + int(r % 25) - 12;
                    if ((r >> 5) % 16 == 0)
                        value = int((r >> 9) & 0xFF);
                    row[4 * x + c] = std::uint8_t(std::clamp(value, 0, 255));
                }
        }
        frames.push_back(frame);
    }
    return frames;
}

// Offsets up to ±16 on each axis, wider than the narrowest rows, so whole rows come from a border.
std::vector<QPoint> shake(int n)
{
    std::vector<QPoint> offsets(static_cast<std::size_t>(n));
    for (int i = 1; i < n; ++i)
        offsets[std::size_t(i)] = QPoint((i * 11) % 33 - 16, (i * 7) % 9 - 4);
    return offsets;
}

std::uint64_t fnv1a(const QImage& image)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (int y = 0; y < image.height(); ++y) {
        const std::uint8_t* row = image.constScanLine(y);
        for (int j = 0; j < image.width() * 4; ++j)
            hash = (hash ^ row[j]) * 1099511628211ull;
    }
    return hash;
}

// The merge's rule written plainly (MergeKernels.h), one pixel at a time.
void referenceMerge(
    const std::uint8_t* const* rows, std::size_t pixels, const detail::MergeParams& params, std::uint8_t* dst)
{
    const int n = params.frames;
    const std::uint32_t* reciprocal = params.reciprocal.data();
    for (std::size_t j = 0; j < 4 * pixels; j += 4) {
        std::uint32_t reference[3], agreed[3] = { 0, 0, 0 }, count = 0;
        for (std::size_t c = 0; c < 3; ++c) {
            std::uint32_t sum = 0, low = 255, high = 0;
            for (int i = 0; i < n; ++i) {
                sum += rows[i][j + c];
                low = std::min<std::uint32_t>(low, rows[i][j + c]);
                high = std::max<std::uint32_t>(high, rows[i][j + c]);
            }
            const std::uint32_t kept = n >= 3 ? sum - low - high : sum;
            reference[c] = (16 * kept * reciprocal[n >= 3 ? n - 2 : n] + 32768) >> 16;
        }
        for (int i = 0; i < n; ++i) {
            int distance = 0;
            for (std::size_t c = 0; c < 3; ++c)
                distance += std::abs(16 * rows[i][j + c] - int(reference[c]));
            if (distance > params.threshold16)
                continue;
            ++count;
            for (std::size_t c = 0; c < 3; ++c)
                agreed[c] += rows[i][j + c];
        }
        for (std::size_t c = 0; c < 3; ++c)
            dst[j + c] = std::uint8_t(
                count ? (agreed[c] * reciprocal[count] + 32768) >> 16 : (reference[c] + 8) >> 4);
        dst[j + 3] = rows[0][j + 3];
    }
}

class BurstKernelTarget : public EveryKernelTarget { };

// A saved night photo is the same bytes on every CPU: pinned by their hashes through the whole
// merge (with offsets that make the repeated-border spans narrow and wide), and the span kernel
// against the plain rule over frame counts with and without the trimmed mean, thresholds that
// take every frame, some or none, and widths that leave pixels after the last step.
TEST_P(BurstKernelTarget, SavedNightPhotosAreTheSameBytesOnEveryTarget)
{
    const struct {
        int frames, width;
        std::uint64_t hash;
    } golden[] = { { 2, 257, 0x43c035da53570fc8ull }, { 8, 257, 0x2d111edbc09ba29bull },
        { 16, 33, 0xa0670de901189a19ull } };
    for (const auto& g : golden)
        EXPECT_EQ(fnv1a(BurstMerger::merge(noisyBurst(g.frames, g.width, 21, 5), shake(g.frames))), g.hash)
            << g.frames << " frames";
    for (int frames : { 2, 3, 4, 16 })
        for (int width : { 1, 7, 33, 257 })
            for (int threshold : { 0, 12, 60, 1530 }) {
                SCOPED_TRACE(
                    testing::Message() << frames << " frames, " << width << " wide, threshold " << threshold);
                const std::vector<QImage> burst
                    = noisyBurst(frames, width, 1, std::uint32_t(frames * 1000 + width));
                const std::uint8_t* rows[BurstMerger::kMaxFrames];
                for (int i = 0; i < frames; ++i)
                    rows[i] = burst[std::size_t(i)].constScanLine(0);
                const detail::MergeParams params = detail::mergeParams(frames, threshold);
                std::vector<std::uint8_t> expected(4 * std::size_t(width) + 1, 7), actual = expected;
                referenceMerge(rows, std::size_t(width), params, expected.data());
                detail::mergeSpan(rows, std::size_t(width), params, actual.data());
                ASSERT_EQ(actual, expected) << "the byte after the span is left alone too";
            }
}

// The aligner's luma and row differences on every length up to a few vector steps, from any
// starting byte, against their plain sums.
TEST_P(BurstKernelTarget, AlignerSumsMatchTheirPlainRules)
{
    Lcg random { 3 };
    std::vector<std::uint8_t> a(4 * 300 + 3), b(a.size());
    for (std::size_t j = 0; j < a.size(); ++j) {
        a[j] = std::uint8_t(random.next());
        b[j] = std::uint8_t(j % 7 == 0 ? 255 - a[j] : random.next());
    }
    for (std::size_t start = 0; start < 4; ++start)
        for (std::size_t count = 0; count <= 300; ++count) {
            SCOPED_TRACE("start " + std::to_string(start) + ", count " + std::to_string(count));
            std::uint32_t difference = 0;
            std::vector<std::uint8_t> expected(count + 1, 7), got(count + 1, 7);
            for (std::size_t x = 0; x < count; ++x) {
                difference += std::uint32_t(std::abs(a[start + x] - b[x]));
                const std::uint8_t* p = a.data() + start + 4 * x;
                expected[x] = std::uint8_t((p[0] + 2 * p[1] + p[2] + 2) >> 2);
            }
            ASSERT_EQ(detail::rowDifference(a.data() + start, b.data(), count), difference);
            detail::lumaRow(a.data() + start, count, got.data());
            ASSERT_EQ(got, expected) << "the byte after the row is left alone too";
        }
}

INSTANTIATE_FOR_EVERY_KERNEL_TARGET(BurstKernelTarget);

} // namespace
