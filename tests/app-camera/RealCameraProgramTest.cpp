// Real cameras as a user meets them: virtual camera nodes served into the PipeWire of the run
// (scripts/with-pipewire.sh), the built lumivue reading them. A scene with four coloured quarters
// tells upright from turned and mirrored, on the screen (preview and scope) and in the photo.

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include "support/LiveLumivue.h"
#include "support/Program.h"

namespace {

// Why the virtual cameras cannot run here; empty when they can.
QString pipewireMissing()
{
    const QString reason = qEnvironmentVariable("LUMIVUE_PIPEWIRE_UNAVAILABLE");
    if (!reason.isEmpty())
        return reason;
    QString runtime = qEnvironmentVariable("PIPEWIRE_RUNTIME_DIR");
    if (runtime.isEmpty())
        runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty() || !QFileInfo::exists(runtime + QStringLiteral("/pipewire-0")))
        return QStringLiteral(
            "no PipeWire daemon: run the tests through scripts/with-pipewire.sh, as make test does");
    if (QStandardPaths::findExecutable(QStringLiteral("gst-launch-1.0")).isEmpty())
        return QStringLiteral("gst-launch-1.0 is not installed (scripts/install-deps.sh installs it)");
    return {};
}

struct CameraKind {
    const char* name; // the node's description, which the app shows and selects by
    const char* format; // as served: a raw format, or MJPG
    const char* location; // api.libcamera.location, or "" for a camera that does not say
    int rotation; // api.libcamera.rotation, or -1 for a camera that does not say
    bool mirrored; // how the screen shows it
    bool byDefault; // opened without --camera
};

// A camera node serving `scene` as a sensor mounted `rotation` degrees delivers it: the scene
// turned so that turning it `rotation` degrees counter-clockwise makes it upright again.
class VirtualCamera {
public:
    VirtualCamera(const QString& scene, const CameraKind& kind)
    {
        const char* direction = kind.rotation == 90 ? "90r"
            : kind.rotation == 180                  ? "180"
            : kind.rotation == 270                  ? "90l"
                                                    : "identity";
        QString properties
            = QStringLiteral("p,media.class=Video/Source,media.role=Camera,node.description=%1")
                  .arg(QLatin1String(kind.name));
        if (*kind.location)
            properties += QStringLiteral(",api.libcamera.location=%1").arg(QLatin1String(kind.location));
        if (kind.rotation >= 0)
            properties += QStringLiteral(",api.libcamera.rotation=%1").arg(kind.rotation);
        const QString encode = QLatin1String(kind.format) == QLatin1String("MJPG")
            ? QStringLiteral("jpegenc ! image/jpeg,framerate=30/1")
            // A frozen image stalls in pipewiresink's own buffer pool: copy into plain buffers.
            : QStringLiteral("video/x-raw,format=%1,framerate=30/1 ! identity drop-allocation=true")
                  .arg(QLatin1String(kind.format));
        const QString pipeline = QStringLiteral("filesrc location=%1 ! pngdec ! imagefreeze is-live=true ! "
                                                "videoflip video-direction=%2 ! videoconvert ! %3 ! "
                                                "pipewiresink mode=provide stream-properties=\"%4\"")
                                     .arg(scene, QLatin1String(direction), encode, properties);
        m_process.start(QStringLiteral("sh"),
            { QStringLiteral("-c"), QStringLiteral("exec gst-launch-1.0 -q ") + pipeline });
        m_process.waitForStarted();
    }
    ~VirtualCamera() { stop(); }

    // Unplugged: the node vanishes at once.
    void stop()
    {
        m_process.kill();
        m_process.waitForFinished();
    }

    // What `lumivue --list-cameras` says once the node is there; empty if it never comes.
    static QString listingOf(const char* name)
    {
        for (int attempt = 0; attempt < 50; ++attempt) {
            testing_support::Program list({ "--list-cameras" });
            list.finish({}, 20000);
            const QString text = QString::fromUtf8(list.output());
            const qsizetype at = text.indexOf(QLatin1String(name) + QLatin1Char('\n'));
            if (at >= 0)
                return text.mid(at);
            QThread::msleep(100);
        }
        return {};
    }

private:
    QProcess m_process;
};

