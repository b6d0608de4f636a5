#pragma once

// The image-file camera: one photo shown as the live feed, scaled to fill the preset's frame size
// (aspect fill: scaled to cover, centre cropped). It offers a back and a front camera, neither
// with a torch, which both see the photo (see SensorOrientation.h for how a front sensor sees).
//
// A SensorNoise, when given, is laid over every frame and still; each picture takes the next
// frame number, so the still photo becomes a noisy feed. Without one (or with sigma and shake
// 0) the frames are exactly the photo's pixels.
//
// Threads: see FrameSource.

#include <atomic>
#include <cstdint>
#include <memory>

#include <QImage>
#include <QString>

#include "platform/camera/Expected.h"
#include "platform/camera/FrameSource.h"
#include "platform/camera/SensorNoise.h"

namespace platform {

class ImageFileFrameSource final : public FrameSource {
public:
    // Fails with a reason naming the path when the file cannot be read as an image or is
    // damaged (platform::imageFileDamage, checked before anything is decoded).
    static Expected<std::shared_ptr<ImageFileFrameSource>> open(
        const QString& path, SensorNoise noise = SensorNoise(0, 0, 1));

    QImage videoFrame(
        const StreamCaptureDevice& device, SessionPreset preset, FrameClock::Duration time) override;
    Expected<std::shared_ptr<SampleBuffer>> stillFrame(
        const StreamCaptureDevice& device, SessionPreset preset, FrameClock::Duration time) override;

    // The photo scaled and cropped to exactly `size`.
    static QImage aspectFill(const QImage& photo, QSize size);

    explicit ImageFileFrameSource(QImage photo, SensorNoise noise = SensorNoise(0, 0, 1))
        : m_photo(std::move(photo))
        , m_noise(std::move(noise))
    {
    }

private:
    QImage withNoise(const QImage& picture);

    const QImage m_photo; // premultiplied BGRA, never written
    const SensorNoise m_noise;
    std::atomic<std::uint64_t> m_frameNumber { 0 }; // video frames and stills, in the order taken
    QImage m_videoFrame; // stream thread: m_photo at the last preset's size
};

} // namespace platform
