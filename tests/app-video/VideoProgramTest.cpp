// Videos as a user makes them: the built lumivue recording through its screen's controls, the files
// decoded back with GStreamer as a player would.

#include <cmath>
#include <unistd.h>

#include <sys/mount.h>

#include <QDir>
#include <QImageReader>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include "support/LiveLumivue.h"
#include "video/VideoProbe.h"

namespace {

const QString kScene = QStringLiteral("image:" LUMIVUE_SOURCE_DIR "/assets/samples/dim-street.png");

// Peak signal-to-noise ratio of two pictures of one size, over R, G and B, in dB.
double psnr(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB888), y = b.convertToFormat(QImage::Format_RGB888);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int i = 0; i < 3 * x.width(); ++i)
            sum += std::pow(double(x.constScanLine(row)[i]) - y.constScanLine(row)[i], 2);
    return 10 * std::log10(255.0 * 255.0 * 3 * x.width() * x.height() / std::max(sum, 1.0));
}

class VideoProgramTest : public ::testing::Test {
protected:
    QString album() const { return m_dir.filePath(QStringLiteral("album")); }
    QStringList items(const QString& folder) const
    {
        return QDir(folder).entryList({ "IMG_*", "VID_*" }, QDir::Files, QDir::Name);
    }
    // Video mode, then a recording of `seconds`, stopped by the shutter.
    static void record(LiveLumivue& app, double seconds)
    {
        app.send(
            QStringLiteral("tap captureModeButton\ntap takePictureButton\nwait %1\ntap takePictureButton")
                .arg(seconds));
    }

    QTemporaryDir m_dir;
};

class VideoOfEachCamera : public VideoProgramTest, public ::testing::WithParamInterface<bool> { };

// A video is the camera's picture enhanced as a photo of the same scene is, turned upright the
// same way, at the camera's rate; it joins the album after the photo, numbered after it.
TEST_P(VideoOfEachCamera, IsThePhotosPictureUprightAtTheCamerasRate)
{
    const bool front = GetParam();
    LiveLumivue app({ "--album", album(), "--camera", kScene, "--no-audio" });
    ASSERT_TRUE(app.started());
    if (front)
        app.send(QStringLiteral("tap cameraButton"));
    // 1280 × 720 frames and stills, at a level of the user's: one picture of the scene for both.
    app.send(QStringLiteral("choose bPreset 2\nchoose bEnlight 1\nslide sliderNVLevel 8\nchoose bColorSpace "
                            "1\ntap takePictureButton"));
    ASSERT_TRUE(app.waitForLog(QStringLiteral("taking thumbnail OK"))) << app.log().toStdString();
    record(app, 2);
    ASSERT_TRUE(app.waitForLog(QStringLiteral("Video saved"))) << app.log().toStdString();
    ASSERT_EQ(app.quit(), 0) << app.log().toStdString();
    ASSERT_EQ(items(album()), QStringList({ "IMG_0001.JPG", "VID_0002.MP4" }));

    QImageReader reader(QDir(album()).filePath("IMG_0001.JPG"));
    reader.setAutoTransform(true);
    const QImage photo = reader.read();
    const QString video = QDir(album()).filePath("VID_0002.MP4");
    const video_test::Discovered found = video_test::discover(video);
    EXPECT_EQ(found.streams, "video/quicktime video/x-h264") << "--no-audio";
    EXPECT_EQ(found.size, QSize(720, 1280));
    EXPECT_EQ(found.size, photo.size()) << "not upright as the photo is";
    EXPECT_NEAR(found.framesPerSecond, 30, 1.5);
    const auto stopped
        = QRegularExpression(QStringLiteral("Recording saved: \\d+ frames \\(\\d+ dropped\\), (\\d+) ms"))
              .match(app.log());
    EXPECT_NEAR(found.seconds, stopped.captured(1).toDouble() / 1000, 1.0 / 30) << app.log().toStdString();

    const video_test::Decoded decoded = video_test::decode(video, 20);
    ASSERT_EQ(decoded.picture.size(), photo.size());
    EXPECT_GE(psnr(decoded.picture, photo), 35.0);
}

INSTANTIATE_TEST_SUITE_P(, VideoOfEachCamera, ::testing::Values(false, true),
    [](const auto& row) { return std::string(row.param ? "FrontCamera" : "BackCamera"); });

