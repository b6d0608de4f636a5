// The last photo and its thumbnail, and the photo viewer: the reduced picture and the full one,
// every orientation, small photos and photos that are gone. The program tests show the viewer
// fitted and centred, and a damaged photo, end to end.

#include <cmath>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "../platform/album/AlbumTestSupport.h"
#include "PhotoCaptureTestSupport.h"
#include "photos/ViewImageController.h"
#include "platform/album/AssetsLibrary.h"
#include "platform/device/Device.h"
#include "platform/ui/ImageView.h"
#include "platform/device/Screen.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/View.h"
#include "support/TestNames.h"

using namespace capturetest;
namespace ip = platform::ImageProperty;

namespace {

using testing_support::PrintTo;

// Writes a photo straight into the album with an EXIF orientation.
platform::AssetURL writePhoto(const QString& dir, QSize size, int exifOrientation = 1)
{
    platform::AssetsLibrary library(dir);
    return albumtest::writeAndWait(library, stillPicture(size), { { ip::Orientation, exifOrientation } }).url;
}

// How far red is above blue: the stored left half is red, the right half blue.
int redness(QRgb p)
{
    return qRed(p) - qBlue(p);
}

class ScreenScale {
public:
    explicit ScreenScale(qreal scale) { platform::Screen::main().setScale(scale); }
    ~ScreenScale() { platform::Screen::main().setScale(m_previous); }

private:
    qreal m_previous { platform::Screen::main().scale() };
};

class LastPhotoTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_capture.lastPhoto.setAlbumDirectory(m_dir.path());
    }
    // The scan is over once both calls of the group block have been logged.
    void scanAndWait()
    {
        const LogCapture log;
        m_capture.lastPhoto.setLastPhotoURL();
        ASSERT_TRUE(waitUntil([&] { return log.lines().count("Enum Group") == 2; }));
    }

    QTemporaryDir m_dir;
    TestCapture m_capture;
};

// ---- The last photo and the album control ------------------------------------------------------

TEST_F(LastPhotoTest, ScanTakesTheNewestOfThreePhotos)
{
    writePhoto(m_dir.path(), { 64, 48 });
    writePhoto(m_dir.path(), { 64, 48 });
    const platform::AssetURL third = writePhoto(m_dir.path(), { 48, 64 }); // the only portrait one
    scanAndWait();
    ASSERT_TRUE(waitUntil([&] { return !m_capture.thumbnails.empty(); }));
    EXPECT_EQ(m_capture.lastImageURL(), third);
    EXPECT_GT(m_capture.thumbnails.back().height(), m_capture.thumbnails.back().width());
}

TEST_F(LastPhotoTest, PhotoDeletedSinceItWasStoredClearsTheThumbnail)
{
    writePhoto(m_dir.path(), { 64, 48 });
    scanAndWait();
    ASSERT_TRUE(waitUntil([&] { return m_capture.thumbnails.size() == 1; }));
    ASSERT_TRUE(QFile::remove(m_dir.filePath("IMG_0001.JPG")));

    m_capture.lastPhoto.updateThumb();
    ASSERT_TRUE(waitUntil([&] { return m_capture.thumbnails.size() == 2; }));
    EXPECT_TRUE(m_capture.thumbnails.back().isNull());
    EXPECT_FALSE(m_capture.lastImageURL().isEmpty()); // the stale URL stays
}

// ---- The viewer --------------------------------------------------------------------------------

class ViewerTest : public ::testing::Test {
protected:
    // Loads a viewer on `url` and waits until it shows the photo.
    std::unique_ptr<photos::ViewImageController> openAndWait(const platform::AssetURL& url)
    {
        auto viewer = std::make_unique<photos::ViewImageController>(m_dir.path());
        bool shown = false;
        viewer->setImageShownCallback([&] { shown = true; });
        viewer->setImageURL(url);
        viewer->view();
        EXPECT_TRUE(waitUntil([&] { return shown; }));
        viewer->setImageShownCallback({});
        return viewer;
    }

    QTemporaryDir m_dir;
};

// A sideways photo is shown upright from a picture about the screen's size; zooming in past that
// picture brings the full resolution, in the same frame and at the same zoom, and zooming within
// it reads nothing more.
TEST_F(ViewerTest, SidewaysPhotoIsShownUprightReducedAndInFullWhenZoomedIn)
{
    ScreenScale scale(2.0);
    // Stored 2592 × 1936 with image orientation 3 (right), EXIF 6: upright it is 1936 × 2592.
    auto viewer = openAndWait(writePhoto(m_dir.path(), { 2592, 1936 }, 6));
    platform::ImageView* imageView = viewer->imageView();
    ASSERT_NE(imageView, nullptr);
    // Decoded at half size, the largest reduction that still covers the screen's 960 device
    // pixels, and turned upright; the view keeps the photo's full size.
    const QImage shown = imageView->image();
    ASSERT_EQ(shown.size(), QSize(968, 1296));
    EXPECT_EQ(viewer->photoSize(), QSizeF(1936, 2592));
    EXPECT_FALSE(viewer->showsFullResolution());
    // The stored left half (red) is the top once turned upright.
    EXPECT_GT(redness(shown.pixel(484, 10)), 10);
    EXPECT_LT(redness(shown.pixel(484, 1285)), -10);

    platform::ScrollView& scroll = *viewer->scrollView();
    EXPECT_NEAR(scroll.maximumZoomScale(), 2.0, 1e-6);
    const qreal fitted = scroll.zoomScale();
    scroll.setZoomScale(fitted * 1.4); // 896 device pixels wide: the 968-pixel picture still holds it
    QCoreApplication::processEvents();
    EXPECT_FALSE(viewer->showsFullResolution());
    scroll.setZoomScale(fitted * 3);
    const QRectF zoomed = viewer->imageView()->frame();
    ASSERT_TRUE(waitUntil([&] { return viewer->showsFullResolution(); }));
    EXPECT_EQ(viewer->imageView()->image().size(), QSize(1936, 2592));
    EXPECT_GT(redness(viewer->imageView()->image().pixel(968, 20)), 10);
    EXPECT_EQ(viewer->imageView()->frame(), zoomed);
    EXPECT_NEAR(scroll.zoomScale(), fitted * 3, 1e-6);
}

