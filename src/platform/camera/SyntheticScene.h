#pragma once

// The picture of the synthetic camera: a dim night street (sky gradient, moon, buildings with a
// few lit windows, a sign with text, a tree) with a slowly moving car and drifting cloud, and
// sensor-like noise. The result depends only on the seed and the arguments of render(), so a
// given seed and time always give the same pixels.
//
// Pixels: Format_ARGB32_Premultiplied with alpha 255, i.e. B, G, R, A bytes in memory.
// The picture is laid into the landscape frame as a phone's sensor delivers it (SensorOrientation.h),
// the same for the back and the front camera. The torch lights the foreground and lowers the noise (a lower
// gain is needed).
//
// Threads: one SyntheticScene is used by one thread at a time (it caches the static background of
// the last size and torch state). renderSyntheticScene() may be called from any thread.

#include <cstdint>
#include <vector>

#include <QImage>
#include <QRect>
#include <QSize>

namespace platform {

class SyntheticScene {
public:
    explicit SyntheticScene(std::uint32_t seed)
        : m_seed(seed)
    {
    }

    std::uint32_t seed() const { return m_seed; }

    // `seconds` is the scene time; the scene moves slowly and continuously with it.
    QImage render(double seconds, QSize size, bool torch);

private:
    void prepare(QSize size, bool torch);
    // Paints the cloud and the car; returns the frame pixels they may have touched.
    QRect paintMovingParts(QImage& image, double seconds) const;
    // Makes m_scene the background again where the last frame's moving parts were.
    void restoreScene();

    std::uint32_t m_seed;
    QSize m_size;
    bool m_torch { false };
    QImage m_background; // static part for m_size and m_torch, noise-free
    QImage m_scene; // scratch: background plus moving parts, before noise
    QRect m_sceneDirty; // where m_scene differs from m_background
    bool m_sceneStale { true }; // m_scene was made for another background
    std::vector<std::uint8_t> m_noiseUp; // zero-mean noise samples for m_torch: positive part
    std::vector<std::uint8_t> m_noiseDown; // and negative part; zero at every alpha byte
};

// The same scene as a pure function, for callers that render one frame.
QImage renderSyntheticScene(std::uint32_t seed, double seconds, QSize size, bool torch);

} // namespace platform
