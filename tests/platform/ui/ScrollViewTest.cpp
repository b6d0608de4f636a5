#include <gtest/gtest.h>

#include "platform/ui/ImageView.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/ScrollViewDelegate.h"
#include "platform/ui/TouchDispatcher.h"

using namespace platform;

namespace {

struct PhotoScreen : ::testing::Test, ScrollViewDelegate {
    View root { QRectF(0, 0, 320, 480) };
    ScrollView* scroll { static_cast<ScrollView*>(
        root.addSubview(std::make_unique<ScrollView>(QRectF(0, 0, 320, 480)))) };
    ImageView* photo { static_cast<ImageView*>(
        scroll->addSubview(std::make_unique<ImageView>(QRectF(0, 0, 320, 480)))) };
    TouchDispatcher touches { root };

    PhotoScreen()
    {
        scroll->setDelegate(this);
        scroll->setContentSize(QSizeF(320, 480));
        scroll->setMinimumZoomScale(1.0);
        scroll->setMaximumZoomScale(3.0);
    }
    View* viewForZooming(ScrollView&) override { return photo; }
};

} // namespace

TEST_F(PhotoScreen, WheelZoomKeepsThePointUnderThePointerAndDragScrollsWithinContent)
{
    // Zoom ×2 about the screen point (80, 120): that content point stays under it.
    scroll->zoomAt(2.0, QPointF(80, 120));
    EXPECT_EQ(scroll->zoomScale(), 2.0);
    EXPECT_EQ(scroll->contentOffset(), QPointF(80, 120));
    EXPECT_EQ(photo->convertPointToRoot(QPointF(80, 120)), QPointF(80, 120));

    // Dragging on the photo moves the content with the finger, never past its edges.
    touches.press(QPointF(200, 200));
    touches.move(QPointF(180, 150));
    EXPECT_EQ(scroll->contentOffset(), QPointF(100, 170));
    touches.move(QPointF(900, 900));
    touches.release(QPointF(900, 900));
    EXPECT_EQ(scroll->contentOffset(), QPointF(0, 0));
    scroll->setContentOffset(QPointF(1e6, 1e6));
    EXPECT_EQ(scroll->contentOffset(), QPointF(320, 480)); // content 640×960 minus the view

    // A wheel step over the photo zooms in; the zoom stays within its limits.
    for (int i = 0; i < 20; ++i)
        touches.wheel(QPointF(160, 240), 1);
    EXPECT_EQ(scroll->zoomScale(), 3.0);
    EXPECT_EQ(photo->frame(), QRectF(0, 0, 960, 1440));
}

TEST_F(PhotoScreen, ZoomedPhotoIsDrawnMagnified)
{
    QImage image(2, 2, QImage::Format_ARGB32_Premultiplied);
    image.setPixel(0, 0, qRgb(255, 0, 0));
    image.setPixel(1, 0, qRgb(0, 255, 0));
    image.setPixel(0, 1, qRgb(0, 0, 255));
    image.setPixel(1, 1, qRgb(255, 255, 255));
    photo->setImage(image);
    scroll->setZoomScale(2.0);
    const QImage shot = root.snapshot(0.25); // 80 × 120 pixels
    // Zoomed ×2, the top-left quarter (red) of the photo fills the screen.
    const QColor centre(shot.pixel(40, 60));
    EXPECT_GT(centre.red(), 240);
    EXPECT_LT(centre.green(), 15);
    EXPECT_LT(centre.blue(), 15);
}
