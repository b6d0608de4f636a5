// The last photo (or video) and its thumbnail, and the photo viewer on its Qt Quick screen: the
// reduced picture and the full one, the fit of tall, wide and small photos, wheel zoom and drag,
// every turn, photos and videos that are gone or damaged, a video played, and lookups dropped.
// The program tests drive the viewer end to end.

#include <algorithm>
#include <cmath>

#include <QFile>
#include <QQuickItem>
#include <QQuickView>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include "../platform/album/AlbumTestSupport.h"
#include "PhotoCaptureTestSupport.h"
#include "photos/PhotoViewer.h"
#include "platform/album/AlbumFolder.h"
#include "platform/album/AssetsLibrary.h"
#include "platform/device/Screen.h"
#include "platform/device/SystemSound.h"
#include "support/TestNames.h"
#include "support/TestVideo.h"
#include "ui/PictureItem.h"

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

// The viewer screen in a 320 × 480 window drawn by Qt Quick's software renderer.
class ViewerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static const bool once = [] {
            QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
            qputenv("QML_NO_TOUCH_COMPRESSION", "1"); // each touch move reaches the pinch as sent
            qmlRegisterType<photos::PhotoViewer>("Lumivue", 1, 0, "PhotoViewer");
            return qmlRegisterType<ui::PictureItem>("Lumivue", 1, 0, "PictureItem") >= 0;
        }();
        ASSERT_TRUE(once);
    }

    // Opens the viewer on `url`, held in `orientation`, and waits for the photo or its message.
    void open(const platform::AssetURL& url, int orientation = 1)
    {
        m_view.setResizeMode(QQuickView::SizeRootObjectToView);
        m_view.resize(320, 480);
        m_view.setInitialProperties({ { "albumDirectory", m_dir.path() }, { "photoUrl", url.toString() },
            { "deviceOrientation", orientation } });
        m_view.setSource(QUrl(QStringLiteral("qrc:/lumivue/Viewer.qml")));
        ASSERT_EQ(m_view.status(), QQuickView::Ready);
        m_view.show();
        root = m_view.rootObject();
        model = root->findChild<photos::PhotoViewer*>();
        flick = root->findChild<QQuickItem*>(QStringLiteral("viewImageScrollView"));
        picture = root->findChild<ui::PictureItem*>(QStringLiteral("viewImageImageView"));
        done = root->findChild<QQuickItem*>(QStringLiteral("viewImageDoneButton"));
        ASSERT_TRUE(model && flick && picture && done);
        ASSERT_TRUE(waitUntil([&] { return !model->loading(); }));
        QCoreApplication::processEvents(); // the fit after the photo's arrival
    }

    qreal zoom() const { return root->property("zoom").toReal(); }
    QRectF onScreen(const QQuickItem* item) const { return item->mapRectToScene(item->boundingRect()); }
    // The photo pixel shown at a window point.
    QPointF photoPointAt(QPointF at) const { return picture->mapFromScene(at) / zoom(); }
    void wheel(QPointF at, int notches)
    {
        QWheelEvent event(at, m_view.mapToGlobal(at), {}, QPoint(0, 120 * notches), Qt::NoButton,
            Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&m_view, &event);
    }

    QTemporaryDir m_dir;
    QQuickView m_view;
    QQuickItem* root { nullptr };
    photos::PhotoViewer* model { nullptr };
    QQuickItem* flick { nullptr };
    ui::PictureItem* picture { nullptr };
    QQuickItem* done { nullptr };
};

struct FitRow {
    const char* name;
    QSize stored;
    int exifOrientation;
    qreal scale;
    QSize decoded; // upright
};

class ViewerFitTest : public ViewerTest, public ::testing::WithParamInterface<FitRow> { };

