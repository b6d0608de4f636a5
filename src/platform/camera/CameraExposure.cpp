#include "platform/camera/CameraExposure.h"

#include <cmath>
#include <utility>

namespace platform {

namespace {

constexpr int kSampleSpacing = 8; // pixels and rows between samples

} // namespace

CameraExposure::CameraExposure(V4l2Controls controls, double frameInterval)
    : m_controls(std::move(controls))
    , m_limits(m_controls.limits())
    , m_frameInterval(frameInterval)
    , m_state(m_controls.current())
    , m_exposureTime(0.0)
    , m_iso(0)
{
    m_streamThread.detach();
    // Take over from the camera's own automatics at once, from where they had got to, so that
    // what settings() reports stays true while the picture needs no change.
    if (m_limits.hasExposure || m_limits.hasGain) {
        m_controls.apply(m_state);
        m_state = m_controls.current();
    }
    publish(m_state);
}

double CameraExposure::meanLuma(const std::uint8_t* bgra, int width, int height, int bytesPerRow)
{
    if (!bgra || width <= 0 || height <= 0 || bytesPerRow < 4 * width)
        return std::nan("");
    std::uint64_t sum = 0;
    std::uint64_t samples = 0;
    for (int y = 0; y < height; y += kSampleSpacing) {
        const std::uint8_t* row = bgra + std::size_t(y) * std::size_t(bytesPerRow);
        for (int x = 0; x < width; x += kSampleSpacing) {
            const std::uint8_t* pixel = row + 4 * std::size_t(x);
            sum += 29u * pixel[0] + 150u * pixel[1] + 77u * pixel[2];
            ++samples;
        }
    }
    return double(sum) / (256.0 * double(samples));
}

void CameraExposure::frame(const std::uint8_t* bgra, int width, int height, int bytesPerRow)
{
    LUMIVUE_CHECK_THREAD(m_streamThread);
    if (!m_limits.hasExposure && !m_limits.hasGain)
        return;
    if (m_framesToSkip > 0) {
        --m_framesToSkip;
        return;
    }
    const double luma = meanLuma(bgra, width, height, bytesPerRow);
    if (std::isnan(luma))
        return;
    m_framesToSkip = kSettleFrames - 1;
    const ExposureState wanted = m_planner.next(m_state, m_limits, m_frameInterval, luma);
    if (wanted.exposureTime == m_state.exposureTime && wanted.analogueGain == m_state.analogueGain)
        return;
    m_controls.apply(wanted);
    m_framesToSkip = kSettleFrames;
    // The camera rounds to its steps and may refuse: the next step starts from what it took.
    m_state = m_controls.current();
    publish(m_state);
}

void CameraExposure::publish(const ExposureState& state)
{
    // A read-only exposure control still tells the truth; gain without a control reads as unity,
    // which would be a guess.
    m_exposureTime.store(state.exposureTime, std::memory_order_relaxed);
    m_iso.store(m_limits.hasGain ? isoFor(state.analogueGain) : 0, std::memory_order_relaxed);
}

ExposureSettings CameraExposure::settings() const
{
    ExposureSettings settings;
    if (const double exposureTime = m_exposureTime.load(std::memory_order_relaxed); exposureTime > 0.0)
        settings.exposureTime = exposureTime;
    if (const int iso = m_iso.load(std::memory_order_relaxed); iso > 0)
        settings.iso = iso;
    return settings;
}

} // namespace platform
