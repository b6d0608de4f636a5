#include "platform/camera/PixelBuffer.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace platform {

namespace {

constexpr std::size_t kMaxSize = std::numeric_limits<std::size_t>::max();
constexpr std::size_t kAlignment = 64; // a cache line: vector code never splits a row start needlessly

} // namespace

void PixelBuffer::FreeDeleter::operator()(std::uint8_t* memory) const
{
    std::free(memory);
}

QString PixelBuffer::checkLayout(std::size_t width, std::size_t height, std::size_t bytesPerRow)
{
    if (width == 0 || height == 0)
        return QStringLiteral("pixel buffer of %1 x %2 pixels is empty").arg(width).arg(height);
    if (width > kMaxSize / 4)
        return QStringLiteral("pixel buffer width %1 is too large").arg(width);
    if (bytesPerRow < 4 * width)
        return QStringLiteral("pixel buffer bytes per row %1 is less than 4 x width (%2)")
            .arg(bytesPerRow)
            .arg(4 * width);
    if (height > kMaxSize / bytesPerRow)
        return QStringLiteral("pixel buffer of %1 rows of %2 bytes overflows the address space")
            .arg(height)
            .arg(bytesPerRow);
    return {};
}

Expected<PixelBuffer> PixelBuffer::wrap(
    void* memory, std::size_t width, std::size_t height, std::size_t bytesPerRow)
{
    if (!memory)
        return Expected<PixelBuffer>::failure(QStringLiteral("pixel buffer memory is null"));
    if (QString error = checkLayout(width, height, bytesPerRow); !error.isEmpty())
        return Expected<PixelBuffer>::failure(error);
    PixelBuffer buffer;
    buffer.m_memory = static_cast<std::uint8_t*>(memory);
    buffer.m_width = width;
    buffer.m_height = height;
    buffer.m_bytesPerRow = bytesPerRow;
    return buffer;
}

Expected<PixelBuffer> PixelBuffer::allocate(
    std::size_t width, std::size_t height, std::size_t bytesPerRow, Contents contents)
{
    if (bytesPerRow == 0 && width <= kMaxSize / 4)
        bytesPerRow = 4 * width;
    if (QString error = checkLayout(width, height, bytesPerRow); !error.isEmpty())
        return Expected<PixelBuffer>::failure(error);
    const std::size_t bytes = height * bytesPerRow;
    if (bytes > kMaxSize - kAlignment)
        return Expected<PixelBuffer>::failure(
            QStringLiteral("pixel buffer of %1 bytes is too large").arg(bytes));
    const std::size_t rounded = (bytes + kAlignment - 1) / kAlignment * kAlignment;
    auto* memory = static_cast<std::uint8_t*>(std::aligned_alloc(kAlignment, rounded));
    if (!memory)
        return Expected<PixelBuffer>::failure(
            QStringLiteral("cannot allocate a pixel buffer of %1 bytes").arg(bytes));
    if (contents == Contents::Zeroed)
        std::memset(memory, 0, rounded);
    PixelBuffer buffer;
    buffer.m_owned.reset(memory);
    buffer.m_memory = memory;
    buffer.m_width = width;
    buffer.m_height = height;
    buffer.m_bytesPerRow = bytesPerRow;
    return buffer;
}

void PixelBuffer::unlockBaseAddress()
{
    if (m_lockCount > 0)
        --m_lockCount;
}

} // namespace platform
