// Taking a still: what lands in the album (pixels and EXIF read back with exiv2), the shutter and
// taking-picture state on every path, the thumbnail, and failures.

#include <algorithm>
#include <cmath>

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QTemporaryDir>

#include <exiv2/exiv2.hpp>
#include <gtest/gtest.h>
#include <unistd.h>

#include "PhotoCaptureTestSupport.h"
#include "imaging/LivePreviewLayer.h"
#include "imaging/NightVisionMode.h"
#include "platform/camera/CameraSource.h"

using namespace capturetest;

namespace {

QStringList photosIn(const QString& dir)
{
    return QDir(dir).entryList({ "*.JPG" }, QDir::Files, QDir::Name);
}

struct Exif {
    Exiv2::ExifData data;
    bool has(const char* key) const { return data.findKey(Exiv2::ExifKey(key)) != data.end(); }
    std::string text(const char* key) const
    {
        const auto it = data.findKey(Exiv2::ExifKey(key));
        return it == data.end() ? std::string("<none>") : it->toString();
    }
    long integer(const char* key) const
    {
        const auto it = data.findKey(Exiv2::ExifKey(key));
        return it == data.end() ? -1 : long(it->toLong());
    }
    // Degrees from the three degree/minute/second rationals.
    double degrees(const char* key) const
    {
        const auto it = data.findKey(Exiv2::ExifKey(key));
        if (it == data.end() || it->count() != 3)
            return NAN;
        return it->toFloat(0) + it->toFloat(1) / 60.0 + it->toFloat(2) / 3600.0;
    }
};

Exif readExif(const QString& path)
{
    auto image = Exiv2::ImageFactory::open(path.toStdString());
    image->readMetadata();
    return Exif { image->exifData() };
}

class PhotoCaptureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        start(true);
    }

    void start(bool cameras)
    {
        m_capture = std::make_unique<TestCapture>();
        m_capture->setCaptureBackend(makeBackend(m_source, cameras));
        m_capture->setAlbumDirectory(m_dir.path());
        m_capture->setupCaptureSessionVideo();
    }

    // Taps the shutter and waits until the shutter is enabled again and the save has ended
    // (a thumbnail, a click or an alert).
    void tapAndWait()
    {
        TestCapture& c = *m_capture;
        const std::size_t ends = c.thumbnails.size() + m_alerts.alerts.size();
        const std::size_t enables = c.shutterEnabled.size();
        c.takePicture();
        ASSERT_TRUE(waitUntil([&] {
            const bool enabled = c.shutterEnabled.size() > enables && c.shutterEnabled.back();
            return enabled && c.thumbnails.size() + m_alerts.alerts.size() > ends;
        }));
    }

    // Taps and waits for the shutter only (paths that save nothing).
    void tapExpectingNothing()
    {
        TestCapture& c = *m_capture;
        c.takePicture();
        ASSERT_TRUE(waitUntil([&] { return !c.shutterEnabled.empty() && c.shutterEnabled.back(); }));
    }

    QString photoPath(int n) const
    {
        return QDir(m_dir.path()).filePath(QStringLiteral("IMG_%1.JPG").arg(n, 4, 10, QChar('0')));
    }

    QTemporaryDir m_dir;
    std::shared_ptr<StillSource> m_source { std::make_shared<StillSource>() };
    AlertCapture m_alerts;
    std::unique_ptr<TestCapture> m_capture;
};

// ---- What a saved photo carries -------------------------------------------------------------

TEST_F(PhotoCaptureTest, PortraitPhotoCarriesOrientationMakeGpsAndTheCamerasExposure)
{
    m_capture->fix = photos::Location { -33.9, 151.2, QDateTime::currentDateTimeUtc() };
    tapAndWait();

    ASSERT_EQ(photosIn(m_dir.path()), QStringList { "IMG_0001.JPG" });
    const Exif exif = readExif(photoPath(1));
    EXPECT_EQ(exif.integer("Exif.Image.Orientation"), 6);
    EXPECT_EQ(exif.text("Exif.Image.Make"), "Lumivue+");
    EXPECT_EQ(exif.text("Exif.Image.Model"), "Lumivue+");
    EXPECT_EQ(exif.text("Exif.Image.Software"), "Lumivue+");
    EXPECT_EQ(exif.text("Exif.GPSInfo.GPSLatitudeRef"), "S");
    EXPECT_EQ(exif.text("Exif.GPSInfo.GPSLongitudeRef"), "E");
    EXPECT_NEAR(exif.degrees("Exif.GPSInfo.GPSLatitude"), 33.9, 1e-4);
    EXPECT_NEAR(exif.degrees("Exif.GPSInfo.GPSLongitude"), 151.2, 1e-4);
    EXPECT_EQ(exif.integer("Exif.Photo.ISOSpeedRatings"), 1600);
    EXPECT_NEAR(exif.data.findKey(Exiv2::ExifKey("Exif.Photo.ExposureTime"))->toFloat(), 1.0 / 15.0, 1e-4);
    EXPECT_NEAR(exif.data.findKey(Exiv2::ExifKey("Exif.Photo.FNumber"))->toFloat(), 2.4, 1e-4);
}

