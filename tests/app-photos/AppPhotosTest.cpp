// End-to-end still photos in the lumivue program: the shutter in each device orientation, the
// saved JPEG's EXIF read back with exiv2, the thumbnail and the viewer in screenshots, an album
// that refuses the write, and an --album folder that does not exist yet (every test but the first
// starts without one); an album video's thumbnail and player.

#include <cmath>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTransform>

#include <gtest/gtest.h>
#include <unistd.h>

#include "support/ExifReader.h"
#include "support/LiveLumivue.h"
#include "support/TestVideo.h"

namespace {

using namespace testing_support::exif;

const QString kThumbnailOK = QStringLiteral("taking thumbnail OK");
const QString kSaved = QStringLiteral("asset URL:");
const QString kScan = QStringLiteral("Enum Group");
const QString kErrorAlert = QStringLiteral("Alert: Error!:");

// The album control on the phone screen at scale 2, inside its border and rounded corners.
const QRect kThumbnailInside(36 + 10, 822 + 10, 108 - 20, 108 - 20);

QStringList photosIn(const QString& dir)
{
    return QDir(dir).entryList({ "*.JPG" }, QDir::Files, QDir::Name);
}

// The mean colour of a region, as a smooth scale down to one pixel gives it.
QImage meanColour(const QImage& image, const QRect& region)
{
    return image.copy(region).scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

int changedPixels(const QImage& a, const QImage& b, const QRect& region)
{
    int changed = 0;
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x)
            changed += a.pixel(x, y) != b.pixel(x, y);
    return changed;
}

// Mean absolute difference per channel of two images of one size.
double meanDifference(const QImage& a, const QImage& b)
{
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q))
                + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * a.width() * a.height());
}

// Parts of the album that must survive a failed save: every file and its bytes.
QMap<QString, QByteArray> albumContents(const QString& dir)
{
    QMap<QString, QByteArray> contents;
    for (const QString& name : QDir(dir).entryList(QDir::Files)) {
        QFile file(QDir(dir).filePath(name));
        if (file.open(QIODevice::ReadOnly))
            contents.insert(name, file.readAll());
    }
    return contents;
}

