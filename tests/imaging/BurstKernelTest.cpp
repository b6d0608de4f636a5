#include "imaging/BurstMerger.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <QImage>
#include <QPoint>

#include <gtest/gtest.h>

#include "imaging/MergeKernels.h"
#include "support/TestNames.h"

namespace {

using testing_support::PrintTo;

using imaging::BurstMerger;
using imaging::FrameEnhancer;
using imaging::KernelPath;

// The vector paths this CPU runs; each is checked against the portable one.
std::vector<KernelPath> vectorPaths()
{
    std::vector<KernelPath> paths;
    for (KernelPath path : { KernelPath::Sse41, KernelPath::Avx2 })
        if (BurstMerger::isSupported(path))
            paths.push_back(path);
    return paths;
}

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

// A saved night photo is these bytes on every CPU: the portable path's pinned by their hashes,
// each vector path against the portable one over frame counts with and without the trimmed mean,
// widths that leave pixels after the last step of four or eight, and offsets that make the
// repeated-border spans narrow and wide.
class BurstMergerPath : public testing::TestWithParam<KernelPath> { };

TEST_P(BurstMergerPath, SavedNightPhotosAreTheSameBytesOnEveryPath)
{
    const struct {
        int frames, width;
        std::uint64_t hash;
    } golden[] = { { 2, 257, 0x43c035da53570fc8ull }, { 8, 257, 0x2d111edbc09ba29bull },
        { 16, 33, 0xa0670de901189a19ull } };
    for (const auto& g : golden)
        EXPECT_EQ(
            fnv1a(BurstMerger::merge(GetParam(), noisyBurst(g.frames, g.width, 21, 5), shake(g.frames))),
            g.hash)
            << g.frames << " frames";
    if (GetParam() == KernelPath::Portable)
        return;
    for (int frames : { 2, 3, 16 })
        for (int width : { 7, 33, 257 })
            for (bool shaken : { false, true }) {
                SCOPED_TRACE(testing::Message()
                    << frames << " frames, " << width << " wide" << (shaken ? ", shaken" : ""));
                const std::vector<QImage> burst
                    = noisyBurst(frames, width, 24, std::uint32_t(frames * 1000 + width));
                const std::vector<QPoint> offsets = shaken ? shake(frames) : std::vector<QPoint> {};
                ASSERT_TRUE(BurstMerger::merge(GetParam(), burst, offsets)
                    == BurstMerger::merge(KernelPath::Portable, burst, offsets))
                    << "the vector path differs from the portable one";
            }
}

std::vector<KernelPath> everyPath()
{
    std::vector<KernelPath> paths = vectorPaths();
    paths.insert(paths.begin(), KernelPath::Portable);
    return paths;
}

INSTANTIATE_TEST_SUITE_P(Paths, BurstMergerPath, testing::ValuesIn(everyPath()),
    [](const testing::TestParamInfo<KernelPath>& row) {
        return testing_support::caseName(FrameEnhancer::name(row.param));
    });

// The aligner's luma and row differences on every length up to a few vector steps, from any
// starting byte: the vector paths' sums and bytes are the portable ones.
class BurstAlignerKernels : public testing::TestWithParam<KernelPath> { };
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(BurstAlignerKernels);

TEST_P(BurstAlignerKernels, GiveThePortableResults)
{
    namespace detail = imaging::detail;
    const bool avx2 = GetParam() == KernelPath::Avx2;
    const auto luma = avx2 ? detail::lumaRowAvx2 : detail::lumaRowSse41;
    const auto difference = avx2 ? detail::rowDifferenceAvx2 : detail::rowDifferenceSse41;
    Lcg random { 3 };
    std::vector<std::uint8_t> a(4 * 100 + 3), b(a.size());
    for (std::size_t j = 0; j < a.size(); ++j) {
        a[j] = std::uint8_t(random.next());
        b[j] = std::uint8_t(j % 7 == 0 ? 255 - a[j] : random.next());
    }
    for (std::size_t start = 0; start < 4; ++start)
        for (std::size_t count = 0; count <= 100; ++count) {
            SCOPED_TRACE("start " + std::to_string(start) + ", count " + std::to_string(count));
            EXPECT_EQ(difference(a.data() + start, b.data(), count),
                detail::rowDifferencePortable(a.data() + start, b.data(), count));
            std::vector<std::uint8_t> expected(count + 1, 7), got(count + 1, 7);
            detail::lumaRowPortable(a.data() + start, count, expected.data());
            luma(a.data() + start, count, got.data());
            EXPECT_EQ(got, expected) << "the byte after the row is left alone too";
        }
}

INSTANTIATE_TEST_SUITE_P(Paths, BurstAlignerKernels, testing::ValuesIn(vectorPaths()),
    [](const testing::TestParamInfo<KernelPath>& row) {
        return testing_support::caseName(FrameEnhancer::name(row.param));
    });

} // namespace