TEST_F(PhotoCaptureTest, NorthWestFixGetsNorthAndWestRefs)
{
    m_capture->fix = photos::Location { 40.7, -74.0, QDateTime::currentDateTimeUtc() };
    tapAndWait();
    const Exif exif = readExif(photoPath(1));
    EXPECT_EQ(exif.text("Exif.GPSInfo.GPSLatitudeRef"), "N");
    EXPECT_EQ(exif.text("Exif.GPSInfo.GPSLongitudeRef"), "W");
    EXPECT_NEAR(exif.degrees("Exif.GPSInfo.GPSLongitude"), 74.0, 1e-4);
}

TEST_F(PhotoCaptureTest, NoFixSavesWithoutGpsButWithEverythingElse)
{
    tapAndWait();
    const Exif exif = readExif(photoPath(1));
    EXPECT_FALSE(exif.has("Exif.GPSInfo.GPSLatitude"));
    EXPECT_FALSE(exif.has("Exif.GPSInfo.GPSLongitudeRef"));
    EXPECT_EQ(exif.integer("Exif.Image.Orientation"), 6);
    EXPECT_EQ(exif.text("Exif.Image.Make"), "Lumivue+");
}

TEST_F(PhotoCaptureTest, ManualLevelBrightensTheWholeStillAndOffLeavesItAsCaptured)
{
    // Level 8 doubles every channel; Off saves the frame as it came (JPEG loss aside).
    m_capture->setScopeNightVisionMode(imaging::NightVisionMode::Manual);
    m_capture->setScopeNightVisionLevel(8);
    tapAndWait();
    m_capture->setScopeNightVisionMode(imaging::NightVisionMode::Off);
    tapAndWait();

    const QImage bright(photoPath(1));
    const QImage plain(photoPath(2));
    ASSERT_EQ(bright.size(), m_source->size);
    ASSERT_EQ(plain.size(), m_source->size);
    for (const QPoint p : { QPoint(20, 20), QPoint(300, 220), QPoint(100, 200) }) {
        const QRgb original = stillPicture(m_source->size).pixel(p);
        EXPECT_NEAR(qRed(plain.pixel(p)), qRed(original), 4);
        EXPECT_NEAR(qBlue(plain.pixel(p)), qBlue(original), 4);
        EXPECT_NEAR(qRed(bright.pixel(p)), 2 * qRed(original), 6);
        EXPECT_NEAR(qBlue(bright.pixel(p)), 2 * qBlue(original), 6);
    }
}

// ---- Orientation at the tap -------------------------------------------------------------------

struct OrientationRow {
    int deviceOrientation;
    long exifOrientation;
    const char* logLine; // null: the "unknown" line
};

void PrintTo(const OrientationRow& r, std::ostream* os)
{
    *os << "orientation " << r.deviceOrientation;
}

class PhotoOrientationTest : public PhotoCaptureTest,
                             public ::testing::WithParamInterface<OrientationRow> { };

TEST_P(PhotoOrientationTest, DeviceOrientationAtTheTapGivesTheExifOrientation)
{
    const OrientationRow row = GetParam();
    LogCapture log;
    m_capture->orientation = row.deviceOrientation;
    m_capture->takePicture();
    // Turned after the tap: the photo keeps the orientation of the tap; an unknown one is
    // logged with the orientation seen when the frame is processed.
    m_capture->orientation = 4;
    ASSERT_TRUE(waitUntil([&] { return !m_capture->thumbnails.empty(); }));
    ASSERT_TRUE(waitUntil([&] {
        return log.lines().contains(
            row.logLine ? QString(row.logLine) : QStringLiteral("Device orientation unknown 4"));
    }));
    EXPECT_EQ(readExif(photoPath(1)).integer("Exif.Image.Orientation"), row.exifOrientation);
}

