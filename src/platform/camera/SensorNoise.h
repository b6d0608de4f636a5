#pragma once

// Sensor noise and hand shake for the stand-in cameras: what a real sensor adds to a picture in
// the dark, so that noise reduction and burst alignment have something to work on.
//
// apply() moves the picture by a small random whole-pixel offset (the hand shake; edges repeat
// the border pixels), then adds to each of b, g, r an independent, roughly Gaussian deviation
// of standard deviation `sigma` levels, rounded and clamped to 0-255. Alpha is never changed.
// Everything depends only on the seed and the frame number: the same frame number always gives
// the same pixels, consecutive frame numbers give independent noise and shakes.
//
// Pixels: Format_ARGB32_Premultiplied (B, G, R, A bytes); other formats are converted first.
//
// Threads: immutable after construction; apply() may be called from any thread.

#include <cstdint>
#include <vector>

#include <QImage>
#include <QPoint>

namespace platform {

class SensorNoise {
public:
    static constexpr int kMaxSigma = 64;
    static constexpr int kMaxShake = 16;

    // sigma: 0 to kMaxSigma levels; shake: the largest offset in pixels, 0 to kMaxShake, on each
    // axis. Values outside are clamped.
    SensorNoise(int sigma, int shake, std::uint32_t seed);

    int sigma() const { return m_sigma; }
    int shake() const { return m_shake; }
    // Nothing to add: apply() returns the picture itself (shared, not copied).
    bool isIdentity() const { return m_sigma == 0 && m_shake == 0; }

    // Where frame `frameIndex` is moved: its pixel (x, y) shows the input's (x - dx, y - dy).
    QPoint shakeOffset(std::uint64_t frameIndex) const;
    QImage apply(const QImage& picture, std::uint64_t frameIndex) const;

private:
    int m_sigma { 0 };
    int m_shake { 0 };
    std::uint32_t m_seed { 0 };
    std::vector<std::int16_t>
        m_samples; // deviations for sigma, alpha positions 0; rows read from a per-frame offset
};

} // namespace platform
