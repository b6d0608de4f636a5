// Sound in recordings: the default microphone (a virtual one served into the PipeWire of the run)
// becomes the file's sound track; without one the file has none and the log says so; a microphone
// that goes away mid-way ends the sound, not the picture.

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include "platform/core/Log.h"
#include "platform/video/Microphone.h"
#include "video/VideoPattern.h"
#include "video/VideoProbe.h"

using platform::VideoRecorder;

namespace {

// Why a virtual microphone cannot be served here; empty when it can.
QString pipewireMissing()
{
    if (const QString reason = qEnvironmentVariable("LUMIVUE_PIPEWIRE_UNAVAILABLE"); !reason.isEmpty())
        return reason;
    const QString runtime = qEnvironmentVariable("PIPEWIRE_RUNTIME_DIR");
    if (runtime.isEmpty() || !QFileInfo::exists(runtime + QStringLiteral("/pipewire-0")))
        return QStringLiteral(
            "no private PipeWire: run the tests through scripts/with-pipewire.sh, as make test does");
    if (QStandardPaths::findExecutable(QStringLiteral("gst-launch-1.0")).isEmpty())
        return QStringLiteral("gst-launch-1.0 is not installed");
    return {};
}

bool microphonePresent()
{
    GstElement* source = platform::Microphone::makeDefaultSource();
    if (source)
        gst_object_unref(gst_object_ref_sink(source));
    return source != nullptr;
}

// A tone served as the Audio/Source "TestMic" until destroyed or stopped.
class VirtualMicrophone {
public:
    VirtualMicrophone()
    {
        m_process.start(QStringLiteral("gst-launch-1.0"),
            { QStringLiteral("-q"), QStringLiteral("audiotestsrc"), QStringLiteral("is-live=true"),
                QStringLiteral("!"), QStringLiteral("pipewiresink"), QStringLiteral("mode=provide"),
                QStringLiteral("stream-properties=p,media.class=Audio/Source,node.description=TestMic") });
        m_process.waitForStarted();
    }
    ~VirtualMicrophone() { stop(); }
    void stop()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    // Whether the node came up within the limit.
    static bool waitUntilPresent()
    {
        for (int attempt = 0; attempt < 100; ++attempt, QThread::msleep(100))
            if (microphonePresent())
                return true;
        return false;
    }

private:
    QProcess m_process;
};

struct SoundCase {
    const char* name;
    const char* encoder;
    bool microphone; // a virtual microphone is served
    int stopMicrophoneAfter; // frames; 0: never
    int frames; // recorded at 30 a second
    const char* audioCodec; // expected; "" for none
};

class RecordedSound : public testing::TestWithParam<SoundCase> { };

TEST_P(RecordedSound, FollowsTheMicrophone)
{
    const SoundCase& row = GetParam();
    if (const QString missing = pipewireMissing(); !missing.isEmpty())
        GTEST_SKIP() << "virtual microphones cannot be served here: " << missing.toStdString();
    auto encoding = platform::VideoEncoding::forEncoder(QLatin1String(row.encoder));
    if (!encoding)
        GTEST_SKIP() << encoding.error().toStdString();
    std::optional<VirtualMicrophone> microphone;
    if (row.microphone) {
        microphone.emplace();
        ASSERT_TRUE(VirtualMicrophone::waitUntilPresent()) << "the virtual microphone never appeared";
    } else {
        ASSERT_FALSE(microphonePresent()) << "a microphone is already there";
    }
    QStringList log;
    platform::setLogSink([&](const QString& line) { log << line; });
    QTemporaryDir folder;
    VideoRecorder::Settings settings;
    settings.path = folder.filePath(QStringLiteral("clip.") + encoding->extension().toLower());
    settings.frameSize = { 320, 240 };
    settings.withSound = true;
    settings.encoding = *encoding;
    auto recorder = VideoRecorder::start(settings);
    ASSERT_TRUE(recorder) << recorder.error().toStdString();
    video_test::feed(**recorder, row.frames, 30, [&](int n) {
        if (n + 1 == row.stopMicrophoneAfter)
            microphone->stop();
        return true;
    });
    const VideoRecorder::Result result = (*recorder)->stop();
    platform::setLogSink({});
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(result.hasSound, row.microphone);
    EXPECT_LE(result.dropped, 3u) << "pictures held back waiting for sound";
    EXPECT_EQ(log.contains(QStringLiteral("No microphone: recording without sound")), !row.microphone)
        << log.join(u'\n').toStdString();

    const video_test::Discovered found = video_test::discover(settings.path);
    ASSERT_TRUE(found.ok) << found.error.toStdString();
    EXPECT_EQ(found.audioCodec, QLatin1String(row.audioCodec));
    EXPECT_EQ(video_test::decode(settings.path).frames, int(result.frames)) << "every frame kept";
    EXPECT_NEAR(found.seconds, result.duration.count() / 1000.0, 0.1);
}

INSTANTIATE_TEST_SUITE_P(Microphones, RecordedSound,
    testing::Values(SoundCase { "AacInMp4", "x264enc", true, 0, 60, "audio/mpeg" },
        SoundCase { "OpusInWebM", "vp8enc", true, 0, 60, "audio/x-opus" },
        SoundCase { "NoMicrophone", "x264enc", false, 0, 60, "" },
        // Silent for longer than the recorder waits for sound before ending it.
        SoundCase { "MicrophoneGoneMidway", "x264enc", true, 30, 120, "audio/mpeg" },
        SoundCase { "MicrophoneGoneMidwayInWebM", "vp8enc", true, 30, 120, "audio/x-opus" }),
    [](const testing::TestParamInfo<SoundCase>& row) { return std::string(row.param.name); });

} // namespace
