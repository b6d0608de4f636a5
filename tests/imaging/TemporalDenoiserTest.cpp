#include "imaging/TemporalDenoiser.h"

#include <cmath>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <QImage>

#include <gtest/gtest.h>

#include "platform/camera/SensorNoise.h"
#include "support/TestNames.h"

namespace {

using testing_support::PrintTo;

using imaging::FrameWindow;
using imaging::KernelPath;
using imaging::TemporalDenoiser;

FrameWindow whole(const QImage& image)
{
    return { 0, 0, std::size_t(image.width()), std::size_t(image.height()) };
}

void filter(TemporalDenoiser& denoiser, QImage& frame, KernelPath path = TemporalDenoiser::bestPath())
{
    denoiser.filter(path, frame.bits(), std::size_t(frame.bytesPerLine()), whole(frame));
}

// A still night scene with smooth shading and some edges, away from 0 and 255 so noise is not
// clipped.
QImage stillScene(QSize size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) {
            const int edge = ((x / 32 + y / 24) % 2) * 30;
            image.setPixel(
                x, y, qRgb(50 + x * 60 / size.width() + edge, 60 + y * 50 / size.height(), 70 + edge));
        }
    return image;
}

// What the filter takes out of a still noisy scene, and that a clean one stays as it is, is
// measured through the program (tests/app-nightmode).

TEST(TemporalDenoiser, ResetForgetsTheSceneAsIfNew)
{
    const platform::SensorNoise noise(8, 0, 5);
    const QImage sceneA = stillScene({ 96, 64 });
    QImage sceneB(96, 64, QImage::Format_ARGB32_Premultiplied);
    sceneB.fill(qRgb(90, 80, 70));

    TemporalDenoiser used;
    for (std::uint64_t f = 0; f < 20; ++f) {
        QImage frame = noise.apply(sceneA, f);
        filter(used, frame);
    }
    used.reset();
    TemporalDenoiser fresh;
    for (std::uint64_t f = 100; f < 110; ++f) {
        const QImage input = noise.apply(sceneB, f);
        QImage a = input.copy(), b = input.copy();
        filter(used, a);
        filter(fresh, b);
        ASSERT_EQ(a, b) << "frame " << f;
        if (f == 100) {
            EXPECT_EQ(a, input) << "the first frame after a reset is shown as it is";
        }
    }

    // A window of another height, then of another width, is a new scene too.
    for (const QSize size : { QSize(96, 32), QSize(48, 32) }) {
        QImage other = noise.apply(sceneB, 200).copy(QRect(QPoint(0, 0), size));
        const QImage input = other.copy();
        filter(used, other);
        EXPECT_EQ(other, input) << size.width() << "x" << size.height();
    }
}

// Every path, with every kind of enhancement fused in, against the portable filter followed by
// the portable enhancement: bytes and sums, on a window inside a padded frame whose width has
// whole blocks and a tail, over a sequence with still parts, motion, noise and a reset. Level 0
// with no tint is the filter alone. The scene is bright and tall enough that the vector paths'
// 16-bit sums pass 32767 before they are widened.
struct Fused {
    const char* name;
    std::int32_t level;
    std::int32_t colorFilter;
};

class TemporalDenoiserPath : public ::testing::TestWithParam<std::tuple<KernelPath, Fused>> { };

TEST_P(TemporalDenoiserPath, FusedPassMatchesPortableFilterThenEnhance)
{
    const auto [path, fused] = GetParam();
    if (!TemporalDenoiser::isSupported(path))
        GTEST_SKIP() << imaging::FrameEnhancer::name(path) << " not supported here";
    constexpr std::size_t kWidth = 53, kHeight = 131, kBytesPerRow = 4 * kWidth + 12;
    const FrameWindow window { 3, 2, 50, 129 }; // 47 wide: two blocks of 16 and a tail of 15
    std::mt19937 random(1234);
    std::vector<std::uint8_t> scene(kBytesPerRow * kHeight);
    for (auto& byte : scene)
        byte = std::uint8_t(96 + random() % 160);
    TemporalDenoiser reference, tested;
    for (int f = 0; f < 24; ++f) {
        std::vector<std::uint8_t> frame = scene;
        for (std::size_t i = 0; i < frame.size(); ++i) {
            const int noisy = int(frame[i]) + int(random() % 41) - 20 + ((i / 4) % 97 < 9 ? f * 13 : 0);
            frame[i] = std::uint8_t(std::clamp(noisy, 0, 255));
        }
        if (f == 15) {
            reference.reset();
            tested.reset();
        }
        std::vector<std::uint8_t> a = frame, b = frame;
        reference.filter(KernelPath::Portable, a.data(), kBytesPerRow, window);
        const imaging::ChannelSums expected = imaging::FrameEnhancer::enhance(
            KernelPath::Portable, a.data(), kBytesPerRow, window, fused.level, fused.colorFilter);
        const imaging::ChannelSums sums
            = tested.filterAndEnhance(path, b.data(), kBytesPerRow, window, fused.level, fused.colorFilter);
        ASSERT_EQ(a, b) << "frame " << f;
        ASSERT_EQ(sums, expected) << "frame " << f;
        for (std::size_t y = 0; y < kHeight; ++y)
            for (std::size_t x = 0; x < kBytesPerRow; ++x) {
                const bool inside
                    = y >= window.y0 && y < window.y1 && x >= 4 * window.x0 && x < 4 * window.x1;
                if (!inside || x % 4 == 3) {
                    ASSERT_EQ(b[y * kBytesPerRow + x], frame[y * kBytesPerRow + x]) << "outside or alpha";
                }
            }
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, TemporalDenoiserPath,
    ::testing::Combine(::testing::Values(KernelPath::Portable, KernelPath::Sse41, KernelPath::Avx2),
        ::testing::Values(Fused { "filterOnly", 0, 0 }, Fused { "level7", 7, 0 },
            Fused { "level40Green", 40, 1 }, Fused { "saturatedGrey", 2100, 2 })),
    [](const ::testing::TestParamInfo<std::tuple<KernelPath, Fused>>& row) {
        return testing_support::caseName(imaging::FrameEnhancer::name(std::get<0>(row.param))) + "_"
            + std::get<1>(row.param).name;
    });

} // namespace
