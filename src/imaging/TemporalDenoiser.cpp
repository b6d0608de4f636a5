#include "imaging/TemporalDenoiser.h"

#include <algorithm>

#include "imaging/DenoiseKernels.h"

namespace imaging {

namespace {

// The weight of a new frame where the scene is still: 32/256 = 1/8, about 15 frames of memory
// (0.75 s at 20 frames per second). The noise left is sqrt(k / (2 - k)) = 0.26 of the input's.
constexpr std::uint16_t kStillWeight = 32;

// Thresholds in units of the measured noise (the median of |neighbour difference| summed over
// b, g, r; for independent noise of sigma s per channel that is about 3.3 s, while a still pixel
// differs from a settled estimate by 2.4 s on average, 1.0 s spread). Below kRampStart (about 5 s)
// the pixel counts as still; from kRampEnd (about 10.5 s: a change of 3.5 s in every channel) it
// has moved and the new frame replaces the estimate. Both in sixteenths of the measured noise.
constexpr std::uint32_t kRampStart = 24;
constexpr std::uint32_t kRampEnd = 52;
// A floor on the noise, in levels, so a clean picture still tells motion from rounding.
constexpr std::uint32_t kNoiseFloor = 2;

// Sparse grid for the noise: every 8th row, every 4th pixel (20 000 samples in an 800 × 800 window).
constexpr std::size_t kNoiseRowStep = 8;
constexpr std::size_t kNoiseColumnStep = 4;

detail::DenoiseParams paramsFor(std::uint32_t frames, std::uint32_t noise)
{
    detail::DenoiseParams params;
    params.kMin = static_cast<std::uint16_t>(std::max<std::uint32_t>(kStillWeight, 256 / (frames + 1)));
    const std::uint32_t noise16 = std::max(noise, kNoiseFloor) * 16 + 8;
    const std::uint32_t start = std::min<std::uint32_t>(noise16 * kRampStart / 16, 12240);
    const std::uint32_t end = noise16 * kRampEnd / 16;
    const std::uint32_t span = std::clamp<std::uint32_t>(end > start ? end - start : 0, 256, 12240);
    params.threshold = static_cast<std::uint16_t>(start);
    params.span = static_cast<std::uint16_t>(span);
    params.slope = static_cast<std::uint16_t>(
        std::min<std::uint32_t>(((256u - params.kMin) * 65536u + span - 1) / span, 65535));
    return params;
}

} // namespace

std::uint32_t TemporalDenoiser::measureNoise(
    const std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window)
{
    // Neighbouring samples of a smooth picture fall in the same bin, and one histogram would make
    // each count wait for the last one's store: four histograms, one per sample in turn.
    for (auto& histogram : m_histograms)
        histogram.fill(0);
    std::uint32_t samples = 0;
    for (std::size_t y = window.y0 + kNoiseRowStep / 2; y < window.y1; y += kNoiseRowStep) {
        const std::uint8_t* row = base + y * bytesPerRow;
        for (std::size_t x = window.x0; x + 1 < window.x1; x += kNoiseColumnStep) {
            const std::uint8_t* p = row + 4 * x;
            int sad = 0;
            for (int c = 0; c < 3; ++c)
                sad += p[c] > p[c + 4] ? p[c] - p[c + 4] : p[c + 4] - p[c];
            ++m_histograms[samples % m_histograms.size()][static_cast<std::size_t>(sad)];
            ++samples;
        }
    }
    std::uint32_t seen = 0;
    for (std::size_t level = 0; level < m_histograms[0].size(); ++level) {
        for (const auto& histogram : m_histograms)
            seen += histogram[level];
        if (2 * seen > samples)
            return static_cast<std::uint32_t>(level);
    }
    return 0;
}

void TemporalDenoiser::filter(std::uint8_t* base, std::size_t bytesPerRow, const FrameWindow& window)
{
    filterAndEnhance(base, bytesPerRow, window, 0, 0); // level 0, no tint: the filter alone
}

ChannelSums TemporalDenoiser::filterAndEnhance(std::uint8_t* base, std::size_t bytesPerRow,
    const FrameWindow& window, std::int32_t level, std::int32_t colorFilter)
{
    if (window.isEmpty() || !base)
        return {};
    const std::size_t width = window.x1 - window.x0;
    const std::size_t height = window.y1 - window.y0;
    if (m_resetRequested.exchange(false, std::memory_order_acq_rel) || width != m_width || height != m_height)
        m_frames = 0;
    if (m_frames == 0) {
        m_state.resize(detail::denoiseRowValues(width) * height); // allocates only when the window grows
        m_width = width;
        m_height = height;
    }

    // The first frame after a reset only fills the estimate (k = 256 copies it exactly), so its
    // noise is not needed.
    m_lastNoise = m_frames == 0 ? 0 : measureNoise(base, bytesPerRow, window);
    const detail::DenoiseFrame frame { m_state.data(), paramsFor(m_frames, m_lastNoise),
        detail::kernelParams(level, colorFilter) };
    const ChannelSums sums = detail::denoise(base, bytesPerRow, window, frame);
    if (m_frames < 0xFFFFFFFFu)
        ++m_frames;
    return sums;
}

} // namespace imaging
