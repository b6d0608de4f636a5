#include "platform/camera/SensorNoise.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/camera/SplitMix.h"

namespace platform {

namespace {

// Enough samples that rows starting at random offsets do not repeat visibly; a row longer than
// the table wraps around it.
constexpr std::size_t kSamples = std::size_t(1) << 19;

std::uint64_t splitMix(std::uint64_t& state)
{
    return splitmix::next(state);
}
double unitRandom(std::uint64_t& state)
{
    return splitmix::unit(state);
}

// The picture shifted by (dx, dy), border pixels repeated into the uncovered edge.
QImage shifted(const QImage& picture, QPoint offset)
{
    const int width = picture.width();
    const int height = picture.height();
    QImage out(picture.size(), QImage::Format_ARGB32_Premultiplied);
    const int dx = offset.x();
    for (int y = 0; y < height; ++y) {
        const auto* src
            = reinterpret_cast<const QRgb*>(picture.constScanLine(std::clamp(y - offset.y(), 0, height - 1)));
        auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
        const int begin = std::clamp(dx, 0, width);
        const int end = std::clamp(width + dx, 0, width);
        std::fill(dst, dst + begin, src[0]);
        if (end > begin)
            std::memcpy(dst + begin, src + (begin - dx), std::size_t(end - begin) * sizeof(QRgb));
        std::fill(dst + std::max(end, begin), dst + width, src[width - 1]);
    }
    return out;
}

} // namespace

SensorNoise::SensorNoise(int sigma, int shake, std::uint32_t seed)
    : m_sigma(std::clamp(sigma, 0, kMaxSigma))
    , m_shake(std::clamp(shake, 0, kMaxShake))
    , m_seed(seed)
{
    if (m_sigma == 0)
        return;
    m_samples.resize(kSamples);
    std::uint64_t state = (std::uint64_t(seed) << 8) ^ std::uint64_t(m_sigma) ^ 0x5DEECE66Dull;
    for (std::size_t i = 0; i < kSamples; ++i) {
        if (i % 4 == 3)
            continue; // alpha
        const double u1 = std::max(unitRandom(state), 1e-12);
        const double u2 = unitRandom(state);
        const double n = m_sigma * std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
        m_samples[i] = std::int16_t(std::clamp(std::lround(n), -255l, 255l));
    }
}

QPoint SensorNoise::shakeOffset(std::uint64_t frameIndex) const
{
    if (m_shake == 0)
        return {};
    std::uint64_t state = (std::uint64_t(m_seed) << 32) ^ (frameIndex * 0xD1B54A32D192ED03ull) ^ 0x5A4Bull;
    const std::uint64_t span = 2 * std::uint64_t(m_shake) + 1;
    const int dx = int(splitMix(state) % span) - m_shake;
    const int dy = int(splitMix(state) % span) - m_shake;
    return { dx, dy };
}

QImage SensorNoise::apply(const QImage& picture, std::uint64_t frameIndex) const
{
    if (isIdentity() || picture.isNull())
        return picture;
    QImage frame = picture.format() == QImage::Format_ARGB32_Premultiplied
        ? picture
        : picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (m_shake > 0)
        frame = shifted(frame, shakeOffset(frameIndex));
    if (m_sigma == 0)
        return frame;

    frame.detach();
    const std::size_t rowBytes = std::size_t(frame.width()) * 4;
    for (int y = 0; y < frame.height(); ++y) {
        // Each row of each frame reads the table from its own pixel-aligned offset.
        std::uint64_t state
            = (std::uint64_t(m_seed) << 32) ^ (frameIndex * 0x9E3779B97F4A7C15ull) ^ std::uint64_t(y);
        std::size_t at = (splitMix(state) % (kSamples / 4)) * 4;
        uchar* row = frame.scanLine(y);
        std::size_t done = 0;
        while (done < rowBytes) {
            const std::size_t run = std::min(rowBytes - done, kSamples - at);
            const std::int16_t* noise = m_samples.data() + at;
            for (std::size_t i = 0; i < run; ++i)
                row[done + i] = uchar(std::clamp(int(row[done + i]) + noise[i], 0, 255));
            done += run;
            at = 0;
        }
    }
    return frame;
}

} // namespace platform
