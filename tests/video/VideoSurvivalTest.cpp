// What a recording leaves when it cannot end as planned: a recording process killed, its leftover
// finished by VideoRepair (and files too broken to finish refused). A full disk is the program
// test's (tests/app-video).

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "platform/video/VideoRepair.h"
#include "support/TestTimeScale.h"
#include "video/VideoProbe.h"

using platform::VideoRepair;

namespace {

const QString childProgram = QStringLiteral(LUMIVUE_BINARY_DIR "/bin/video_record_child");

// Runs `program` until it prints a line starting with `until`, then kills it (SIGKILL: nothing of
// the recorder runs after that). The last line it printed.
QString runUntil(const QString& program, const QStringList& arguments, const QString& until,
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(program, arguments);
    QString line;
    QDeadlineTimer limit(test_support::scaledLimitMs(60000));
    while (!line.startsWith(until) && !limit.hasExpired()
        && (child.canReadLine() || child.waitForReadyRead(1000) || child.state() == QProcess::Running))
        if (child.canReadLine())
            line = QString::fromUtf8(child.readLine()).trimmed();
    child.kill();
    child.waitForFinished();
    EXPECT_TRUE(line.startsWith(until)) << line.toStdString() << child.readAllStandardError().toStdString();
    return line;
}

class KilledRecording : public testing::TestWithParam<const char*> { };

TEST_P(KilledRecording, LeavesAPlayableFileThatRepairFinishes)
{
    const auto encoding = platform::VideoEncoding::forEncoder(QLatin1String(GetParam()));
    if (!encoding)
        GTEST_SKIP() << encoding.error().toStdString();
    QTemporaryDir folder;
    const QString extension = encoding.value().extension().toLower();
    const QString leftover = folder.filePath(QStringLiteral("clip.") + extension);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LUMIVUE_VIDEO_ENCODER"), QLatin1String(GetParam()));
    // 2.5 s in: two whole fragments behind, the third being written. The still pattern makes a few
    // kilobytes a second, less than a write buffer holds: a buffered file would be empty.
    ASSERT_EQ(runUntil(childProgram, { leftover }, QStringLiteral("frames 75"), environment), "frames 75");

    const video_test::Decoded left = video_test::decode(leftover);
    // Lost: the fragment being written, and what waited for the encoder.
    EXPECT_GE(left.frames, 75 - 30 - 6) << "more than one fragment lost";
    EXPECT_EQ(video_test::quarters(video_test::decode(leftover, left.frames - 1).picture), "RGBW");

    const QString finished = folder.filePath(QStringLiteral("finished.") + extension);
    const VideoRepair::Result repaired = VideoRepair::finish(leftover, finished);
    ASSERT_TRUE(repaired.ok) << repaired.error.toStdString();
    const video_test::Discovered found = video_test::discover(finished);
    EXPECT_NEAR(found.seconds, left.endSeconds, 1 / 30.0 + 1e-3) << "the duration of what was kept";
    EXPECT_EQ(video_test::decode(finished).frames, left.frames);

    // What is no recording, or too little of one, is refused at once, leaving nothing behind.
    QFile file(leftover);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray recording = file.readAll();
    QByteArray noise(4096, '\0');
    QRandomGenerator generator(7);
    for (char& byte : noise)
        byte = char(generator.bounded(256));
    for (const QByteArray& bytes : { QByteArray(), noise, recording.left(32) + noise, recording.left(300) }) {
        QFile broken(folder.filePath(QStringLiteral("broken")));
        ASSERT_TRUE(
            broken.open(QIODevice::WriteOnly) && broken.write(bytes) == bytes.size() && broken.flush());
        const QString refused = folder.filePath(QStringLiteral("refused"));
        for (int attempt = 0; attempt < 5; ++attempt) { // a demuxer's error can race its set-up
            QElapsedTimer took;
            took.start();
            const VideoRepair::Result result
                = VideoRepair::finish(broken.fileName(), refused, std::chrono::seconds(5));
            EXPECT_LT(took.elapsed(), 4000) << "refused at once, not at the time limit";
            EXPECT_FALSE(result.ok || result.error.isEmpty() || QFile::exists(refused))
                << bytes.left(8).toHex().toStdString();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Containers, KilledRecording, testing::Values("x264enc", "vp8enc"),
    [](const testing::TestParamInfo<const char*>& row) { return std::string(row.param); });

} // namespace
