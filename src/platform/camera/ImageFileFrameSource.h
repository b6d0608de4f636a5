#pragma once

// The image-file camera: one photo shown as the live feed, scaled to fill the preset's frame size
// (aspect fill: scaled to cover, centre cropped). It offers a back and a front camera, neither
// with a torch, which both see the photo (see SensorOrientation.h for how a front sensor sees).
//
// Threads: see FrameSource.

#include <memory>

#include <QImage>
#include <QString>

#include "platform/camera/Expected.h"
#include "platform/camera/FrameSource.h"

namespace platform {

class ImageFileFrameSource final : public FrameSource {
public:
    // Fails with a reason naming the path when the file cannot be read as an image.
    static Expected<std::shared_ptr<ImageFileFrameSource>> open(const QString& path);

    QImage videoFrame(
        const StreamCaptureDevice& device, SessionPreset preset, FrameClock::Duration time) override;
    Expected<std::shared_ptr<SampleBuffer>> stillFrame(
        const StreamCaptureDevice& device, SessionPreset preset, FrameClock::Duration time) override;

    // The photo scaled and cropped to exactly `size`.
    static QImage aspectFill(const QImage& photo, QSize size);

    explicit ImageFileFrameSource(QImage photo)
        : m_photo(std::move(photo))
    {
    }

private:
    const QImage m_photo; // premultiplied BGRA, never written
    QImage m_videoFrame; // stream thread: m_photo at the last preset's size
};

} // namespace platform
