// Recordings decoded back as a player reads them: container, codec, size, frame rate, duration,
// metadata, the picture upright after the recorder's turn, and the sound of a virtual microphone
// served into the PipeWire of the run.

#include <array>
#include <string>

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include "platform/core/Log.h"
#include "platform/video/Microphone.h"
#include "video/VideoProbe.h"

using platform::VideoEncoding;
using platform::VideoRecorder;

namespace {

enum class Sound { NotAsked, Microphone, NoMicrophone, MicrophoneGone };

struct Recording {
    const char* name;
    const char* encoder;
    QSize frame;
    int rotation; // clockwise, to make the frame upright
    Sound sound;
    std::string streams; // as the discoverer names them: container, picture, sound
    const char* quarters; // of a decoded picture: the pattern turned `rotation` clockwise
};

bool microphonePresent()
{
    GstElement* source = platform::Microphone::makeDefaultSource();
    if (source)
        gst_object_unref(gst_object_ref_sink(source));
    return source != nullptr;
}

class RecordedFile : public testing::TestWithParam<Recording> { };

TEST_P(RecordedFile, DecodesToWhatWasRecorded)
{
    const Recording& row = GetParam();
    auto encoding = VideoEncoding::forEncoder(QLatin1String(row.encoder));
    if (!encoding)
        GTEST_SKIP() << encoding.error().toStdString();
    QProcess microphone; // a tone served as the Audio/Source "TestMic"
    if (row.sound == Sound::Microphone || row.sound == Sound::MicrophoneGone) {
        const QString runtime = qEnvironmentVariable("PIPEWIRE_RUNTIME_DIR");
        if (runtime.isEmpty() || !QFileInfo::exists(runtime + QStringLiteral("/pipewire-0")))
            GTEST_SKIP() << "no private PipeWire for a virtual microphone: run the tests through "
                            "scripts/with-pipewire.sh, as make test does";
        microphone.start(QStringLiteral("gst-launch-1.0"),
            QStringList { "-q", "audiotestsrc", "is-live=true", "!", "pipewiresink", "mode=provide",
                "stream-properties=p,media.class=Audio/Source,node.description=TestMic" });
        microphone.waitForStarted();
        for (int wait = 0; wait < 100 && !microphonePresent(); ++wait)
            QThread::msleep(100);
    }
    if (row.sound == Sound::NoMicrophone && microphonePresent())
        GTEST_SKIP() << "a microphone is connected here";
    ASSERT_EQ(microphonePresent(), microphone.state() == QProcess::Running)
        << "the virtual microphone never appeared";
    QStringList log;
    platform::setLogSink([&](const QString& line) { log << line; });
    QTemporaryDir folder;
    VideoRecorder::Settings settings;
    settings.path = folder.filePath(QStringLiteral("clip.") + encoding->extension().toLower());
    settings.frameSize = row.frame;
    settings.rotation = row.rotation;
    settings.withSound = row.sound != Sound::NotAsked;
    settings.encoding = *encoding;
    settings.creationTime = QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7), Qt::UTC);
    settings.position = VideoRecorder::Position { 52.5163, 13.3777, 34.0 };
    auto recorder = VideoRecorder::start(settings);
    ASSERT_TRUE(recorder) << recorder.error().toStdString();
    // A microphone gone after a second: the rest of the recording is silence, not lost.
    const int frames = row.sound == Sound::MicrophoneGone ? 90 : 45;
    video_test::feed(**recorder, frames, 30, [&](int n) {
        if (n == 30 && row.sound == Sound::MicrophoneGone)
            microphone.kill();
        return true;
    });
    const VideoRecorder::Result result = (*recorder)->stop();
    platform::setLogSink({});
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(result.frames + result.dropped, unsigned(frames));
    EXPECT_LE(result.dropped, 3u) << "pictures held back by the encoder or the sound";
    EXPECT_EQ((*recorder)->stop().fileSize, result.fileSize) << "a second stop gives the first result";
    EXPECT_EQ(result.hasSound, row.streams.find("audio") != std::string::npos);
    EXPECT_EQ(log.contains(QStringLiteral("No microphone: recording without sound")),
        row.sound == Sound::NoMicrophone);

    const video_test::Discovered found = video_test::discover(settings.path);
    EXPECT_EQ(found.streams.toStdString(), row.streams);
    EXPECT_EQ(found.size, VideoRecorder::outputSizeFor(row.frame, row.rotation)); // turned, fitted: below
    // MP4 keeps the frames' times, not a rate: a feed held up on a busy machine leaves a gap.
    EXPECT_NEAR(found.framesPerSecond, 30, 1.5);
    EXPECT_NEAR(found.seconds, result.duration.count() / 1000.0, 1 / 30.0 + (result.hasSound ? 0.05 : 0));
    EXPECT_EQ(found.date, settings.creationTime.date());
    if (encoding->container == VideoEncoding::Container::Mp4) { // WebM has no place for it
        EXPECT_NEAR(found.latitude, 52.5163, 1e-4);
        EXPECT_NEAR(found.longitude, 13.3777, 1e-4);
    }
    const video_test::Decoded decoded = video_test::decode(settings.path, 20);
    EXPECT_EQ(decoded.frames, int(result.frames));
    EXPECT_EQ(video_test::quarters(decoded.picture), row.quarters);
}

const std::string mp4 = "video/quicktime video/x-h264", webm = "video/webm video/x-vp8";
INSTANTIATE_TEST_SUITE_P(Encoders, RecordedFile,
    testing::Values(Recording { "H264", "x264enc", { 640, 480 }, 0, Sound::NotAsked, mp4, "RGBW" },
        Recording { "H264TurnedRight", "x264enc", { 480, 640 }, 90, Sound::NoMicrophone, mp4, "BRWG" },
        Recording { "OpenH264TurnedLeft", "openh264enc", { 640, 480 }, 270, Sound::NotAsked, mp4, "GWRB" },
        Recording { "Vp8UpsideDown", "vp8enc", { 640, 360 }, 180, Sound::NotAsked, webm, "WBGR" },
        Recording {
            "H264WithAac", "x264enc", { 320, 240 }, 0, Sound::Microphone, mp4 + " audio/mpeg", "RGBW" },
        Recording {
            "Vp8WithOpus", "vp8enc", { 320, 240 }, 0, Sound::Microphone, webm + " audio/x-opus", "RGBW" },
        Recording { "MicrophoneGone", "x264enc", { 320, 240 }, 0, Sound::MicrophoneGone, mp4 + " audio/mpeg",
            "RGBW" },
        Recording { "MicrophoneGoneInWebM", "vp8enc", { 320, 240 }, 0, Sound::MicrophoneGone,
            webm + " audio/x-opus", "RGBW" }),
    [](const testing::TestParamInfo<Recording>& row) { return std::string(row.param.name); });

TEST(VideoRecorderSize, FitsFullHdUprightWithEvenSides)
{
    // frame width, height, rotation → recorded width, height
    for (const auto& [w, h, turn, recordedW, recordedH] :
        { std::array { 1280, 720, 90, 720, 1280 }, { 2592, 1944, 0, 1440, 1080 },
            { 2592, 1944, 270, 1080, 1440 }, { 3840, 2160, 180, 1920, 1080 }, { 641, 479, 0, 640, 478 } })
        EXPECT_EQ(VideoRecorder::outputSizeFor({ w, h }, turn), QSize(recordedW, recordedH))
            << w << " turned " << turn;
}

} // namespace
