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

TEST(ImageCrop, InsideRectangleCopiesThosePixels)
{
    expectCropOf(createImageWithImageInRect(coordinateImage(10, 8), QRectF(2, 3, 4, 2)), QRect(2, 3, 4, 2));
}

TEST(ImageCrop, RectangleReachingOutsideIsClippedToTheImage)
{
    const QImage image = coordinateImage(10, 8);
    expectCropOf(createImageWithImageInRect(image, QRectF(8, 6, 5, 5)), QRect(8, 6, 2, 2));
    expectCropOf(createImageWithImageInRect(image, QRectF(-3, -2, 5, 4)), QRect(0, 0, 2, 2));
    // The scope crop with a radius larger than the frame: the whole frame.
    expectCropOf(createImageWithImageInRect(image, QRectF(5 - 100, 4 - 100, 200, 200)), QRect(0, 0, 10, 8));
}

TEST(ImageCrop, FractionalRectangleWidensToWholePixels)
{
    expectCropOf(
        createImageWithImageInRect(coordinateImage(10, 8), QRectF(1.5, 2.25, 1, 1)), QRect(1, 2, 2, 2));
}

TEST(ImageCrop, EmptyOutsideOrInvalidCropGivesNoImage)
{
    const QImage image = coordinateImage(10, 8);
    const qreal nan = std::numeric_limits<qreal>::quiet_NaN();
    const qreal inf = std::numeric_limits<qreal>::infinity();
    EXPECT_TRUE(createImageWithImageInRect(image, QRectF(5, 4, 0, 0)).isNull()); // rad = 0
    EXPECT_TRUE(createImageWithImageInRect(image, QRectF(20, 0, 5, 5)).isNull());
    EXPECT_TRUE(createImageWithImageInRect(image, QRectF(-10, -10, 10, 10)).isNull());
    EXPECT_TRUE(createImageWithImageInRect(image, QRectF(nan, 0, 5, 5)).isNull());
    EXPECT_TRUE(createImageWithImageInRect(image, QRectF(0, 0, inf, 5)).isNull());
    EXPECT_TRUE(createImageWithImageInRect(QImage(), QRectF(0, 0, 5, 5)).isNull());
}
