// The last photo and its thumbnail, the album control, and the photo viewer: upright pixels,
// the fitted zoom range, centring, and photos that are gone.

#include <cmath>
#include <future>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "PhotoCaptureTestSupport.h"
#include "platform/album/AssetsLibrary.h"
#include "platform/ui/Device.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/SystemSound.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "support/TestNames.h"

using namespace capturetest;
namespace ip = platform::ImageProperty;

namespace {

using testing_support::PrintTo;

// Writes a photo straight into the album with an EXIF orientation.
platform::AssetURL writePhoto(const QString& dir, QSize size, int exifOrientation = 1)
{
    platform::AssetsLibrary library(dir);
    std::promise<platform::AssetURL> written;
    library.writeImageToSavedPhotosAlbum(stillPicture(size), { { ip::Orientation, exifOrientation } },
        [&](const platform::AssetURL& url, const std::optional<platform::AlbumError>&) {
            written.set_value(url);
        });
    return written.get_future().get();
}

bool redDominant(QRgb p)
{
    return qRed(p) > qBlue(p) + 10;
}
bool blueDominant(QRgb p)
{
    return qBlue(p) > qRed(p) + 10;
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
    void scanAndWait(const LogCapture& log)
    {
        m_capture.lastPhoto.setLastPhotoURL();
        ASSERT_TRUE(waitUntil([&] { return log.lines().count("Enum Group") == 2; }));
    }

    QTemporaryDir m_dir;
    TestCapture m_capture;
};

// ---- The last photo and the album control ------------------------------------------------------

TEST_F(LastPhotoTest, ScanTakesTheNewestOfThreePhotosWhichTheAlbumControlOpensWithAClick)
{
    writePhoto(m_dir.path(), { 64, 48 });
    writePhoto(m_dir.path(), { 64, 48 });
    const platform::AssetURL third = writePhoto(m_dir.path(), { 48, 64 }); // the only portrait one
    LogCapture log;
    scanAndWait(log);
    ASSERT_TRUE(waitUntil([&] { return !m_capture.thumbnails.empty(); }));
    EXPECT_EQ(m_capture.lastImageURL(), third);
    EXPECT_GT(m_capture.thumbnails.back().height(), m_capture.thumbnails.back().width());
    EXPECT_TRUE(m_capture.albumControlEnabled.back());
    EXPECT_TRUE(log.lines().contains("taking thumbnail OK"));

    m_capture.photoAlbum();
    ASSERT_NE(m_capture.viewer, nullptr);
    EXPECT_EQ(m_capture.viewer->imageURL(), third);
    EXPECT_EQ(m_capture.sounds, std::vector<int> { TestCapture::kClickSound });
}

TEST_F(LastPhotoTest, EmptyOrUnreadableAlbumShowsNoThumbnailAndTheControlOnlyClicks)
{
    LogCapture log;
    scanAndWait(log);
    TestCapture unreadable;
    unreadable.lastPhoto.setAlbumDirectory(m_dir.filePath("missing-and-not-a-folder"));
    unreadable.lastPhoto.setLastPhotoURL();
    QCoreApplication::processEvents();

    EXPECT_TRUE(m_capture.lastImageURL().isEmpty());
    EXPECT_TRUE(m_capture.thumbnails.empty());
    m_capture.photoAlbum();
    EXPECT_EQ(m_capture.sounds, std::vector<int> { TestCapture::kClickSound });
    EXPECT_EQ(m_capture.viewer, nullptr);
}

TEST_F(LastPhotoTest, PhotoDeletedSinceItWasStoredClearsTheThumbnailAndKeepsTheControlEnabled)
{
    writePhoto(m_dir.path(), { 64, 48 });
    LogCapture log;
    scanAndWait(log);
    ASSERT_TRUE(waitUntil([&] { return m_capture.thumbnails.size() == 1; }));
    ASSERT_TRUE(QFile::remove(m_dir.filePath("IMG_0001.JPG")));

    m_capture.lastPhoto.updateThumb();
    ASSERT_TRUE(waitUntil([&] { return m_capture.thumbnails.size() == 2; }));
    EXPECT_TRUE(m_capture.thumbnails.back().isNull());
    EXPECT_TRUE(m_capture.albumControlEnabled.back());
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

// A sideways photo is shown upright, fitted and centred from a picture about the screen's size;
// zooming in past that picture brings the full resolution, in the same frame and at the same zoom,
// and zooming within it reads nothing more.
TEST_F(ViewerTest, SidewaysPhotoIsShownUprightFittedAndInFullWhenZoomedIn)
{
    ScreenScale scale(2.0);
    // Stored 2592 × 1936 with image orientation 3 (right), EXIF 6: upright it is 1936 × 2592.
    const platform::AssetURL url = writePhoto(m_dir.path(), { 2592, 1936 }, 6);
    LogCapture log;
    auto viewer = openAndWait(url);
    platform::ImageView* imageView = viewer->imageView();
    ASSERT_NE(imageView, nullptr);
    // Decoded at half size, the largest reduction that still covers the screen's 960 device
    // pixels, and turned upright; the view keeps the photo's full size.
    const QImage shown = imageView->image();
    ASSERT_EQ(shown.size(), QSize(968, 1296));
    EXPECT_EQ(viewer->photoSize(), QSizeF(1936, 2592));
    EXPECT_FALSE(viewer->showsFullResolution());
    // The stored left half (red) is the top once turned upright.
    EXPECT_TRUE(redDominant(shown.pixel(484, 10)));
    EXPECT_TRUE(blueDominant(shown.pixel(484, 1285)));
    EXPECT_TRUE(log.lines().contains("taking Full size image OK. Orientation 3"));

    platform::ScrollView& scroll = *viewer->scrollView();
    EXPECT_NEAR(scroll.minimumZoomScale(), 320.0 / 1936.0, 1e-4);
    EXPECT_NEAR(scroll.maximumZoomScale(), 2.0, 1e-6);
    EXPECT_NEAR(scroll.zoomScale(), scroll.minimumZoomScale(), 1e-6);
    // Fitted to the width and centred vertically.
    const QRectF frame = imageView->frame();
    EXPECT_NEAR(frame.width(), 320.0, 0.05);
    EXPECT_NEAR(frame.left(), 0.0, 0.05);
    EXPECT_NEAR(frame.top(), (480.0 - frame.height()) / 2, 0.05);
    EXPECT_EQ(viewer->modalTransitionStyle(), photos::ViewImageController::kModalTransitionFlipHorizontal);

    const qreal fitted = scroll.zoomScale();
    scroll.setZoomScale(fitted * 1.4); // 896 device pixels wide: the 968-pixel picture still holds it
    QCoreApplication::processEvents();
    EXPECT_FALSE(viewer->showsFullResolution());
    scroll.setZoomScale(fitted * 3);
    const QRectF zoomed = viewer->imageView()->frame();
    ASSERT_TRUE(waitUntil([&] { return viewer->showsFullResolution(); }));
    EXPECT_EQ(viewer->imageView()->image().size(), QSize(1936, 2592));
    EXPECT_TRUE(redDominant(viewer->imageView()->image().pixel(968, 20)));
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
    const QRectF photo = viewer->imageView()->frame();
    EXPECT_NEAR(photo.center().x(), row.bounds.width() / 2, 0.5);
    EXPECT_NEAR(photo.center().y(), row.bounds.height() / 2, 0.5);
    auto* done = root.findViewByAccessibilityName(QStringLiteral("viewImageDoneButton"));
    ASSERT_NE(done, nullptr);
    const QPointF corner = root.transformToSuperview().map(done->convertPointToRoot(done->bounds().center()));
    EXPECT_NEAR(corner.x(), row.corner.x(), 0.5);
    EXPECT_NEAR(corner.y(), row.corner.y(), 0.5);
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

// A photo the viewer cannot show: it says so on the screen and stays open until Done.
struct UnshownPhoto {
    const char* name;
    bool deleted; // else overwritten with bytes that are no picture
};

class ViewerUnshownPhotoTest : public ViewerTest, public ::testing::WithParamInterface<UnshownPhoto> { };

TEST_P(ViewerUnshownPhotoTest, SaysSoAndStaysOpenUntilDone)
{
    const platform::AssetURL url = writePhoto(m_dir.path(), { 200, 100 });
    QFile photo(m_dir.filePath("IMG_0001.JPG"));
    if (GetParam().deleted) {
        ASSERT_TRUE(photo.remove());
    } else {
        ASSERT_TRUE(photo.open(QIODevice::WriteOnly | QIODevice::Truncate));
        photo.write("no picture at all");
        photo.close();
    }
    platform::ViewController presenter;
    presenter.view();
    auto owned = std::make_unique<photos::ViewImageController>(m_dir.path());
    photos::ViewImageController* viewer = owned.get();
    bool shown = false;
    viewer->setImageShownCallback([&] { shown = true; });
    viewer->setImageURL(url);
    LogCapture log;
    presenter.presentModalViewController(std::move(owned), false);
    ASSERT_TRUE(waitUntil([&] { return shown; }));
    EXPECT_EQ(presenter.modalViewController(), viewer);
    EXPECT_EQ(viewer->imageView(), nullptr);
    auto* message = dynamic_cast<platform::Label*>(
        viewer->view().findViewByAccessibilityName(QStringLiteral("viewImageMessage")));
    ASSERT_NE(message, nullptr);
    EXPECT_TRUE(message->text().contains(QStringLiteral("cannot be shown"))) << message->text().toStdString();
    EXPECT_TRUE(log.lines().contains("Error taking thumbnail"));

    const int clicks = platform::SystemSound::playCount();
    viewer->done();
    ASSERT_TRUE(waitUntil([&] { return presenter.modalViewController() == nullptr; }));
    EXPECT_EQ(platform::SystemSound::playCount(), clicks + 1);
}

INSTANTIATE_TEST_SUITE_P(Photos, ViewerUnshownPhotoTest,
    ::testing::Values(UnshownPhoto { "Deleted", true }, UnshownPhoto { "Unreadable", false }),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(ViewerTest, ClosedBeforeThePhotoArrivesDropsTheResult)
{
    const platform::AssetURL url = writePhoto(m_dir.path(), { 2592, 1936 });
    for (int i = 0; i < 3; ++i) {
        auto viewer = std::make_unique<photos::ViewImageController>(m_dir.path());
        viewer->setImageURL(url);
        viewer->view();
        viewer.reset();
    }
    QCoreApplication::processEvents();
    SUCCEED();
}

} // namespace