// The photo is decoded upright at about the screen's size in device pixels, fitted whole (a small
// one never enlarged) and centred.
TEST_P(ViewerFitTest, ShowsThePhotoUprightFittedAndCentred)
{
    const FitRow row = GetParam();
    ScreenScale scale(row.scale);
    open(writePhoto(m_dir.path(), row.stored, row.exifOrientation));
    const bool turned = row.exifOrientation == 6;
    const QSize upright = turned ? row.stored.transposed() : row.stored;
    EXPECT_EQ(model->photoSize(), upright);
    EXPECT_EQ(picture->imageSize(), row.decoded);
    EXPECT_EQ(model->fullResolution(), row.decoded == upright);
    const QImage shown = picture->image();
    // The stored left half (red) is the top once turned upright.
    EXPECT_GT(redness(turned ? shown.pixel(shown.width() / 2, 10) : shown.pixel(10, shown.height() / 2)), 10);

    const qreal fit = std::min({ row.scale, 320.0 / upright.width(), 480.0 / upright.height() });
    EXPECT_NEAR(zoom(), fit, 1e-6);
    const QRectF frame = onScreen(picture);
    EXPECT_NEAR(frame.width(), upright.width() * fit, 0.01);
    EXPECT_LT((frame.center() - QPointF(160, 240)).manhattanLength(), 0.01);
}

INSTANTIATE_TEST_SUITE_P(TallWideSmall, ViewerFitTest,
    ::testing::Values(FitRow { "TallStoredSideways", { 2592, 1936 }, 6, 2.0, { 968, 1296 } },
        FitRow { "Wide", { 2592, 1936 }, 1, 2.0, { 1296, 968 } },
        FitRow { "Small", { 200, 100 }, 1, 1.0, { 200, 100 } }),
    [](const auto& row) { return std::string(row.param.name); });

// The wheel zooms about the pointer up to the screen's pixel scale; past what the screen-sized
// picture holds the full resolution replaces it in place; a drag pans; zoomed out it is fitted
// and centred again.
TEST_F(ViewerTest, WheelZoomsAboutThePointerReadsTheFullResolutionAndDragPans)
{
    ScreenScale scale(2.0);
    open(writePhoto(m_dir.path(), { 2592, 1936 }, 6)); // 1936 × 2592 upright
    const qreal fit = zoom();
    const QPointF pointer(100, 150);
    const QPointF under = photoPointAt(pointer);
    wheel(pointer, 1);
    EXPECT_NEAR(zoom(), fit * 1.25, 1e-6);
    EXPECT_LT((photoPointAt(pointer) - under).manhattanLength(), 0.5);

    wheel(pointer, 20);
    EXPECT_DOUBLE_EQ(zoom(), 2.0);
    const QRectF zoomed = onScreen(picture);
    ASSERT_TRUE(waitUntil([&] { return model->fullResolution(); }));
    EXPECT_EQ(picture->imageSize(), QSize(1936, 2592));
    EXPECT_GT(redness(picture->image().pixel(968, 20)), 10);
    EXPECT_EQ(onScreen(picture), zoomed);

    const qreal x = flick->property("contentX").toReal();
    QTest::mousePress(&m_view, Qt::LeftButton, {}, QPoint(200, 240));
    for (int i = 1; i <= 10; ++i)
        QTest::mouseMove(&m_view, QPoint(200 - 8 * i, 240));
    QTest::mouseRelease(&m_view, Qt::LeftButton, {}, QPoint(120, 240));
    EXPECT_GT(flick->property("contentX").toReal(), x + 40);

    wheel(pointer, -40);
    EXPECT_NEAR(zoom(), fit, 1e-6);
    ASSERT_TRUE(waitUntil([&] { return !flick->property("moving").toBool(); }));
    EXPECT_LT((onScreen(picture).center() - QPointF(160, 240)).manhattanLength(), 0.01);

    // Two fingers spread from 40 to 120 points apart pinch the zoom up, from where they passed the
    // drag threshold.
    static QPointingDevice* const touchscreen = QTest::createTouchDevice();
    QTest::touchEvent(&m_view, touchscreen).press(0, { 140, 240 }).press(1, { 180, 240 });
    for (int i = 1; i <= 10; ++i)
        QTest::touchEvent(&m_view, touchscreen).move(0, { 140 - 4 * i, 240 }).move(1, { 180 + 4 * i, 240 });
    QTest::touchEvent(&m_view, touchscreen).release(0, { 100, 240 }).release(1, { 220, 240 });
    EXPECT_GT(zoom(), fit * 1.5);
}

struct TurnRow {
    const char* name;
    int orientation;
    QSizeF bounds; // the viewer as the user sees it, in points
    QPointF corner; // where Done's centre lands on the portrait window
};