INSTANTIATE_TEST_SUITE_P(Table, PhotoOrientationTest,
    ::testing::Values(OrientationRow { 1, 6, "Device orientation Portrait" },
        OrientationRow { 2, 8, "Device orientation PortraitUpsideDown" },
        OrientationRow { 3, 1, "Device orientation LandscapeLeft" },
        OrientationRow { 4, 3, "Device orientation LandscapeRight" }, OrientationRow { 5, 6, nullptr },
        OrientationRow { 6, 6, nullptr }, OrientationRow { 0, 6, nullptr }),
    [](const auto& row) { return "Device" + std::to_string(row.param.deviceOrientation); });

// Both cameras of the image stand-in, held upright: the saved photo, shown with its EXIF
// orientation applied, is the photo upright and not mirrored (the screen mirrors the front
// camera's preview; the photo keeps what the sensor saw, as a camera does).
class StandInPhotoTest : public PhotoCaptureTest, public ::testing::WithParamInterface<bool /*front*/> { };

TEST_P(StandInPhotoTest, PortraitPhotoIsUprightOnceItsOrientationIsApplied)
{
    QImage photo(300, 400, QImage::Format_RGB32);
    QPainter painter(&photo);
    painter.fillRect(0, 0, 150, 200, Qt::red);
    painter.fillRect(150, 0, 150, 200, Qt::green);
    painter.fillRect(0, 200, 150, 200, Qt::blue);
    painter.fillRect(150, 200, 150, 200, Qt::yellow);
    painter.end();
    const QString feed = QDir(m_dir.path()).filePath(QStringLiteral("feed.png"));
    ASSERT_TRUE(photo.save(feed));
    auto backend = platform::CameraSource::parse(QStringLiteral("image:") + feed)
                       .value()
                       .makeBackend(std::make_shared<platform::ManualFrameClock>());
    ASSERT_TRUE(backend);
    m_capture = std::make_unique<TestCapture>();
    m_capture->setScopeNightVisionMode(imaging::NightVisionMode::Off);
    m_capture->setCaptureBackend(backend.value());
    m_capture->setAlbumDirectory(m_dir.path());
    m_capture->setupCaptureSessionVideo();
    if (GetParam())
        m_capture->changeCamera();
    ASSERT_EQ(m_capture->previewLayer()->isMirrored(), GetParam());
    tapAndWait();

    QImageReader reader(photoPath(1));
    reader.setAutoTransform(true);
    const QImage shown = reader.read();
    ASSERT_FALSE(shown.isNull()) << qPrintable(reader.errorString());
    EXPECT_LT(shown.width(), shown.height());
    const auto colourAt
        = [&](double x, double y) { return shown.pixel(int(x * shown.width()), int(y * shown.height())); };
    EXPECT_GT(qRed(colourAt(0.2, 0.2)), 200); // top left: red
    EXPECT_GT(qGreen(colourAt(0.8, 0.2)), 200); // top right: green
    EXPECT_GT(qBlue(colourAt(0.2, 0.8)), 200); // bottom left: blue
    EXPECT_LT(qBlue(colourAt(0.8, 0.8)), 60); // bottom right: yellow
}

INSTANTIATE_TEST_SUITE_P(BothCameras, StandInPhotoTest, ::testing::Bool(),
    [](const auto& row) { return std::string(row.param ? "Front" : "Back"); });

// ---- Shutter, state, thumbnail ----------------------------------------------------------------

TEST_F(PhotoCaptureTest, SaveLogsInOrderRefreshesThumbnailWithoutScanAndClicks)
{
    LogCapture log;
    tapAndWait();
    TestCapture& c = *m_capture;
    ASSERT_TRUE(waitUntil([&] { return !c.sounds.empty(); }));

    const QStringList lines = log.lines();
    const QStringList expected { "Capture start",
        "Capture call captureStillImageAsynchronouslyFromConnection", "Capture got sample bufer",
        "Capture process sample buffer", "Capture start save to Album", "Device orientation Portrait" };
    ASSERT_GE(lines.size(), expected.size());
    EXPECT_EQ(lines.mid(0, expected.size()), expected);
    EXPECT_TRUE(lines.contains("asset URL:" + c.lastImageURL().toString()));
    EXPECT_TRUE(lines.contains("taking thumbnail OK"));
    EXPECT_FALSE(lines.contains("Enum Group")); // the thumbnail came from the URL, not a scan

    // Disabled at the tap, enabled once, at the end.
    ASSERT_FALSE(c.shutterEnabled.empty());
    EXPECT_FALSE(c.shutterEnabled.front());
    EXPECT_TRUE(c.shutterEnabled.back());
    EXPECT_EQ(std::count(c.shutterEnabled.begin(), c.shutterEnabled.end(), true), 1);
    EXPECT_FALSE(c.isTakingPicture());
    EXPECT_EQ(c.sounds, std::vector<int> { 1104 });
    ASSERT_EQ(c.thumbnails.size(), 1u);
    EXPECT_FALSE(c.thumbnails.back().isNull());
    EXPECT_TRUE(c.albumControlEnabled.back());
    // The thumbnail is the new photo turned upright: portrait, taller than wide.
    EXPECT_GT(c.thumbnails.back().height(), c.thumbnails.back().width());
}