// 'R', 'G', 'B', 'W' for a clear red, green, blue or white around `at`; '?' otherwise.
char colourAt(const QImage& image, QPoint at)
{
    int r = 0, g = 0, b = 0;
    for (int dy = -3; dy <= 3; ++dy)
        for (int dx = -3; dx <= 3; ++dx) {
            const QRgb p = image.pixel(at + QPoint(dx, dy));
            r += qRed(p), g += qGreen(p), b += qBlue(p);
        }
    r /= 49, g /= 49, b /= 49;
    if (r > 150 && g > 150 && b > 150)
        return 'W';
    if (r > 120 && g < 60 && b < 60)
        return 'R';
    if (g > 120 && r < 60 && b < 60)
        return 'G';
    if (b > 120 && r < 60 && g < 60)
        return 'B';
    return '?';
}

// The quarters of `image` at the four points, top left to bottom right.
std::string quarters(const QImage& image, std::initializer_list<QPoint> points)
{
    std::string seen;
    for (QPoint p : points)
        seen += colourAt(image, p);
    return seen;
}

class RealCamera : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const QString missing = pipewireMissing(); !missing.isEmpty())
            GTEST_SKIP() << "PipeWire cameras cannot be tried here: " << missing.toStdString();
        // The upright scene: red, green / blue, white quarters, landscape as a webcam sees it.
        QImage scene(640, 480, QImage::Format_RGB32);
        QPainter painter(&scene);
        painter.fillRect(0, 0, 320, 240, QColor(200, 0, 0));
        painter.fillRect(320, 0, 320, 240, QColor(0, 200, 0));
        painter.fillRect(0, 240, 320, 240, QColor(0, 0, 200));
        painter.fillRect(320, 240, 320, 240, QColor(200, 200, 200));
        painter.end();
        ASSERT_TRUE(scene.save(m_scene));
    }

    QString album() const { return m_dir.filePath(QStringLiteral("album")); }

    // The newest photo, turned upright by its EXIF orientation.
    QImage newestPhoto() const
    {
        const QStringList photos
            = QDir(album()).entryList({ QStringLiteral("*.JPG") }, QDir::Files, QDir::Name);
        if (photos.isEmpty())
            return {};
        QImageReader reader(QDir(album()).filePath(photos.last()));
        reader.setAutoTransform(true);
        return reader.read();
    }

    // Screen (phone, scale 2): the preview above and below the scope, and the scope's square.
    static std::string previewQuarters(const QImage& screen)
    {
        return quarters(screen, { { 300, 150 }, { 400, 150 }, { 300, 700 }, { 400, 700 } });
    }
    static std::string scopeQuarters(const QImage& screen)
    {
        return quarters(screen, { { 300, 320 }, { 420, 320 }, { 300, 650 }, { 420, 650 } });
    }
    static std::string photoQuarters(const QImage& photo)
    {
        return quarters(photo, { { 160, 120 }, { 480, 120 }, { 160, 360 }, { 480, 360 } });
    }

    QTemporaryDir m_dir;
    const QString m_scene = m_dir.filePath(QStringLiteral("scene.png"));
};

class RealCameraKinds : public RealCamera, public ::testing::WithParamInterface<CameraKind> { };

