// The album control's thumbnail picture: filled without stretching, rounded, at the screen scale.

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include "ui/LumivueViewController.h"

namespace {

// A 2:1 picture: red outer quarters, a green middle half.
QImage banded()
{
    QImage image(200, 100, QImage::Format_RGB32);
    image.fill(Qt::red);
    QPainter painter(&image);
    painter.fillRect(QRect(50, 0, 100, 100), Qt::green);
    return image;
}

TEST(ThumbnailArt, FillsTheControlWithTheCentreAndRoundsTheCornersOrIsNone)
{
    const QImage art = ui::LumivueViewController::thumbnailArt(banded(), QSizeF(54, 54), 8, 2);
    ASSERT_EQ(art.size(), QSize(108, 108));
    // Aspect fill keeps the middle square: no red band survives, nothing is squeezed in.
    for (const QPoint p : { QPoint(54, 54), QPoint(20, 54), QPoint(88, 54), QPoint(54, 2), QPoint(54, 105) })
        EXPECT_EQ(art.pixelColor(p).rgb(), QColor(Qt::green).rgb()) << p.x() << "," << p.y();
    // Corners outside the 16-pixel radius are transparent.
    for (const QPoint p : { QPoint(0, 0), QPoint(107, 0), QPoint(0, 107), QPoint(107, 107) })
        EXPECT_EQ(art.pixelColor(p).alpha(), 0) << p.x() << "," << p.y();
    // No picture, or no room for one, gives none.
    EXPECT_TRUE(ui::LumivueViewController::thumbnailArt(QImage(), QSizeF(54, 54), 8, 2).isNull());
    EXPECT_TRUE(ui::LumivueViewController::thumbnailArt(banded(), QSizeF(0, 54), 8, 2).isNull());
}

} // namespace
