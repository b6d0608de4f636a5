#pragma once

// One camera frame as an output delivers it: its BGRA pixel buffer and its attachments (the
// camera's own metadata, e.g. an "{Exif}" dictionary), which a saved photo carries on.
//
// Threads: used by one thread at a time; delivery hands it from the camera's thread to the
// receiver.

#include <cstddef>

#include "platform/camera/Expected.h"
#include "platform/camera/PixelBuffer.h"
#include "platform/core/MetadataDictionary.h"

class QImage;

namespace platform {

class SampleBuffer {
public:
    explicit SampleBuffer(PixelBuffer pixels, MetadataDictionary attachments = {});

    // A frame over caller memory (see PixelBuffer::wrap); nothing is copied.
    static Expected<SampleBuffer> fromMemory(void* memory, std::size_t width, std::size_t height,
        std::size_t bytesPerRow, MetadataDictionary attachments = {});
    // A frame holding a copy of the image's pixels, converted to premultiplied BGRA, rows unpadded.
    static Expected<SampleBuffer> fromImage(const QImage& image, MetadataDictionary attachments = {});

    PixelBuffer& imageBuffer() { return m_pixels; }
    const PixelBuffer& imageBuffer() const { return m_pixels; }

    // A copy of the frame's attachments; changing it does not change the frame.
    MetadataDictionary attachments() const { return m_attachments; }
    void setAttachments(MetadataDictionary attachments) { m_attachments = std::move(attachments); }

private:
    PixelBuffer m_pixels;
    MetadataDictionary m_attachments;
};

} // namespace platform