// Killed four seconds into a recording, as a phone's shell kills apps: the next start finishes the
// file, and it plays at least three of those seconds.
TEST_F(VideoProgramTest, AKilledRecordingIsFinishedAtTheNextStart)
{
    {
        LiveLumivue app({ "--album", album(), "--camera", kScene, "--no-audio" });
        ASSERT_TRUE(app.started());
        app.send(QStringLiteral("tap captureModeButton\ntap takePictureButton"));
        ASSERT_TRUE(app.waitForLog(QStringLiteral("Recording started"))) << app.log().toStdString();
        QThread::msleep(4000); // four seconds into the recording
        app.kill();
    }
    ASSERT_TRUE(items(album()).isEmpty());
    LiveLumivue again({ "--album", album(), "--camera", kScene });
    ASSERT_TRUE(again.waitForLog(QStringLiteral("Recovered recording: VID_0001.MP4")))
        << again.log().toStdString();
    ASSERT_TRUE(again.waitForLog(QStringLiteral("taking thumbnail OK"))) << again.log().toStdString();
    EXPECT_EQ(again.quit(), 0);
    const video_test::Discovered found = video_test::discover(QDir(album()).filePath("VID_0001.MP4"));
    ASSERT_FALSE(found.streams.isEmpty()) << "does not play";
    // Three whole one-second fragments at least (the fourth was being written), to the millisecond.
    EXPECT_GE(found.seconds, 2.999);
    EXPECT_GE(video_test::decode(QDir(album()).filePath("VID_0001.MP4")).endSeconds, 2.999);
    EXPECT_EQ(QDir(album()).entryList(QDir::Hidden | QDir::Files).filter(".part").size(), 0);
}

// A full disk stops the recording: the user is told, and what was written plays.
TEST_F(VideoProgramTest, ADiskFullStopsTheRecordingAndKeepsWhatWasWritten)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting a small tmpfs needs root (CI runs as root)";
    const QString small = m_dir.filePath(QStringLiteral("small"));
    ASSERT_TRUE(QDir().mkpath(small));
    ASSERT_EQ(mount("tmpfs", small.toUtf8().constData(), "tmpfs", 0, "size=400k"), 0);
    struct Unmount {
        QString path;
        ~Unmount() { umount2(path.toUtf8().constData(), MNT_DETACH); }
    } unmount { small };

    LiveLumivue app({ "--album", small, "--camera", kScene, "--no-audio", "--sensor-noise", "6" });
    ASSERT_TRUE(app.started());
    app.send(QStringLiteral("tap captureModeButton\ntap takePictureButton"));
    ASSERT_TRUE(app.waitForLog(QStringLiteral("The storage is full"))) << app.log().toStdString();
    ASSERT_TRUE(app.waitForLog(QStringLiteral("Video saved"))) << app.log().toStdString();
    EXPECT_EQ(app.quit(), 0);
    const QStringList stored = items(small);
    ASSERT_EQ(stored.size(), 1) << app.log().toStdString();
    const video_test::Discovered found = video_test::discover(QDir(small).filePath(stored.front()));
    ASSERT_FALSE(found.streams.isEmpty()) << "does not play";
    EXPECT_GT(video_test::decode(QDir(small).filePath(stored.front())).frames, 0);
}

// With a microphone in the session (a test tone served into the run's PipeWire), videos have sound.
TEST_F(VideoProgramTest, AMicrophoneGivesTheVideoASoundTrack)
{
    QString runtime = qEnvironmentVariable("PIPEWIRE_RUNTIME_DIR", qEnvironmentVariable("XDG_RUNTIME_DIR"));
    if (runtime.isEmpty() || !QFileInfo::exists(runtime + QStringLiteral("/pipewire-0")))
        GTEST_SKIP()
            << "no PipeWire daemon: run the tests through scripts/with-pipewire.sh, as make test does";
    QProcess microphone;
    microphone.start(QStringLiteral("gst-launch-1.0"),
        { "-q", "audiotestsrc", "is-live=true", "wave=sine", "!", "audio/x-raw,rate=48000,channels=1", "!",
            "pipewiresink", "mode=provide",
            "stream-properties=p,media.class=Audio/Source,node.description=TestMicrophone" });
    ASSERT_TRUE(microphone.waitForStarted());
    QThread::msleep(500); // the node is announced to the session

    LiveLumivue app({ "--album", album(), "--camera", kScene });
    ASSERT_TRUE(app.started());
    record(app, 2);
    ASSERT_TRUE(app.waitForLog(QStringLiteral("Video saved"))) << app.log().toStdString();
    EXPECT_EQ(app.quit(), 0);
    microphone.kill();
    microphone.waitForFinished();
    const video_test::Discovered found = video_test::discover(QDir(album()).filePath("VID_0001.MP4"));
    ASSERT_FALSE(found.streams.isEmpty()) << "does not play";
    EXPECT_EQ(found.streams, "video/quicktime video/x-h264 audio/mpeg") << app.log().toStdString();
}

} // namespace