TEST_F(PhotoCaptureTest, TwoQuickTapsMakeOnePhoto)
{
    TestCapture& c = *m_capture;
    c.takePicture();
    c.takePicture();
    ASSERT_TRUE(waitUntil([&] { return !c.thumbnails.empty(); }));
    ASSERT_TRUE(waitUntil([&] { return c.shutterEnabled.back(); }));
    EXPECT_EQ(photosIn(m_dir.path()).size(), 1);
    // And once the shutter is back, the next tap takes the next photo.
    tapAndWait();
    EXPECT_EQ(photosIn(m_dir.path()).size(), 2);
    EXPECT_EQ(c.lastImageURL().toString().contains("IMG_0002.JPG"), true);
}

TEST_F(PhotoCaptureTest, CaptureErrorSavesNothingShowsNothingAndFreesTheShutter)
{
    m_source->fail = true;
    tapExpectingNothing();
    EXPECT_FALSE(m_capture->isTakingPicture());
    EXPECT_TRUE(photosIn(m_dir.path()).isEmpty());
    EXPECT_TRUE(m_alerts.alerts.empty());
    m_source->fail = false;
    tapAndWait();
    EXPECT_EQ(photosIn(m_dir.path()).size(), 1);
}

TEST_F(PhotoCaptureTest, NoVideoConnectionSavesNothingAndFreesTheShutter)
{
    start(false);
    tapExpectingNothing();
    EXPECT_FALSE(m_capture->isTakingPicture());
    EXPECT_TRUE(photosIn(m_dir.path()).isEmpty());
    EXPECT_TRUE(m_alerts.alerts.empty());
}

TEST_F(PhotoCaptureTest, UnwritableAlbumShowsErrorKeepsThumbnailAndPhotosAndShutterWorksAgain)
{
    tapAndWait();
    TestCapture& c = *m_capture;
    const platform::AssetURL first = c.lastImageURL();
    QFile original(photoPath(1));
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QByteArray bytes = original.readAll();
    original.close();
    const std::size_t thumbnails = c.thumbnails.size();

    // Permissions do not bind root, so then the folder is taken away instead.
    const bool root = ::geteuid() == 0;
    const QString away = m_dir.path() + "-away";
    if (root)
        ASSERT_TRUE(QDir().rename(m_dir.path(), away));
    else
        ASSERT_TRUE(QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    tapAndWait();
    if (root)
        ASSERT_TRUE(QDir().rename(away, m_dir.path()));
    else
        QFile::setPermissions(
            m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    ASSERT_EQ(m_alerts.alerts.size(), 1u);
    EXPECT_EQ(m_alerts.alerts[0].title, "Error!");
    EXPECT_EQ(m_alerts.alerts[0].button, "OK");
    EXPECT_TRUE(m_alerts.alerts[0].message.contains(m_dir.path()))
        << m_alerts.alerts[0].message.toStdString();
    EXPECT_EQ(c.lastImageURL(), first);
    EXPECT_EQ(c.thumbnails.size(), thumbnails);
    EXPECT_EQ(photosIn(m_dir.path()), QStringList { "IMG_0001.JPG" });
    QFile after(photoPath(1));
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), bytes);
    EXPECT_TRUE(c.shutterEnabled.back());

    tapAndWait();
    EXPECT_EQ(photosIn(m_dir.path()).size(), 2);
    EXPECT_NE(c.lastImageURL(), first);
}

TEST_F(PhotoCaptureTest, DestroyedWhileAStillIsUnderWayFinishesCleanly)
{
    // The still and the album write run on; nothing may reach the destroyed controller.
    for (int i = 0; i < 5; ++i) {
        start(true);
        m_capture->takePicture();
        m_capture.reset();
    }
    SUCCEED();
}

} // namespace
