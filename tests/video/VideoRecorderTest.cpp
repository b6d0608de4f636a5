// Recordings decoded back as a player reads them: the container, codec, size, frame rate and
// duration the discoverer finds, and the picture upright after the recorder's turn.

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "video/VideoPattern.h"
#include "video/VideoProbe.h"

using platform::VideoEncoding;
using platform::VideoRecorder;

namespace {

struct Recording {
    const char* name;
    const char* encoder;
    QSize frame;
    int rotation; // clockwise, to make the frame upright
    const char* container;
    const char* codec;
    QSize recorded;
    const char* quarters; // of a decoded picture: the pattern turned `rotation` clockwise
};

class RecordedFile : public testing::TestWithParam<Recording> { };

TEST_P(RecordedFile, DecodesToWhatWasRecorded)
{
    const Recording& row = GetParam();
    auto encoding = VideoEncoding::forEncoder(QLatin1String(row.encoder));
    if (!encoding)
        GTEST_SKIP() << encoding.error().toStdString();
    QTemporaryDir folder;
    VideoRecorder::Settings settings;
    settings.path = folder.filePath(QStringLiteral("clip.") + encoding->extension().toLower());
    settings.frameSize = row.frame;
    settings.rotation = row.rotation;
    settings.encoding = *encoding;
    settings.creationTime = QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7), Qt::UTC);
    settings.position = VideoRecorder::Position { 52.5163, 13.3777, 34.0 };
    auto recorder = VideoRecorder::start(settings);
    ASSERT_TRUE(recorder) << recorder.error().toStdString();
    video_test::feed(**recorder, 45, 30, [](int) { return true; });
    const VideoRecorder::Result result = (*recorder)->stop();
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(result.frames + result.dropped, 45u);
    EXPECT_GE(result.frames, 40u) << "frames dropped on the way to the encoder";
    EXPECT_GT(result.fileSize, 0);
    EXPECT_EQ((*recorder)->stop().fileSize, result.fileSize) << "a second stop gives the first result";

    const video_test::Discovered found = video_test::discover(settings.path);
    ASSERT_TRUE(found.ok) << found.error.toStdString();
    EXPECT_EQ(found.container, QLatin1String(row.container));
    EXPECT_EQ(found.videoCodec, QLatin1String(row.codec));
    EXPECT_EQ(found.size, row.recorded);
    // MP4 keeps the frames' times, not a rate: a feed held up on a busy machine leaves a gap.
    EXPECT_NEAR(found.framesPerSecond, 30, 1.5);
    EXPECT_NEAR(found.seconds, result.duration.count() / 1000.0, 1 / 30.0);
    EXPECT_TRUE(found.audioCodec.isEmpty());
    EXPECT_EQ(found.date, settings.creationTime.date());
    if (QLatin1String(row.container) == QLatin1String("video/quicktime")) { // WebM has no place for it
        EXPECT_NEAR(found.latitude, 52.5163, 1e-4);
        EXPECT_NEAR(found.longitude, 13.3777, 1e-4);
    }

    const video_test::Decoded decoded = video_test::decode(settings.path, 20);
    EXPECT_EQ(decoded.frames, int(result.frames));
    EXPECT_EQ(video_test::quarters(decoded.picture), row.quarters);
}

INSTANTIATE_TEST_SUITE_P(Encoders, RecordedFile,
    testing::Values(Recording { "H264", "x264enc", { 640, 480 }, 0, "video/quicktime", "video/x-h264",
                        { 640, 480 }, "RGBW" },
        Recording { "H264TurnedRight", "x264enc", { 480, 640 }, 90, "video/quicktime", "video/x-h264",
            { 640, 480 }, "BRWG" },
        Recording { "OpenH264TurnedLeft", "openh264enc", { 640, 480 }, 270, "video/quicktime", "video/x-h264",
            { 480, 640 }, "GWRB" },
        Recording { "Vp8UpsideDown", "vp8enc", { 640, 360 }, 180, "video/webm", "video/x-vp8", { 640, 360 },
            "WBGR" }),
    [](const testing::TestParamInfo<Recording>& row) { return std::string(row.param.name); });

TEST(VideoEncodingChoice, HonoursTheEnvironmentAndNamesUnknownEncoders)
{
    struct Case {
        const char* forced;
        const char* extension; // nullptr: refused
    };
    for (const Case& c :
        { Case { "vp8enc", "WEBM" }, Case { "x264enc", "MP4" }, Case { "ffmpeg", nullptr } }) {
        qputenv("LUMIVUE_VIDEO_ENCODER", c.forced);
        auto chosen = VideoEncoding::choose();
        if (c.extension) {
            ASSERT_TRUE(chosen) << chosen.error().toStdString();
            EXPECT_EQ(chosen->videoEncoder, QLatin1String(c.forced));
            EXPECT_EQ(chosen->extension(), QLatin1String(c.extension));
        } else {
            EXPECT_FALSE(chosen);
            EXPECT_TRUE(chosen.error().contains(QLatin1String(c.forced))) << chosen.error().toStdString();
        }
    }
    qunsetenv("LUMIVUE_VIDEO_ENCODER");
    auto chosen = VideoEncoding::choose();
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->container, VideoEncoding::Container::Mp4) << "an H.264 encoder is installed here";
}

TEST(VideoRecorderStart, RefusesWhatCannotBeRecordedWithAReason)
{
    QTemporaryDir folder;
    VideoRecorder::Settings unwritable;
    unwritable.path = folder.filePath(QStringLiteral("missing/clip.mp4"));
    unwritable.frameSize = { 320, 240 };
    VideoRecorder::Settings empty = unwritable;
    empty.path = folder.filePath(QStringLiteral("clip.mp4"));
    empty.frameSize = { 0, 240 };
    for (const VideoRecorder::Settings& settings : { unwritable, empty }) {
        const auto recorder = VideoRecorder::start(settings);
        EXPECT_FALSE(recorder) << settings.path.toStdString();
        EXPECT_FALSE(recorder.error().isEmpty());
    }
}

TEST(VideoRecorderSize, FitsFullHdUprightWithEvenSides)
{
    struct Case {
        QSize frame;
        int rotation;
        QSize recorded;
    };
    for (const Case& c :
        { Case { { 1280, 720 }, 0, { 1280, 720 } }, Case { { 1280, 720 }, 90, { 720, 1280 } },
            Case { { 2592, 1944 }, 0, { 1440, 1080 } }, Case { { 2592, 1944 }, 270, { 1080, 1440 } },
            Case { { 3840, 2160 }, 180, { 1920, 1080 } }, Case { { 641, 479 }, 0, { 640, 478 } } })
        EXPECT_EQ(VideoRecorder::outputSizeFor(c.frame, c.rotation), c.recorded)
            << c.frame.width() << "x" << c.frame.height() << " turned " << c.rotation;
}

} // namespace