struct TurnRow {
    const char* name;
    int orientation;
    QSizeF bounds; // the viewer as the user sees it, in points
    QPointF corner; // where the close control's centre lands on the portrait screen
};

class ViewerTurnTest : public ViewerTest, public ::testing::WithParamInterface<TurnRow> { };

// Turning the device while the viewer is open turns it: upright for the user, fitted to the new
// shape and centred. Lying flat afterwards keeps the turn.
TEST_P(ViewerTurnTest, TurnsWithTheDeviceAndFitsThePhotoAgain)
{
    const TurnRow row = GetParam();
    ScreenScale scale(2.0);
    platform::Device& device = platform::Device::current();
    device.setOrientation(1);
    auto viewer = openAndWait(writePhoto(m_dir.path(), { 2592, 1936 }, 6)); // 1936 × 2592 upright
    device.setOrientation(row.orientation);
    device.setOrientation(5); // face up
    platform::View& root = viewer->view();
    EXPECT_EQ(viewer->interfaceOrientation(), row.orientation);
    EXPECT_EQ(root.bounds().size(), row.bounds);
    EXPECT_EQ(viewer->scrollView()->frame(), QRectF(QPointF(0, 0), row.bounds));
    const qreal fit = std::min(row.bounds.width() / 1936.0, row.bounds.height() / 2592.0);
    EXPECT_NEAR(viewer->scrollView()->minimumZoomScale(), fit, 1e-4);
    EXPECT_NEAR(viewer->scrollView()->zoomScale(), fit, 1e-4);
    const QPointF centre = viewer->imageView()->frame().center();
    EXPECT_LT((centre - QPointF(row.bounds.width() / 2, row.bounds.height() / 2)).manhattanLength(), 1.0);
    auto* done = root.findViewByAccessibilityName(QStringLiteral("viewImageDoneButton"));
    ASSERT_NE(done, nullptr);
    const QPointF corner = root.transformToSuperview().map(done->convertPointToRoot(done->bounds().center()));
    EXPECT_LT((corner - row.corner).manhattanLength(), 1.0) << corner.x() << ", " << corner.y();
    device.setOrientation(1);
}

INSTANTIATE_TEST_SUITE_P(EachOrientation, ViewerTurnTest,
    ::testing::Values(TurnRow { "Portrait", 1, { 320, 480 }, { 274, 32 } },
        TurnRow { "UpsideDown", 2, { 320, 480 }, { 46, 448 } },
        TurnRow { "LandscapeLeft", 3, { 480, 320 }, { 288, 434 } },
        TurnRow { "LandscapeRight", 4, { 480, 320 }, { 32, 46 } }),
    [](const auto& row) { return std::string(row.param.name); });

// A small photo is never enlarged and stays centred as the zoom changes; sizes that are zero or
// no number leave the zoom range alone.
TEST_F(ViewerTest, SmallPhotoIsNeverEnlargedStaysCentredAndBrokenSizesChangeNothing)
{
    ScreenScale scale(1.0);
    const platform::AssetURL url = writePhoto(m_dir.path(), { 200, 100 });
    auto viewer = openAndWait(url);
    platform::ScrollView& scroll = *viewer->scrollView();
    EXPECT_DOUBLE_EQ(scroll.minimumZoomScale(), 1.0);
    EXPECT_DOUBLE_EQ(scroll.maximumZoomScale(), 1.0);
    EXPECT_DOUBLE_EQ(scroll.zoomScale(), 1.0);
    EXPECT_EQ(viewer->imageView()->frame(), QRectF(60, 190, 200, 100));

    // Wider zoom range: zoomed in past the screen the photo starts at the origin, and coming
    // back it is centred again.
    scroll.setMaximumZoomScale(4.0);
    scroll.setZoomScale(4.0);
    EXPECT_EQ(viewer->imageView()->frame().topLeft(), QPointF(0, (480 - 400) / 2.0));
    scroll.setZoomScale(1.0);
    EXPECT_EQ(viewer->imageView()->frame(), QRectF(60, 190, 200, 100));

    const qreal minimum = scroll.minimumZoomScale();
    viewer->configureForImageSize(0, 0);
    viewer->configureForImageSize(NAN, 100);
    viewer->configureForImageSize(-5, 100);
    EXPECT_EQ(scroll.minimumZoomScale(), minimum);
    EXPECT_TRUE(std::isfinite(scroll.zoomScale()));
}

TEST_F(ViewerTest, ClosedBeforeThePhotoArrivesDropsTheResult)
{
    const platform::AssetURL url = writePhoto(m_dir.path(), { 2592, 1936 });
    for (int i = 0; i < 3; ++i) {
        auto viewer = std::make_unique<photos::ViewImageController>(m_dir.path());
        viewer->setImageURL(url);
        viewer->view();
        viewer.reset();
    }
    QCoreApplication::processEvents(); // the dropped results arrive on nothing
}

} // namespace
