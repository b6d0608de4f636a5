// What a recording leaves when it cannot end as planned: a recording process killed, a disk that
// fills up, a leftover finished by VideoRepair, and leftovers too broken to finish.

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "platform/video/VideoRepair.h"
#include "support/TestTimeScale.h"
#include "video/VideoPattern.h"
#include "video/VideoProbe.h"

using platform::VideoRepair;

namespace {

// Runs `program` until it prints a line starting with `until` (then kills it) or ends by itself;
// the number after "frames " in the last such line, and every line.
struct ChildRun {
    int frames { 0 };
    QStringList lines;
};

ChildRun runChild(const QString& program, const QStringList& arguments, const QString& until,
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    ChildRun run;
    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(program, arguments);
    EXPECT_TRUE(child.waitForStarted(10000));
    QByteArray pending;
    QDeadlineTimer limit(test_support::scaledLimitMs(60000));
    while (!limit.hasExpired() && (child.state() == QProcess::Running || child.bytesAvailable())) {
        child.waitForReadyRead(100);
        pending += child.readAllStandardOutput();
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(pending.left(end));
            pending.remove(0, end + 1);
            run.lines << line;
            if (line.startsWith(QLatin1String("frames ")))
                run.frames = line.mid(7).toInt();
            if (line.startsWith(until)) {
                child.kill(); // SIGKILL: nothing of the recorder runs after this
                child.waitForFinished(10000);
                return run;
            }
        }
    }
    child.kill();
    child.waitForFinished(10000);
    ADD_FAILURE() << "the child never printed \"" << until.toStdString()
                  << "\": " << run.lines.mid(run.lines.size() - 3).join(u'|').toStdString()
                  << QString::fromUtf8(child.readAllStandardError()).toStdString();
    return run;
}

const QString childProgram = QStringLiteral(LUMIVUE_BINARY_DIR "/bin/video_record_child");

struct Container {
    const char* name;
    const char* encoder;
    const char* extension;
};

class KilledRecording : public testing::TestWithParam<Container> { };

TEST_P(KilledRecording, LeavesAPlayableFileThatRepairFinishes)
{
    const Container& row = GetParam();
    if (auto encoding = platform::VideoEncoding::forEncoder(QLatin1String(row.encoder)); !encoding)
        GTEST_SKIP() << encoding.error().toStdString();
    QTemporaryDir folder;
    const QString leftover = folder.filePath(QStringLiteral("clip.") + QLatin1String(row.extension));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LUMIVUE_VIDEO_ENCODER"), QLatin1String(row.encoder));
    // 2.5 s in: two whole fragments behind, the third being written.
    const ChildRun run = runChild(childProgram, { leftover }, QStringLiteral("frames 75"), environment);
    ASSERT_EQ(run.frames, 75);

    const video_test::Decoded left = video_test::decode(leftover);
    // Lost: the fragment being written, and what waited for the encoder.
    EXPECT_GE(left.frames, run.frames - 30 - 6) << "more than one fragment lost";
    EXPECT_LE(left.frames, run.frames);
    EXPECT_EQ(video_test::quarters(video_test::decode(leftover, left.frames - 1).picture), "RGBW");

    const QString finished = folder.filePath(QStringLiteral("finished.") + QLatin1String(row.extension));
    const VideoRepair::Result repaired = VideoRepair::finish(leftover, finished);
    ASSERT_TRUE(repaired.ok) << repaired.error.toStdString();
    const video_test::Discovered found = video_test::discover(finished);
    ASSERT_TRUE(found.ok) << found.error.toStdString();
    EXPECT_TRUE(found.seekable);
    EXPECT_NEAR(found.seconds, left.endSeconds, 1 / 30.0 + 1e-3)
        << "the finished file's duration is what was kept";
    EXPECT_EQ(video_test::decode(finished).frames, left.frames);
}

INSTANTIATE_TEST_SUITE_P(Containers, KilledRecording,
    testing::Values(Container { "Mp4", "x264enc", "mp4" }, Container { "WebM", "vp8enc", "webm" }),
    [](const testing::TestParamInfo<Container>& row) { return std::string(row.param.name); });

TEST(VideoRepair, FailsCleanlyOnWhatIsNoRecording)
{
    QTemporaryDir folder;
    // A real beginning to spoil: a few frames recorded here.
    const QString real = folder.filePath(QStringLiteral("real.mp4"));
    {
        platform::VideoRecorder::Settings settings;
        settings.path = real;
        settings.frameSize = { 320, 240 };
        auto recorder = platform::VideoRecorder::start(settings);
        ASSERT_TRUE(recorder) << recorder.error().toStdString();
        video_test::feed(**recorder, 10, 30, [](int) { return true; });
        ASSERT_TRUE((*recorder)->stop().ok);
    }
    QFile file(real);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray recording = file.readAll();
    QByteArray noise(4096, '\0');
    QRandomGenerator generator(7);
    for (char& byte : noise)
        byte = char(generator.bounded(256));

    const std::pair<const char*, QByteArray> broken[]
        = { { "empty", {} }, { "noise", noise }, { "mp4 header then noise", recording.left(32) + noise },
              { "webm header then noise", QByteArray::fromHex("1a45dfa3") + noise },
              { "first bytes of a recording", recording.left(300) } };
    for (const auto& [what, bytes] : broken) {
        const QString path = folder.filePath(QStringLiteral("broken"));
        QFile write(path);
        ASSERT_TRUE(write.open(QIODevice::WriteOnly | QIODevice::Truncate));
        write.write(bytes);
        write.close();
        const QString finished = folder.filePath(QStringLiteral("finished"));
        QElapsedTimer took;
        took.start();
        const VideoRepair::Result result = VideoRepair::finish(path, finished, std::chrono::seconds(20));
        EXPECT_LT(took.elapsed(), 10000) << what << ": refused at once, not at the time limit";
        EXPECT_FALSE(result.ok) << what;
        EXPECT_FALSE(result.error.isEmpty()) << what;
        EXPECT_FALSE(QFileInfo::exists(finished)) << what << ": a failed copy is not left behind";
    }
}

TEST(FullDisk, StopsTheRecordingAndKeepsWhatWasWritten)
{
    if (QStandardPaths::findExecutable(QStringLiteral("unshare")).isEmpty())
        GTEST_SKIP() << "unshare (util-linux) is not installed";
    QTemporaryDir folder;
    const QString small = folder.filePath(QStringLiteral("small"));
    const QString copy = folder.filePath(QStringLiteral("kept.mp4"));
    ASSERT_TRUE(QDir().mkpath(small));
    // A 300 kB file system only the child sees: full after a few seconds of the pattern.
    const QString script
        = QStringLiteral("mount -t tmpfs -o size=300k none '%1' || exit 3; exec '%2' '%1/clip.mp4' '%3'")
              .arg(small, childProgram, copy);
    const ChildRun run = runChild(QStringLiteral("unshare"),
        { QStringLiteral("-rm"), QStringLiteral("sh"), QStringLiteral("-c"), script },
        QStringLiteral("failed "));
    ASSERT_FALSE(run.lines.isEmpty());
    EXPECT_TRUE(run.lines.last().startsWith(QLatin1String("failed 1 "))) << run.lines.last().toStdString();
    const video_test::Decoded kept = video_test::decode(copy);
    EXPECT_GT(kept.frames, 30) << "what fitted on the disk plays";
}

} // namespace
