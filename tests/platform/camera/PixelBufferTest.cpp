#include "platform/camera/PixelBuffer.h"

#include <cstdint>
#include <limits>
#include <vector>

#include <QImage>

#include <gtest/gtest.h>

#include "platform/camera/SampleBuffer.h"

namespace {

using platform::PixelBuffer;
using platform::SampleBuffer;

constexpr std::size_t kMax = std::numeric_limits<std::size_t>::max();

TEST(PixelBuffer, RejectsBadLayoutsWithAReasonAndTakesAnyPadding)
{
    std::uint8_t memory[64] = {};
    struct Case {
        void* memory;
        std::size_t width, height, bytesPerRow;
        const char* reason;
    };
    const Case cases[] = {
        { memory, 5, 3, 19, "less than 4 x width" }, { memory, 0, 3, 16, "empty" },
        { nullptr, 4, 1, 16, "null" }, { memory, kMax / 4 + 1, 1, kMax, "too large" }, // 4 × width overflows
        { memory, 4, kMax / 16 + 1, 16, "overflows" }, // height × bytesPerRow overflows
    };
    for (const Case& c : cases) {
        auto buffer = PixelBuffer::wrap(c.memory, c.width, c.height, c.bytesPerRow);
        EXPECT_FALSE(buffer) << c.width << "x" << c.height << " / " << c.bytesPerRow;
        EXPECT_TRUE(buffer.error().contains(c.reason)) << buffer.error().toStdString();
    }
    // Any row of at least four bytes a pixel is fine: exact, odd padding, more padding.
    for (std::size_t bytesPerRow : { 20, 21, 23 }) {
        auto buffer = PixelBuffer::wrap(memory, 5, 2, bytesPerRow);
        ASSERT_TRUE(buffer) << buffer.error().toStdString();
        EXPECT_EQ(buffer->byteCount(), 2 * bytesPerRow);
    }
    EXPECT_FALSE(PixelBuffer::allocate(4, kMax / 16 + 1));
    EXPECT_FALSE(PixelBuffer::allocate(kMax / 2, 1));
}

TEST(SampleBuffer, FromImageCopiesBgraBytesAndKeepsAttachments)
{
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(QColor(30, 20, 10)); // r, g, b
    image.setPixel(2, 1, qRgb(200, 150, 100));
    auto sample = SampleBuffer::fromImage(image, { { "{Exif}", QVariantMap { { "ISO", 800 } } } });
    ASSERT_TRUE(sample) << sample.error().toStdString();
    PixelBuffer& pixels = sample->imageBuffer();
    ASSERT_EQ(pixels.width(), 3u);
    ASSERT_EQ(pixels.height(), 2u);
    PixelBuffer::ScopedLock lock(pixels);
    const std::uint8_t* first = pixels.baseAddress();
    EXPECT_EQ(std::vector<int>(first, first + 4), (std::vector<int> { 10, 20, 30, 255 }));
    const std::uint8_t* last = pixels.baseAddress() + pixels.bytesPerRow() + 8;
    EXPECT_EQ(std::vector<int>(last, last + 4), (std::vector<int> { 100, 150, 200, 255 }));
    EXPECT_EQ(sample->attachments().value("{Exif}").toMap().value("ISO").toInt(), 800);

    image.fill(Qt::white);
    EXPECT_EQ(first[0], 10) << "the sample owns a copy";
    EXPECT_FALSE(SampleBuffer::fromImage(QImage()));
}

} // namespace
