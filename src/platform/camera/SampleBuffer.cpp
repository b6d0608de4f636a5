#include "platform/camera/SampleBuffer.h"

#include <bit>
#include <cstring>

#include <QImage>

namespace platform {

// QImage's 32-bit formats are native-endian words; only on little-endian machines are they the
// B, G, R, A bytes that camera frames carry.
static_assert(std::endian::native == std::endian::little, "BGRA frames assume a little-endian machine");

SampleBuffer::SampleBuffer(PixelBuffer pixels, MetadataDictionary attachments)
    : m_pixels(std::move(pixels))
    , m_attachments(std::move(attachments))
{
}

Expected<SampleBuffer> SampleBuffer::fromMemory(void* memory, std::size_t width, std::size_t height,
    std::size_t bytesPerRow, MetadataDictionary attachments)
{
    auto pixels = PixelBuffer::wrap(memory, width, height, bytesPerRow);
    if (!pixels)
        return Expected<SampleBuffer>::failure(pixels.error());
    return SampleBuffer(std::move(*pixels), std::move(attachments));
}

Expected<SampleBuffer> SampleBuffer::fromImage(const QImage& image, MetadataDictionary attachments)
{
    if (image.isNull())
        return Expected<SampleBuffer>::failure(QStringLiteral("the image is empty"));
    const QImage bgra = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (bgra.isNull())
        return Expected<SampleBuffer>::failure(QStringLiteral("the image cannot be converted to BGRA"));
    const auto width = static_cast<std::size_t>(bgra.width());
    const auto height = static_cast<std::size_t>(bgra.height());
    // Every row is copied in whole below and there is no padding, so no zeroing first.
    auto pixels = PixelBuffer::allocate(width, height, 0, PixelBuffer::Contents::Unset);
    if (!pixels)
        return Expected<SampleBuffer>::failure(pixels.error());
    {
        PixelBuffer::ScopedLock lock(*pixels);
        for (std::size_t y = 0; y < height; ++y)
            std::memcpy(pixels->baseAddress() + y * pixels->bytesPerRow(),
                bgra.constScanLine(static_cast<int>(y)), 4 * width);
    }
    return SampleBuffer(std::move(*pixels), std::move(attachments));
}

} // namespace platform
