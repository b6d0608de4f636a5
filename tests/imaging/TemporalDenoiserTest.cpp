#include "imaging/TemporalDenoiser.h"

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

#include <QImage>

#include <gtest/gtest.h>

#include "KernelTargets.h"
#include "imaging/DenoiseKernels.h"
#include "platform/camera/SensorNoise.h"

namespace {

using imaging::ChannelSums;
using imaging::FrameWindow;
using imaging::TemporalDenoiser;

FrameWindow whole(const QImage& image)
{
    return { 0, 0, std::size_t(image.width()), std::size_t(image.height()) };
}

void filter(TemporalDenoiser& denoiser, QImage& frame)
{
    denoiser.filter(frame.bits(), std::size_t(frame.bytesPerLine()), whole(frame));
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

// The filter's rule written plainly: an estimate per pixel and channel in 12.4 fixed point, moved
// by diff × k / 256 rounded.
ChannelSums referenceFilterThenEnhance(std::vector<std::uint8_t>& frame, std::size_t bytesPerRow,
    const FrameWindow& w, std::vector<int>& estimates, const imaging::detail::DenoiseParams& q,
    std::int32_t level, std::int32_t colorFilter)
{
    for (std::size_t y = w.y0; y < w.y1; ++y)
        for (std::size_t x = w.x0; x < w.x1; ++x) {
            std::uint8_t* p = frame.data() + y * bytesPerRow + 4 * x;
            int* s = estimates.data() + 3 * ((y - w.y0) * (w.x1 - w.x0) + (x - w.x0));
            int diff[3], sad = 0;
            for (int c = 0; c < 3; ++c) {
                diff[c] = 16 * p[c] - s[c];
                sad += std::abs(diff[c]);
            }
            const int d = std::clamp(sad - q.threshold, 0, int(q.span));
            const int k = std::min(256, q.kMin + ((d * q.slope) >> 16));
            for (int c = 0; c < 3; ++c) {
                s[c] += (diff[c] * k + 128) >> 8;
                p[c] = std::uint8_t((s[c] + 8) >> 4);
            }
        }
    return imaging::FrameEnhancer::enhance(frame.data(), bytesPerRow, w, level, colorFilter);
}

// The fused pass on every target, with every kind of enhancement, against the plain filter followed
// by the enhancement: bytes and sums, over a sequence whose estimates carry from frame to frame,
// with still parts, motion, noise, a restart (k = 256) and several ramps. The window lies inside a
// padded frame and is 59 wide: whole steps and a tail on every target, on the widest one a tail
// that ends in the second half of a step. The scene is bright and
// tall enough that 16-bit sums pass 32767 and are widened more than once.
class TemporalDenoiserTarget : public EveryKernelTarget { };

TEST_P(TemporalDenoiserTarget, FusedPassMatchesThePlainFilterThenTheEnhancement)
{
    constexpr std::size_t kWidth = 65, kHeight = 300, kBytesPerRow = 4 * kWidth + 12;
    const FrameWindow window { 3, 2, 62, 299 };
    const imaging::detail::DenoiseParams ramps[]
        = { { 256, 0, 256, 0 }, { 128, 120, 300, 28399 }, { 32, 0, 256, 57344 }, { 40, 900, 12240, 1180 } };
    const struct {
        std::int32_t level, colorFilter;
    } enhancements[] = { { 0, 0 }, { 7, 0 }, { 40, 1 }, { 2100, 2 } };
    for (const auto& e : enhancements) {
        SCOPED_TRACE(testing::Message() << "level " << e.level << ", filter " << e.colorFilter);
        std::mt19937 random(1234);
        std::vector<std::uint8_t> scene(kBytesPerRow * kHeight);
        for (auto& byte : scene)
            byte = std::uint8_t(96 + random() % 160);
        std::vector<std::uint16_t> state(imaging::detail::denoiseRowValues(59) * 297);
        std::vector<int> estimates(3 * 59 * 297);
        for (int f = 0; f < 12; ++f) {
            std::vector<std::uint8_t> frame = scene;
            for (std::size_t i = 0; i < frame.size(); ++i) {
                const int noisy = int(frame[i]) + int(random() % 41) - 20 + ((i / 4) % 97 < 9 ? f * 13 : 0);
                frame[i] = std::uint8_t(std::clamp(noisy, 0, 255));
            }
            const imaging::detail::DenoiseParams& q = ramps[f == 0 || f == 8 ? 0 : f % 3 + 1];
            std::vector<std::uint8_t> expected = frame, actual = frame;
            const ChannelSums expectedSums = referenceFilterThenEnhance(
                expected, kBytesPerRow, window, estimates, q, e.level, e.colorFilter);
            const ChannelSums sums = imaging::detail::denoise(actual.data(), kBytesPerRow, window,
                { state.data(), q, imaging::detail::kernelParams(e.level, e.colorFilter) });
            ASSERT_TRUE(actual == expected) << "frame " << f << ": alpha, the padding and the rest stay too";
            ASSERT_EQ(sums, expectedSums) << "frame " << f;
        }
    }
}

INSTANTIATE_FOR_EVERY_KERNEL_TARGET(TemporalDenoiserTarget);

} // namespace