class ViewerTurnTest : public ViewerTest, public ::testing::WithParamInterface<TurnRow> { };

// Turning the device turns the viewer upright for the user: a fitted photo is fitted to the new
// shape and centred, and Done sits in the corner the user sees at the top right; lying flat
// keeps the turn. Zoomed in, a turn keeps the zoom and the photo point at the centre.
TEST_P(ViewerTurnTest, TurnsWithTheDeviceFittedOrKeepingZoomAndCentre)
{
    const TurnRow row = GetParam();
    ScreenScale scale(2.0);
    open(writePhoto(m_dir.path(), { 2592, 1936 }, 6));
    root->setProperty("deviceOrientation", row.orientation);
    root->setProperty("deviceOrientation", 5); // face up
    EXPECT_EQ(flick->size(), row.bounds);
    EXPECT_NEAR(zoom(), std::min(row.bounds.width() / 1936.0, row.bounds.height() / 2592.0), 1e-6);
    // The turn runs on the clock; the photo's centre is the turn's, so it stays put meanwhile.
    EXPECT_LT((onScreen(picture).center() - QPointF(160, 240)).manhattanLength(), 0.01);
    EXPECT_TRUE(waitUntil([&] { return (onScreen(done).center() - row.corner).manhattanLength() < 1.0; }))
        << onScreen(done).center().x() << ", " << onScreen(done).center().y();

    wheel(QPointF(120, 200), 3);
    const qreal zoomed = zoom();
    const QPointF centre = photoPointAt(QPointF(160, 240));
    root->setProperty("deviceOrientation", row.orientation == 1 ? 3 : 1);
    EXPECT_DOUBLE_EQ(zoom(), zoomed);
    EXPECT_LT((photoPointAt(QPointF(160, 240)) - centre).manhattanLength(), 0.5);
}

INSTANTIATE_TEST_SUITE_P(EachOrientation, ViewerTurnTest,
    ::testing::Values(TurnRow { "Portrait", 1, { 320, 480 }, { 274, 32 } },
        TurnRow { "UpsideDown", 2, { 320, 480 }, { 46, 448 } },
        TurnRow { "LandscapeLeft", 3, { 480, 320 }, { 288, 434 } },
        TurnRow { "LandscapeRight", 4, { 480, 320 }, { 32, 46 } }),
    [](const auto& row) { return std::string(row.param.name); });

struct UnavailableRow {
    const char* name;
    bool damaged; // cut short (a video: not a video at all) rather than deleted
    const char* video; // a video's name, or none for a photo
    const char* message;
    const char* detail;
};

class ViewerUnavailableTest : public ViewerTest, public ::testing::WithParamInterface<UnavailableRow> { };

// A photo or video gone or damaged since its URL was stored is said so in its place (a video's
// damage once the player finds it); Done clicks and closes as ever.
TEST_P(ViewerUnavailableTest, SaysWhyThePhotoCannotBeShownAndDoneStillCloses)
{
    const UnavailableRow row = GetParam();
    const platform::AlbumFolder folder(m_dir.path(), platform::AlbumFolder::Creation::Never);
    const platform::AssetURL url
        = row.video ? folder.urlForName(row.video) : writePhoto(m_dir.path(), { 640, 480 });
    QFile file(m_dir.filePath(row.video ? row.video : "IMG_0001.JPG"));
    ASSERT_TRUE(!row.video || (file.open(QIODevice::WriteOnly) && file.write(QByteArray(4096, 'x')) > 0));
    ASSERT_TRUE(row.damaged ? file.resize(file.size() / 2) : file.remove());
    open(url);
    ASSERT_TRUE(waitUntil([&] { return !model->message().isEmpty(); }));
    EXPECT_FALSE(picture->isVisible());
    const auto text = [&](const char* name) {
        const QQuickItem* item = root->findChild<QQuickItem*>(QLatin1String(name));
        return item && item->isVisible() ? item->property("text").toString() : QString();
    };
    EXPECT_EQ(text("viewImageMessage"), QLatin1String(row.message));
    EXPECT_EQ(text("viewImageMessageDetail"), QLatin1String(row.detail));

    QSignalSpy closed(root, SIGNAL(done()));
    const int clicks = platform::SystemSound::playCount();
    QTest::mouseClick(&m_view, Qt::LeftButton, {}, onScreen(done).center().toPoint());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(platform::SystemSound::playCount(), clicks + 1);
}

