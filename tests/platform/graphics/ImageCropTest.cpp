#include "platform/graphics/ImageCrop.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

using platform::createImageWithImageInRect;

namespace {

// Every pixel encodes its own coordinates, so a crop can be checked against its origin.
QImage coordinateImage(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x, y, 7));
    }
    return image;
}

void expectCropOf(const QImage& crop, const QRect& expected)
{
    ASSERT_FALSE(crop.isNull());
    EXPECT_EQ(crop.size(), expected.size());
    EXPECT_EQ(crop.format(), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < crop.height(); ++y) {
        for (int x = 0; x < crop.width(); ++x)
            ASSERT_EQ(crop.pixel(x, y), qRgb(expected.x() + x, expected.y() + y, 7));
    }
}

} // namespace

// A crop copies the pixels under the rectangle, clipped to the image and widened to whole pixels.
TEST(ImageCrop, CopiesThePixelsUnderTheRectangleClippedAndWidened)
{
    const QImage image = coordinateImage(10, 8);
    const std::pair<QRectF, QRect> rows[] = {
        { QRectF(2, 3, 4, 2), QRect(2, 3, 4, 2) },
        { QRectF(8, 6, 5, 5), QRect(8, 6, 2, 2) },
        { QRectF(-3, -2, 5, 4), QRect(0, 0, 2, 2) },
        { QRectF(5 - 100, 4 - 100, 200, 200), QRect(0, 0, 10, 8) }, // a scope larger than the frame
        { QRectF(1.5, 2.25, 1, 1), QRect(1, 2, 2, 2) },
    };
    for (const auto& [rect, expected] : rows) {
        SCOPED_TRACE(
            testing::Message() << rect.x() << "," << rect.y() << " " << rect.width() << "x" << rect.height());
        expectCropOf(createImageWithImageInRect(image, rect), expected);
    }
}

TEST(ImageCrop, EmptyOutsideOrInvalidCropGivesNoImage)
{
    const QImage image = coordinateImage(10, 8);
    const qreal nan = std::numeric_limits<qreal>::quiet_NaN();
    const qreal inf = std::numeric_limits<qreal>::infinity();
    for (const QRectF& rect : { QRectF(5, 4, 0, 0), QRectF(20, 0, 5, 5), QRectF(-10, -10, 10, 10),
             QRectF(nan, 0, 5, 5), QRectF(0, 0, inf, 5) })
        EXPECT_TRUE(createImageWithImageInRect(image, rect).isNull()) << rect.x() << "," << rect.width();
    EXPECT_TRUE(createImageWithImageInRect(QImage(), QRectF(0, 0, 5, 5)).isNull());
}