// Webcam, back, front and external cameras in four formats: the shutter tapped before the first
// picture waits for it; the screen shows the scene upright (mirrored except for the back camera),
// the scope the same; the photo is the upright scene, never mirrored.
TEST_P(RealCameraKinds, ShowUprightAndSaveUpright)
{
    const CameraKind kind = GetParam();
    VirtualCamera camera(m_scene, kind);
    const QString listing = VirtualCamera::listingOf(kind.name);
    ASSERT_FALSE(listing.isEmpty()) << "the virtual camera never appeared";
    EXPECT_TRUE(
        listing.contains(kind.rotation >= 0 ? QStringLiteral("mounting:  %1 degrees").arg(kind.rotation)
                                            : QStringLiteral("mounting:  not said")))
        << listing.toStdString();

    QStringList arguments { "--album", album() };
    if (!kind.byDefault)
        arguments << "--camera" << QStringLiteral("pipewire:%1").arg(QLatin1String(kind.name));
    LiveLumivue app(arguments);
    ASSERT_TRUE(app.started());
    app.send(QStringLiteral("tap takePictureButton"));
    ASSERT_TRUE(app.waitForLog(QStringLiteral("Camera started: %1").arg(QLatin1String(kind.name)), 1, 20000))
        << app.log().toStdString();
    ASSERT_TRUE(app.waitForLog(QStringLiteral("asset URL:"), 1, 20000)) << app.log().toStdString();
    const QString shot = m_dir.filePath(QStringLiteral("screen.png"));
    app.send(QStringLiteral("wait 0.5"));
    app.send(QStringLiteral("screenshot ") + shot);
    ASSERT_TRUE(app.sync());
    EXPECT_EQ(app.quit(), 0);
    EXPECT_FALSE(app.log().contains(QLatin1String("CRITICAL"))) << app.log().toStdString();

    const QImage screen(shot);
    const std::string upright = kind.mirrored ? "GRWB" : "RGBW";
    EXPECT_EQ(previewQuarters(screen), upright);
    EXPECT_EQ(scopeQuarters(screen), upright);
    const QImage photo = newestPhoto();
    EXPECT_EQ(photo.size(), QSize(640, 480));
    EXPECT_EQ(photoQuarters(photo), "RGBW");
}

INSTANTIATE_TEST_SUITE_P(Cameras, RealCameraKinds,
    ::testing::Values(CameraKind { "Webcam", "YUY2", "", -1, true, true },
        CameraKind { "BackSensor", "NV12", "back", 90, false, false },
        CameraKind { "FrontSensor", "I420", "front", 270, true, false },
        CameraKind { "ExternalJpeg", "MJPG", "external", 180, true, false }),
    [](const auto& row) { return std::string(row.param.name); });

// Unplugged mid-session: the app says so, keeps running, and takes the camera back by itself.
TEST_F(RealCamera, LostCameraIsSaidAndPickedUpAgain)
{
    const CameraKind kind { "Unplugged", "YUY2", "", -1, true, false };
    auto camera = std::make_unique<VirtualCamera>(m_scene, kind);
    ASSERT_FALSE(VirtualCamera::listingOf(kind.name).isEmpty());
    LiveLumivue app({ "--album", album(), "--camera", "pipewire:Unplugged" });
    ASSERT_TRUE(app.waitForLog(QStringLiteral("Camera started: Unplugged"), 1, 20000))
        << app.log().toStdString();

    camera->stop();
    ASSERT_TRUE(app.waitForLog(QStringLiteral("Camera lost: Unplugged"), 1, 20000))
        << app.log().toStdString();
    camera = std::make_unique<VirtualCamera>(m_scene, kind);
    ASSERT_TRUE(app.waitForLog(QStringLiteral("Camera back: Unplugged"), 1, 30000))
        << app.log().toStdString();
    app.send(QStringLiteral("tap takePictureButton"));
    ASSERT_TRUE(app.waitForLog(QStringLiteral("asset URL:"), 1, 20000)) << app.log().toStdString();
    EXPECT_EQ(app.quit(), 0);
    EXPECT_EQ(photoQuarters(newestPhoto()), "RGBW");
}

// A camera asked for by name that is not there: the screen says so, and the program runs on.
TEST_F(RealCamera, MissingCameraIsSaidNotCrashedOn)
{
    const auto run = testing_support::runProgram({ "--headless", "--no-analytics", "--album", album(),
                                                     "--camera", "pipewire:Nobody", "--control", "-" },
        "tap takePictureButton\nwait 0.5\nquit\n");
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains(QLatin1String("No camera found"))) << run.errors.toStdString();
}

} // namespace
