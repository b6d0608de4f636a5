// Taking a still: what lands in the album (pixels and EXIF read back with exiv2), the shutter and
// taking-picture state on every path, and failures. The program tests cover quick taps and the
// thumbnail end to end.

#include <algorithm>
#include <cmath>
#include <mutex>
#include <utility>
#include <vector>

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "PhotoCaptureTestSupport.h"
#include "imaging/LivePreviewLayer.h"
#include "imaging/NightVisionMode.h"
#include "platform/camera/CameraSource.h"
#include "support/ExifReader.h"
#include "support/NoiseMeasure.h"
#include "support/TestNames.h"

using namespace capturetest;
namespace exif = testing_support::exif;

namespace {

using testing_support::PrintTo;

QStringList photosIn(const QString& dir)
{
    return QDir(dir).entryList({ "*.JPG" }, QDir::Files, QDir::Name);
}

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What every saved photo carries: the orientation at the tap, our make, the camera's exposure, and
// the fix at the tap with its hemispheres in the refs and its date, in place of the camera's GPS
// group (no position without a fix). The program test reads the rest of the camera's EXIF.
void expectPhotoExif(
    const Exiv2::ExifData& data, const char* orientation, const std::optional<photos::Location>& fix)
{
    EXPECT_EQ(exif::text(data, "Exif.Image.Orientation"), orientation);
    EXPECT_EQ(exif::text(data, "Exif.Image.Make"), "Lumivue+");
    EXPECT_EQ(exif::text(data, "Exif.Photo.ISOSpeedRatings"), "1600");
    if (!fix) {
        EXPECT_EQ(exif::text(data, "Exif.GPSInfo.GPSLatitude"), "<missing>");
        return;
    }
    EXPECT_EQ(exif::text(data, "Exif.GPSInfo.GPSLatitudeRef"), fix->latitude < 0 ? "S" : "N");
    EXPECT_EQ(exif::text(data, "Exif.GPSInfo.GPSLongitudeRef"), fix->longitude < 0 ? "W" : "E");
    EXPECT_NEAR(exif::degrees(data, "Exif.GPSInfo.GPSLatitude"), std::abs(fix->latitude), 1e-4);
    EXPECT_NEAR(exif::degrees(data, "Exif.GPSInfo.GPSLongitude"), std::abs(fix->longitude), 1e-4);
    EXPECT_EQ(exif::text(data, "Exif.GPSInfo.GPSDateStamp"),
        fix->timestamp.toUTC().toString("yyyy:MM:dd").toStdString());
    EXPECT_EQ(exif::text(data, "Exif.GPSInfo.GPSAltitude"), "<missing>")
        << "the fix replaces the camera's group";
}

class PhotoCaptureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        start(makeBackend(m_source));
    }

    void start(std::shared_ptr<platform::CaptureBackend> backend)
    {
        m_capture = std::make_unique<TestCapture>();
        m_capture->load(std::move(backend), m_dir.path());
    }

    // Taps the shutter, turns the device and loses the fix, and waits until the shutter is
    // enabled again and the save has ended (a thumbnail or an alert).
    void tapAndWait()
    {
        TestCapture& c = *m_capture;
        const std::size_t ends = c.thumbnails.size() + std::size_t(m_alerts.alerts);
        const std::size_t enables = c.shutterEnabled.size();
        c.takePicture();
        c.orientation = 4;
        c.fix.reset();
        ASSERT_TRUE(waitUntil([&] {
            const bool enabled = c.shutterEnabled.size() > enables && c.shutterEnabled.back();
            return enabled && c.thumbnails.size() + std::size_t(m_alerts.alerts) > ends;
        }));
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

// Both cameras of the image stand-in, held upright: the saved photo, shown with its EXIF
// orientation applied, is the photo upright and not mirrored (the screen mirrors the front
// camera's preview; the photo keeps what the sensor saw, as a camera does).
class StandInPhotoTest : public PhotoCaptureTest, public ::testing::WithParamInterface<bool /*front*/> { };

TEST_P(StandInPhotoTest, PortraitPhotoIsUprightOnceItsOrientationIsApplied)
{
    QImage photo(300, 400, QImage::Format_RGB32);
    QPainter painter(&photo);
    const Qt::GlobalColor quarters[] = { Qt::red, Qt::green, Qt::blue, Qt::yellow }; // reading order
    for (int q = 0; q < 4; ++q)
        painter.fillRect(q % 2 * 150, q / 2 * 200, 150, 200, quarters[q]);
    painter.end();
    const QString feed = QDir(m_dir.path()).filePath(QStringLiteral("feed.png"));
    ASSERT_TRUE(photo.save(feed));
    auto backend = platform::CameraSource::parse(QStringLiteral("image:") + feed)
                       .value()
                       .makeBackend(std::make_shared<platform::ManualFrameClock>());
    ASSERT_TRUE(backend);
    start(backend.value());
    m_capture->settings.setScopeNightVisionMode(imaging::NightVisionMode::Off);
    if (GetParam())
        m_capture->camera.changeCamera();
    ASSERT_EQ(m_capture->camera.previewLayer()->isMirrored(), GetParam());
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

// ---- Nothing to save ------------------------------------------------------------------------

struct NothingTakenRow {
    const char* name;
    bool cameras; // false: the still output has no video connection
    bool night;
};

class NothingTakenTest : public PhotoCaptureTest, public ::testing::WithParamInterface<NothingTakenRow> { };

// A still that cannot be had saves nothing, and the shutter works again. A camera that fails
// says why (an alert); with no camera at all the screen already says so, and nothing more shows.
TEST_P(NothingTakenTest, SavesNothingSaysWhyAndFreesTheShutter)
{
    m_source->failFrom = GetParam().cameras ? 1 : 0;
    start(makeBackend(m_source, GetParam().cameras));
    m_capture->setNightMode(GetParam().night, 8);
    m_capture->takePicture();
    ASSERT_TRUE(waitUntil([&] { return m_capture->shutterEnabled.back(); }));
    EXPECT_FALSE(m_capture->isTakingPicture());
    EXPECT_TRUE(photosIn(m_dir.path()).isEmpty());
    EXPECT_TRUE(waitUntil([&] { return m_alerts.alerts == (GetParam().cameras ? 1 : 0); }));
    if (!GetParam().cameras)
        return;
    EXPECT_EQ(m_source->taken, 1) << "a failed first still ends the burst";
    m_source->failFrom = 0;
    tapAndWait();
    EXPECT_EQ(photosIn(m_dir.path()).size(), 1);
}

INSTANTIATE_TEST_SUITE_P(Table, NothingTakenTest,
    ::testing::Values(NothingTakenRow { "CaptureError", true, false },
        NothingTakenRow { "CaptureErrorNight", true, true },
        NothingTakenRow { "NoVideoConnectionNight", false, true }),
    [](const auto& row) { return std::string(row.param.name); });

// ---- Night mode: a burst of stills merged into one photo ------------------------------------

// Eight noisy stills of a still scene, hand-shaken by up to 3 pixels, give a photo with at most
// 0.45 of a single noisy photo's noise (the square root of 8 would give 0.35; JPEG and alignment
// cost the rest), measured against the noise-free photo through the same gain and encoder.
TEST_F(PhotoCaptureTest, EightNightStillsLeaveLessThanHalfTheNoiseOfOne)
{
    constexpr int kSigma = 8;
    m_source->scene = QImage(LUMIVUE_SOURCE_DIR "/assets/samples/dim-street.png")
                          .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    ASSERT_FALSE(m_source->scene.isNull());
    m_capture->settings.setScopeNightVisionMode(imaging::NightVisionMode::Manual);
    m_capture->settings.setScopeNightVisionLevel(8);
    tapAndWait(); // photo 1: the clean scene (still number 0)
    m_source->noise.emplace(kSigma, 0, 1234u);
    tapAndWait(); // photo 2: one noisy still (number 1)
    m_source->noise.emplace(kSigma, 3, 1234u);
    m_capture->setNightMode(true, 8);
    tapAndWait(); // photo 3: stills 2 to 9, merged on the first of them
    ASSERT_EQ(m_source->taken, 10);

    const QImage clean(photoPath(1)), single(photoPath(2)), stacked(photoPath(3));
    ASSERT_EQ(stacked.size(), m_source->scene.size());
    const QRect inner = clean.rect().adjusted(16, 16, -16, -16); // clear of what a shake fills in
    const double before = testing_noise::differenceSigma(single, clean, inner);
    const double after
        = testing_noise::differenceSigma(stacked, clean, inner, m_source->noise->shakeOffset(2));
    EXPECT_GT(before, kSigma) << "level 8 doubles the noise of the still";
    EXPECT_LE(after, 0.45 * before) << "single " << before << ", stacked " << after;
    EXPECT_EQ(exif::text(exif::readFile(photoPath(3)).exif, "Exif.Image.ImageDescription"),
        "Lumivue night: 8 frames");
}

// A burst keeps the taking-picture state (frames dropped, the ring turning) and the shutter
// disabled until its photo is handed on; a still that fails ends it, and what came before is
// saved with everything a single photo carries (the orientation and fix of the tap, the device
// turned after it) plus the number of stills merged (here the fifth fails).
TEST_F(PhotoCaptureTest, NightBurstKeepsThePictureStateAndSavesWhatArrived)
{
    std::mutex mutex;
    std::vector<bool> takingAtEachStill; // guarded by mutex
    m_source->onStill = [&] {
        std::scoped_lock lock(mutex);
        takingAtEachStill.push_back(m_capture->isTakingPicture());
    };
    m_source->failFrom = 5;
    const photos::Location fix { 40.7, -74.0, QDateTime::currentDateTimeUtc() };
    m_capture->fix = fix;
    m_capture->orientation = 2;
    m_capture->setNightMode(true, 8);
    tapAndWait();

    EXPECT_EQ(m_source->taken, 5);
    {
        std::scoped_lock lock(mutex);
        EXPECT_EQ(takingAtEachStill, std::vector<bool>(5, true));
    }
    EXPECT_FALSE(m_capture->isTakingPicture());
    EXPECT_EQ(std::ranges::count(m_capture->shutterEnabled, true), 1);
    EXPECT_EQ(m_alerts.alerts, 0);
    ASSERT_EQ(photosIn(m_dir.path()), QStringList { "IMG_0001.JPG" });
    const Exiv2::ExifData data = exif::readFile(photoPath(1)).exif;
    EXPECT_EQ(exif::text(data, "Exif.Image.ImageDescription"), "Lumivue night: 4 frames");
    expectPhotoExif(data, "8", fix);
    EXPECT_EQ(QImage(photoPath(1)).size(), m_source->size);
}

// Night mode off, whatever the burst size, and a burst of one are the ordinary photo: one still,
// and the file byte for byte the one taken before night mode was touched. Held face up, which
// says nothing of how the phone is held, the orientation seen when the frame is processed is
// logged and the photo saved as portrait.
TEST_F(PhotoCaptureTest, FaceUpOrdinaryPhotoIsPortraitAndTheSameWithNightOffOrABurstOfOne)
{
    const LogCapture log;
    m_capture->orientation = 5;
    tapAndWait();
    for (const auto& [night, frames] : { std::pair { false, 16 }, { true, 1 } }) {
        m_capture->setNightMode(night, frames);
        m_capture->orientation = 5;
        tapAndWait();
    }
    EXPECT_EQ(m_source->taken, 3);
    ASSERT_TRUE(waitUntil([&] { return log.lines().count("Device orientation unknown 4") == 3; }));
    const Exiv2::ExifData data = exif::readFile(photoPath(1)).exif;
    expectPhotoExif(data, "6", std::nullopt);
    EXPECT_EQ(exif::text(data, "Exif.Image.ImageDescription"), "<missing>")
        << "only night photos say how they were made";
    for (const int n : { 2, 3 })
        EXPECT_TRUE(bytesOf(photoPath(1)) == bytesOf(photoPath(n))) << n;
}

// ---- Going away mid-photo ---------------------------------------------------------------------

// The controller goes while a burst is under way (midway, at its last still): the destructor
// returns, nothing reaches the destroyed parts, and each tap leaves either one whole photo or a
// line saying it was not saved. A single still is the program's quit after the shutter.
TEST_F(PhotoCaptureTest, DestroyedMidBurstFinishesCleanly)
{
    const LogCapture log;
    for (const int stillsFirst : { 4, 8, 4, 8 }) {
        m_source->taken = 0;
        start(makeBackend(m_source));
        m_capture->setNightMode(true, 8);
        m_capture->takePicture();
        ASSERT_TRUE(waitUntil([&] { return m_source->taken >= stillsFirst; }));
        m_capture.reset();
    }
    const QStringList files = QDir(m_dir.path()).entryList(QDir::Files);
    EXPECT_EQ(files, photosIn(m_dir.path())) << "no temporary files are left";
    for (const QString& file : files)
        EXPECT_FALSE(QImage(QDir(m_dir.path()).filePath(file)).isNull()) << file.toStdString();
    EXPECT_EQ(files.size() + log.lines().filter(QStringLiteral("Photo not saved")).size(), 4);
}

} // namespace