// Makes an album folder refuse writes until destroyed. Permissions do not bind root, so for
// root the folder is taken away instead (a save then finds no folder).
class AlbumRefusingWrites {
public:
    explicit AlbumRefusingWrites(QString dir)
        : m_dir(std::move(dir))
        , m_root(::geteuid() == 0)
    {
        m_ok = m_root ? QDir().rename(m_dir, away())
                      : QFile::setPermissions(m_dir, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    }
    ~AlbumRefusingWrites()
    {
        if (m_root)
            QDir().rename(away(), m_dir);
        else
            QFile::setPermissions(
                m_dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    bool ok() const { return m_ok; }

private:
    QString away() const { return m_dir + QStringLiteral("-away"); }
    QString m_dir;
    bool m_root;
    bool m_ok { false };
};

class AppPhotosTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString album() const { return path(QStringLiteral("new/album")); }
    QString photo(int index) const
    {
        return album() + QStringLiteral("/IMG_%1.JPG").arg(index, 4, 10, QLatin1Char('0'));
    }

    // Taps the shutter and waits until the photo is saved and its thumbnail shown.
    void shoot(LiveLumivue& app, int orientation, int savesBefore)
    {
        app.send(QStringLiteral("orientation %1").arg(orientation));
        app.send(QStringLiteral("tap takePictureButton"));
        ASSERT_TRUE(app.waitForLog(kSaved, savesBefore + 1)) << app.log().toStdString();
        ASSERT_TRUE(app.waitForLog(kThumbnailOK, savesBefore + 1)) << app.log().toStdString();
    }

    QImage screenshot(LiveLumivue& app, const QString& name)
    {
        app.send(QStringLiteral("screenshot ") + path(name));
        EXPECT_TRUE(app.sync());
        return QImage(path(name));
    }

    // A screenshot once `region` has stopped changing between two shots (turns and slides over).
    // The toolkit's transitions run on the clock: a shot every tenth of a second, within a
    // generous limit; the last one either way.
    QImage screenshotOnceStill(LiveLumivue& app, const QString& name, const QRect& region)
    {
        QImage previous = screenshot(app, name), shot;
        for (int attempt = 0; attempt < 100; ++attempt, previous = shot) {
            app.send(QStringLiteral("wait 0.1"));
            shot = screenshot(app, name);
            if (changedPixels(previous, shot, region) == 0)
                break;
        }
        return shot;
    }

    QTemporaryDir m_dir;
};

TEST_F(AppPhotosTest, ShutterInEachOrientationThumbnailViewerAndARefusedSave)
{
    ASSERT_TRUE(QDir().mkpath(album()));
    LiveLumivue app({ "--album", album(), "--location=-33.8688,151.2093,12" });
    ASSERT_TRUE(app.started());
    ASSERT_TRUE(app.sync());
    ASSERT_TRUE(app.waitForLog(kScan, 2)); // the scans of loading and appearing have run
    const QImage empty = screenshot(app, "empty.png");
    ASSERT_FALSE(empty.isNull());

    // Portrait, tapped twice in quick succession: one photo.
    app.send(QStringLiteral("orientation 1"));
    app.send(QStringLiteral("tap takePictureButton"));
    app.send(QStringLiteral("tap takePictureButton"));
    ASSERT_TRUE(app.waitForLog(kThumbnailOK, 1)) << app.log().toStdString();
    const QImage first = screenshot(app, "first.png");
    EXPECT_EQ(photosIn(album()), QStringList { "IMG_0001.JPG" });
    const int scans = app.occurrences(kScan);

    // The thumbnail is the new photo's: it changed from the empty-album symbol and shows the
    // photo's colours.
    EXPECT_GT(changedPixels(empty, first, kThumbnailInside),
        kThumbnailInside.width() * kThumbnailInside.height() / 2);
    // What an aspect-filled square control shows of a photo in any orientation: its centre square.
    const QImage stored(photo(1));
    const int side = std::min(stored.width(), stored.height());
    const QRect centre((stored.width() - side) / 2, (stored.height() - side) / 2, side, side);
    EXPECT_LT(meanDifference(meanColour(first, kThumbnailInside), meanColour(stored, centre)), 12.0);

    shoot(app, 3, 1); // landscape left
    shoot(app, 4, 2); // landscape right
    shoot(app, 2, 3); // upside down
    shoot(app, 5, 4); // face up
    ASSERT_EQ(photosIn(album()).size(), 5);
    const QImage fifth = screenshotOnceStill(app, "fifth.png", kThumbnailInside);
    // Each save set the thumbnail from the saved photo's URL, without scanning the album.
    EXPECT_EQ(app.occurrences(kScan), scans);

    // The viewer opens on the last photo (face up: stored sideways, turned upright); the viewer
    // tests pin its fit in each orientation. The grid toggle has hidden the side controls first.
    app.send(QStringLiteral("tap NVButton"));
    app.send(QStringLiteral("tap captureButton"));
    app.send(QStringLiteral("until viewImageImageView 60"));
    app.send(QStringLiteral("wait 0.5")); // the viewer's slide-in runs on the clock
    ASSERT_TRUE(app.waitForLog(QStringLiteral("taking Full size image OK. Orientation 3")));
    // Closing the viewer shows the screen again: its thumbnail is refreshed without a scan.
    const int thumbnails = app.occurrences(kThumbnailOK);
    app.send(QStringLiteral("tap viewImageDoneButton"));
    ASSERT_TRUE(app.waitForLog(kThumbnailOK, thumbnails + 1));
    EXPECT_EQ(app.occurrences(kScan), scans);
    const QImage back = screenshotOnceStill(app, "back.png", kThumbnailInside);
    EXPECT_EQ(changedPixels(fifth, back, kThumbnailInside), 0);
    // ... and the side controls as the grid toggle left them: hidden, the torch switch too.
    for (const char* hidden : { "torchButton", "denoiseButton" })
        app.send(QStringLiteral("until %1 0.01").arg(QLatin1String(hidden)));
    ASSERT_TRUE(app.sync());
    for (const char* hidden : { "torchButton", "denoiseButton" })
        EXPECT_TRUE(app.log().contains(QStringLiteral("'%1' was not shown").arg(QLatin1String(hidden))))
            << hidden << "\n"
            << app.log().toStdString();

    // An album that refuses the write: "Error!", the old thumbnail and every photo kept, and
    // the shutter works again.
    const auto before = albumContents(album());
    {
        AlbumRefusingWrites refusing(album());
        ASSERT_TRUE(refusing.ok());
        app.send(QStringLiteral("tap takePictureButton"));
        ASSERT_TRUE(app.waitForLog(kErrorAlert)) << app.log().toStdString();
        app.send(QStringLiteral("tap alertButton"));
        ASSERT_TRUE(app.sync());
    }
    EXPECT_TRUE(app.log().contains(QStringLiteral("[OK]")));
    const QString alert = app.log().mid(app.log().indexOf(kErrorAlert)).section(QLatin1Char('\n'), 0, 0);
    EXPECT_TRUE(alert.contains(album())) << "the alert names the folder: " << alert.toStdString();
    const QImage refused = screenshot(app, "refused.png");
    EXPECT_EQ(changedPixels(back, refused, kThumbnailInside), 0);
    EXPECT_EQ(albumContents(album()), before);
    EXPECT_EQ(app.occurrences(kSaved), 5);

    shoot(app, 1, 5);
    EXPECT_EQ(photosIn(album()).size(), 6);
    EXPECT_EQ(app.quit(), 0) << app.log().toStdString();

    // The EXIF of every photo, in the order they were taken.
    const int expectedOrientation[] = { 6, 1, 3, 8, 6, 6 };
    for (int i = 1; i <= 6; ++i) {
        SCOPED_TRACE(photo(i).toStdString());
        const auto exif = readFile(photo(i)).exif;
        EXPECT_EQ(text(exif, "Exif.Image.Orientation"), std::to_string(expectedOrientation[i - 1]));
        for (const char* key : { "Exif.Image.Make", "Exif.Image.Model", "Exif.Image.Software" })
            EXPECT_EQ(text(exif, key), "Lumivue+") << key;
        EXPECT_EQ(text(exif, "Exif.GPSInfo.GPSLatitudeRef"), "S");
        EXPECT_EQ(text(exif, "Exif.GPSInfo.GPSLongitudeRef"), "E");
        EXPECT_NEAR(degrees(exif, "Exif.GPSInfo.GPSLatitude"), 33.8688, 1e-4);
        EXPECT_NEAR(degrees(exif, "Exif.GPSInfo.GPSLongitude"), 151.2093, 1e-4);
        // The synthetic back camera's exposure of a night street.
        EXPECT_NEAR(rational(exif, "Exif.Photo.ExposureTime"), 1.0 / 15.0, 1e-4);
        EXPECT_EQ(text(exif, "Exif.Photo.ISOSpeedRatings"), "1600");
        EXPECT_NEAR(rational(exif, "Exif.Photo.FNumber"), 2.4, 1e-4);
        EXPECT_NEAR(rational(exif, "Exif.Photo.FocalLength"), 4.28, 1e-3);
    }
}

// The night-mode button makes the next photo a merged burst that says so in its EXIF. The script's
// touch commands on the viewer: a held shutter takes the photo, a pinch zooms it, a drag moves it;
// turning the device keeps the point at the centre; a photo cut short since is said to be damaged.
// `until` waits for the photo to be shown and reports a view that never is.
TEST_F(AppPhotosTest, NightPhotoAndScriptedPressZoomDragAndTurnWorkTheViewer)
{
    LiveLumivue app({ "--album", album(), "--camera",
        QStringLiteral("image:" LUMIVUE_SOURCE_DIR "/assets/samples/dim-street.png"), "--stack-frames",
        "4" });
    ASSERT_TRUE(app.started());
    app.send(QStringLiteral("tap denoiseButton"));
    app.send(QStringLiteral("press takePictureButton 0.3"));
    ASSERT_TRUE(app.waitForLog(kThumbnailOK)) << app.log().toStdString();
    EXPECT_EQ(app.occurrences(QStringLiteral("Capture merged 4 of 4 stills")), 1);
    EXPECT_EQ(text(readFile(photo(1)).exif, "Exif.Image.ImageDescription"), "Lumivue night: 4 frames");
    app.send(QStringLiteral("tap captureButton"));
    app.send(QStringLiteral("until viewImageImageView 60"));
    app.send(QStringLiteral("wait 0.5")); // the viewer's slide-in runs on the clock
    const QImage fitted = screenshot(app, "fitted.png");
    app.send(QStringLiteral("zoom viewImageScrollView 2"));
    app.send(QStringLiteral("wait 0.5"));
    const QImage zoomed = screenshot(app, "zoomed.png");
    app.send(QStringLiteral("drag viewImageScrollView 50 0"));
    // The drag's release settles on the clock: on a loaded machine it may still be moving.
    const QImage dragged = screenshotOnceStill(app, "dragged.png", QRect(0, 0, 640, 960));
    app.send(QStringLiteral("orientation 3"));
    const QImage turned = screenshotOnceStill(app, "turned.png", QRect(0, 0, 640, 960));
    // Turned sideways at the same zoom: the middle of the screen shows what it showed, a quarter
    // turn round (the view turns clockwise for landscape left).
    const QRect centre(320 - 60, 480 - 60, 120, 120);
    const QImage before = dragged.copy(centre).convertToFormat(QImage::Format_RGB32);
    const QImage after
        = turned.copy(centre).transformed(QTransform().rotate(-90)).convertToFormat(QImage::Format_RGB32);
    EXPECT_LT(meanDifference(before, after), 6.0);

    app.send(QStringLiteral("tap viewImageDoneButton"));
    ASSERT_TRUE(app.waitForLog(kThumbnailOK, 2)) << app.log().toStdString();

    // Cut short behind the app's back: the viewer says the file is damaged, not a grey picture.
    QFile cut(photo(1));
    ASSERT_TRUE(cut.resize(cut.size() / 2));
    screenshotOnceStill(app, "closed.png", QRect(0, 0, 640, 960)); // the viewer has slid away
    app.send(QStringLiteral("tap captureButton"));
    app.send(QStringLiteral("until viewImageMessage 60"));
    ASSERT_TRUE(app.waitForLog(QStringLiteral("the file is damaged"))) << app.log().toStdString();
    ASSERT_TRUE(app.sync());
    EXPECT_FALSE(app.log().contains(QStringLiteral("'viewImageMessage' was not shown")));

    const std::pair<const char*, const char*> bad[] {
        { "zoom viewImageScrollView none", "'none' is not a zoom factor" },
        { "drag viewImageScrollView 5", "usage: drag NAME DX DY" },
        { "until nothingLikeIt 0.2", "'nothingLikeIt' was not shown within 0.2 s" },
    };
    for (const auto& [command, answer] : bad)
        app.send(QString::fromLatin1(command));
    EXPECT_EQ(app.quit(), 0) << app.log().toStdString();
    EXPECT_EQ(photosIn(album()).size(), 1);
    for (const auto& [command, answer] : bad)
        EXPECT_TRUE(app.log().contains(QLatin1String(answer))) << command << "\n" << app.log().toStdString();
    EXPECT_FALSE(app.log().contains(QStringLiteral("'viewImageImageView' was not shown")));

    ASSERT_EQ(fitted.size(), QSize(640, 960));
    const QRect middle(100, 300, 440, 360);
    EXPECT_GT(changedPixels(fitted, zoomed, middle), 50000);
    EXPECT_GT(changedPixels(zoomed, dragged, middle), 50000);
}

class QuitAfterShutterTest : public AppPhotosTest, public ::testing::WithParamInterface<bool> { };

// Quit on the heels of the shutter (a single still, a night burst): the photo reaches the album
// before the program ends, or the program says it was not saved.
TEST_P(QuitAfterShutterTest, SavesThePhotoOrSaysItWasNot)
{
    const QStringList night { "--denoise", "--stack-frames", "4" };
    LiveLumivue app(QStringList { "--album", album() } + (GetParam() ? night : QStringList()));
    ASSERT_TRUE(app.started());
    ASSERT_TRUE(app.sync());
    app.send(QStringLiteral("tap takePictureButton"));
    EXPECT_EQ(app.quit(), 0) << app.log().toStdString();
    const bool saved = photosIn(album()) == QStringList { "IMG_0001.JPG" };
    EXPECT_TRUE(saved || app.log().contains(QStringLiteral("Photo not saved"))) << app.log().toStdString();
    EXPECT_EQ(saved, app.log().contains(kSaved));
}

INSTANTIATE_TEST_SUITE_P(Table, QuitAfterShutterTest, ::testing::Values(false, true),
    [](const auto& row) { return std::string(row.param ? "NightBurst" : "SingleStill"); });

// A save killed before its rename leaves a hidden temporary file: the album removes its own once
// they are stale, and nothing else.
TEST_F(AppPhotosTest, OpeningTheAlbumRemovesOnlyItsOwnStaleTemporaryFiles)
{
    ASSERT_TRUE(QDir().mkpath(album()));
    const QDateTime old = QDateTime::currentDateTime().addSecs(-600);
    const auto plant = [&](const QString& name, const QDateTime& modified) {
        QFile file(QDir(album()).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("half a photo");
        file.flush(); // written before the time is set, or closing would make it new again
        ASSERT_TRUE(file.setFileTime(modified, QFileDevice::FileModificationTime));
    };
    plant(".IMG-a1B2c3.tmp", old); // killed mid-write
    const QStringList kept { ".IMG-d4E5f6.tmp" /* a live writer's */, ".IMG-a1B2c3.tmp.keep", ".IMG-a1B2.tmp",
        "notes.tmp", "IMG-a1B2c3.tmp" };
    plant(kept[0], QDateTime::currentDateTime());
    for (qsizetype i = 1; i < kept.size(); ++i)
        plant(kept[i], old);

    LiveLumivue app({ "--album", album() });
    ASSERT_TRUE(app.started());
    ASSERT_TRUE(app.waitForLog(kScan)); // the album's first work is done before its scan
    EXPECT_EQ(app.quit(), 0) << app.log().toStdString();
    QStringList left = QDir(album()).entryList(QDir::Files | QDir::Hidden);
    left.sort();
    QStringList expected = kept;
    expected.sort();
    EXPECT_EQ(left, expected);
}

// A video in the album: the thumbnail shows its first frame with the play mark, the viewer plays
// it (a moving ball: the picture changes), and the next photo is numbered after it.
TEST_F(AppPhotosTest, AlbumVideoThumbnailPlaysInTheViewerAndThePhotoFollowsIt)
{
    ASSERT_TRUE(QDir().mkpath(album()));
    ASSERT_TRUE(testing_support::makeTestVideo(album() + QStringLiteral("/VID_0001.MP4"), "ball", false, 40));
    LiveLumivue app({ "--album", album() });
    ASSERT_TRUE(app.started());
    ASSERT_TRUE(app.waitForLog(kThumbnailOK)) << app.log().toStdString();
    const QImage screen = screenshot(app, "video-thumbnail.png");
    EXPECT_GT(qGray(screen.pixel(kThumbnailInside.center())), 220) << "the play mark";
    EXPECT_LT(qGray(screen.pixel(kThumbnailInside.topLeft())), 40) << "the frame's black";

    app.send(QStringLiteral("tap captureButton"));
    app.send(QStringLiteral("until playPauseButton 60"));
    ASSERT_TRUE(app.waitForLog(QStringLiteral("Opening video VID_0001.MP4"))) << app.log().toStdString();
    const QRect picture(0, 240, 640, 480); // 4:3 fitted to the portrait window
    const QImage paused = screenshotOnceStill(app, "video-paused.png", picture);
    app.send(QStringLiteral("tap playPauseButton"));
    app.send(QStringLiteral("wait 1.5"));
    const QImage played = screenshot(app, "video-played.png");
    EXPECT_GT(changedPixels(paused, played, picture), 500);
    app.send(QStringLiteral("tap viewImageDoneButton"));
    ASSERT_TRUE(app.waitForLog(kThumbnailOK, 2)) << "the screen is back";
    app.send(QStringLiteral("tap takePictureButton"));
    ASSERT_TRUE(app.waitForLog(kSaved)) << app.log().toStdString();
    EXPECT_EQ(app.quit(), 0) << app.log().toStdString();
    EXPECT_EQ(photosIn(album()), QStringList { "IMG_0002.JPG" });
}

} // namespace
