#include "imaging/FrameEnhancer.h"

#include <cstdint>
#include <initializer_list>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "KernelTargets.h"

namespace {

using imaging::ChannelSums;
using imaging::FrameEnhancer;
using imaging::FrameWindow;

constexpr std::int32_t kMaxLevel = std::numeric_limits<std::int32_t>::max();

// The rule written the plain way, in 64-bit arithmetic.
int referenceGain(int c, std::int32_t level)
{
    if (level < 1)
        return c;
    const std::int64_t value = std::int64_t { c } * (std::int64_t { level } + 8) / 8;
    return value > 255 ? 255 : static_cast<int>(value);
}

// The tint of gained values: green keeps only their grey in G, grey puts it in all three; any
// other filter leaves them.
void referenceTint(int& b, int& g, int& r, std::int32_t filter)
{
    const int grey = (b + g + r) / 3;
    if (filter == 1 || filter == 2) {
        g = grey;
        b = r = filter == 1 ? 0 : grey;
    }
}

ChannelSums referenceEnhance(std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& w,
    std::int32_t level, std::int32_t filter)
{
    ChannelSums sums;
    for (std::size_t y = w.y0; y < w.y1; ++y) {
        for (std::size_t x = w.x0; x < w.x1; ++x) {
            std::uint8_t* p = base + y * bytesPerRow + 4 * x;
            sums.b += p[0];
            sums.g += p[1];
            sums.r += p[2];
            int b = referenceGain(p[0], level), g = referenceGain(p[1], level),
                r = referenceGain(p[2], level);
            referenceTint(b, g, r, filter);
            p[0] = static_cast<std::uint8_t>(b);
            p[1] = static_cast<std::uint8_t>(g);
            p[2] = static_cast<std::uint8_t>(r);
        }
    }
    return sums;
}

const std::vector<std::int32_t> kLevels = { std::numeric_limits<std::int32_t>::min(), -1, 0, 1, 7, 8, 16, 40,
    80, 247, 248, 249, 250, 1000, 2031, 2032, 2033, 100000, kMaxLevel };

class FrameEnhancerTarget : public EveryKernelTarget { };

// Odd sizes, padded rows and off-centre windows (the preview's case): every byte of the buffer —
// window, the rest of the frame, row padding — must match the reference. The wide shapes run the
// vector sums across many rows and past their widening points; the white one would overflow
// 16-bit sums held one step too long. The gain works on each channel alone, and the random
// frames hold every byte value in each channel many times over.
TEST_P(FrameEnhancerTarget, MatchesTheReferenceOnRandomFrames)
{
    std::mt19937 random(20240601);
    struct Shape {
        std::size_t width, height, padding;
        FrameWindow window;
        bool white;
    };
    const Shape shapes[] = {
        { 7, 3, 5, { 0, 0, 7, 3 }, false }, // unaligned row step
        { 37, 11, 12, { 3, 2, 36, 10 }, false },
        { 47, 4, 8, { 15, 0, 47, 4 }, false }, // 32 pixels from an odd start
        { 33, 5, 0, { 9, 1, 9, 4 }, false }, // empty window
        { 4133, 3, 4, { 2, 0, 4131, 3 }, false },
        { 4133, 3, 0, { 0, 0, 4133, 3 }, true },
    };
    for (const Shape& shape : shapes) {
        const std::size_t bytesPerRow = 4 * shape.width + shape.padding;
        std::vector<std::uint8_t> original(bytesPerRow * shape.height, 255);
        if (!shape.white)
            for (auto& byte : original)
                byte = static_cast<std::uint8_t>(random());
        for (std::int32_t level : kLevels) {
            for (std::int32_t filter : { 0, 1, 2, 3, -1 }) {
                std::vector<std::uint8_t> expected = original;
                const ChannelSums expectedSums
                    = referenceEnhance(expected.data(), bytesPerRow, shape.window, level, filter);
                std::vector<std::uint8_t> actual = original;
                const ChannelSums sums
                    = FrameEnhancer::enhance(actual.data(), bytesPerRow, shape.window, level, filter);
                ASSERT_EQ(actual, expected)
                    << shape.width << "x" << shape.height << " level " << level << " filter " << filter;
                ASSERT_EQ(sums, expectedSums) << shape.width << "x" << shape.height;
            }
        }
    }
}

// All 2^24 colours in one 4096 × 4096 frame, alpha varying too: the gain at every widening edge,
// and the tints (which mix the three channels) on every possible gained colour.
TEST_P(FrameEnhancerTarget, ExhaustiveOverAllColours)
{
    constexpr std::size_t kSide = 4096;
    std::vector<std::uint8_t> original(kSide * kSide * 4);
    for (std::uint32_t i = 0; i < (1u << 24); ++i) {
        for (int channel = 0; channel < 3; ++channel)
            original[4 * i + channel] = static_cast<std::uint8_t>(i >> (8 * channel));
        original[4 * i + 3] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    for (const auto& [level, filter] :
        std::initializer_list<std::pair<std::int32_t, std::int32_t>> { { 1, 0 }, { 40, 0 }, { 247, 0 },
            { 248, 0 }, { 249, 0 }, { 1000, 0 }, { kMaxLevel, 0 }, { 0, 1 }, { 0, 2 }, { 40, 2 } }) {
        std::vector<std::uint8_t> expected = original, actual = original;
        const FrameWindow all { 0, 0, kSide, kSide };
        EXPECT_EQ(FrameEnhancer::enhance(actual.data(), 4 * kSide, all, level, filter),
            referenceEnhance(expected.data(), 4 * kSide, all, level, filter));
        EXPECT_TRUE(actual == expected) << "level " << level << " filter " << filter;
    }
}

INSTANTIATE_FOR_EVERY_KERNEL_TARGET(FrameEnhancerTarget);

// Each target really is the one the kernels run on while a test asks for it, and without one they
// run on the best: the tables above would otherwise prove one target many times. The phones' CPUs
// must get their vector unit, not the emulation.
TEST(KernelTargets, EveryKernelDispatchesToTheTargetAskedFor)
{
    const auto report = [](const std::string& name) {
        return "enhance: " + name + ", denoise: " + name + ", merge: " + name + ", align: " + name;
    };
    const std::vector<std::int64_t> targets = imaging::kernelTargets();
    ASSERT_FALSE(targets.empty());
    for (const std::int64_t target : targets) {
        const imaging::ScopedKernelTarget scope(target);
        EXPECT_EQ(imaging::kernelReport(), report(imaging::kernelTargetName(target)));
    }
    const std::string best = imaging::kernelTargetName(targets.front());
    EXPECT_EQ(imaging::kernelReport(), report(best));
#if defined(__aarch64__)
    EXPECT_TRUE(best.starts_with("NEON") || best.starts_with("SVE")) << best;
#elif defined(__x86_64__)
    if (__builtin_cpu_supports("avx2")) {
        EXPECT_TRUE(best == "AVX2" || best.starts_with("AVX3")) << best;
    }
#endif
}

} // namespace