INSTANTIATE_TEST_SUITE_P(GoneOrDamaged, ViewerUnavailableTest,
    ::testing::Values(UnavailableRow { "Gone", false, nullptr, "This photo cannot be shown.",
                          "It was deleted or cannot be read." },
        UnavailableRow { "Damaged", true, nullptr, "This photo cannot be shown.", "The file is damaged." },
        UnavailableRow { "VideoGone", false, "VID_0001.MP4", "This video cannot be played.",
            "It was deleted or cannot be read." },
        UnavailableRow {
            "VideoDamaged", true, "VID_0001.WEBM", "This video cannot be played.", "The file is damaged." }),
    [](const auto& row) { return std::string(row.param.name); });

// A video plays in the photo's place, drawn as pictures by the software renderer: paused on its
// first frame, played, paused, and moved by the position bar.
TEST_F(ViewerTest, VideoPlaysPausesAndSeeks)
{
    ASSERT_TRUE(testing_support::makeTestVideo(m_dir.filePath("VID_0001.MP4"), "red", false, 30));
    open(platform::AlbumFolder(m_dir.path(), platform::AlbumFolder::Creation::Never)
             .urlForName("VID_0001.MP4"));
    ASSERT_TRUE(model->isVideo());
    EXPECT_FALSE(flick->isVisible());
    const auto item = [&](const char* name) { return root->findChild<QQuickItem*>(QLatin1String(name)); };
    QObject* player = root->findChild<QObject*>(QStringLiteral("videoPlayer"));
    ASSERT_TRUE(player && waitUntil([&] {
        return !model->videoFrame().isNull() && player->property("duration").toLongLong() > 0;
    }));
    EXPECT_NEAR(player->property("duration").toLongLong(), 3000, 150);
    EXPECT_GT(redness(model->videoFrame().pixel(10, 10)), 200);
    EXPECT_EQ(onScreen(item("videoPicture")), QRectF(0, 120, 320, 240)); // 4:3 fitted to the width
    EXPECT_EQ(item("videoTimeLabel")->property("text").toString(), "0:00 / 0:03");

    const QPoint button = onScreen(item("playPauseButton")).center().toPoint();
    QTest::mouseClick(&m_view, Qt::LeftButton, {}, button);
    ASSERT_TRUE(waitUntil([&] { return player->property("position").toLongLong() > 300; }));
    QTest::mouseClick(&m_view, Qt::LeftButton, {}, button);
    EXPECT_EQ(item("playPauseButton")->property("text").toString(), "Play");
    QVariant moved;
    ASSERT_TRUE(QMetaObject::invokeMethod(
        item("videoPositionSlider"), "slideForScript", Q_RETURN_ARG(QVariant, moved), Q_ARG(QVariant, 2000)));
    ASSERT_TRUE(waitUntil([&] { return std::abs(player->property("position").toLongLong() - 2000) < 200; }));
    EXPECT_NEAR(item("videoPositionSlider")->property("value").toDouble(),
        player->property("position").toDouble(), 1);
}

// A viewer destroyed while its lookup runs drops the result; one given another photo meanwhile
// shows that one, not the first to arrive.
TEST(PhotoViewerTest, DropsTheResultOfALookupDestroyedOrReplaced)
{
    QTemporaryDir dir;
    const QString wide = writePhoto(dir.path(), { 2592, 1936 }).toString();
    const QString tall = writePhoto(dir.path(), { 1936, 2592 }).toString();
    for (int i = 0; i < 4; ++i) {
        photos::PhotoViewer viewer;
        viewer.setAlbumDirectory(dir.path());
        viewer.setImageUrl(wide);
        QCoreApplication::processEvents(); // the lookup starts
        if (i < 3)
            continue; // gone before the result arrives
        viewer.setImageUrl(tall);
        ASSERT_TRUE(waitUntil([&] { return !viewer.loading(); }));
        EXPECT_EQ(viewer.photoSize(), QSize(1936, 2592));
    }
}

} // namespace
