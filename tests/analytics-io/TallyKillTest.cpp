#include <random>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include "TestHttpServer.h"
#include "analytics/TallySessionArchive.h"
#include "platform/system/AtomicFileWriter.h"
#include "platform/system/KeyedArchive.h"
#include "support/AnalyticsFixture.h"
#include "support/Emulation.h"

namespace {

using analytics::TallyAPI;
using testing_support::ScriptedAnswer;
using testing_support::TestHttpServer;

constexpr int kKills = 40;
const QString kKey = QStringLiteral("KILLTEST");

struct ChildEnd {
    QList<qint64> started; // session start times the child printed
    QList<QByteArray> lines;
    bool killed { false }; // died by a signal (the fault point's SIGKILL)
};

// Runs the child to its end: a fault point's kill, its own exit, or (with killAfterLines) the
// test's SIGKILL once that many lines have come.
ChildEnd runChild(
    const QString& dataDir, const QStringList& mode, const QByteArray& faultPoint, int killAfterLines = -1)
{
    ChildEnd end;
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!faultPoint.isEmpty())
        environment.insert(QStringLiteral("LUMIVUE_FAULT_POINT"), QString::fromLatin1(faultPoint));
    child.setProcessEnvironment(environment);
    child.start(QStringLiteral(LUMIVUE_BINARY_DIR "/bin/analytics_io_child"), QStringList { dataDir } + mode);
    if (!child.waitForStarted(10000))
        return end;
    QByteArray pending;
    auto consume = [&] {
        pending += child.readAllStandardOutput();
        qsizetype newline;
        while ((newline = pending.indexOf('\n')) >= 0) {
            const QByteArray line = pending.left(newline);
            pending.remove(0, newline + 1);
            end.lines << line;
            if (line.startsWith("started "))
                end.started << line.mid(8).toLongLong();
        }
    };
    QElapsedTimer clock;
    clock.start();
    while (child.state() == QProcess::Running && (killAfterLines < 0 || end.lines.size() < killAfterLines)
        && clock.elapsed() < 30000) {
        child.waitForReadyRead(100);
        consume();
    }
    if (child.state() == QProcess::Running)
        child.kill();
    child.waitForFinished(10000);
    consume();
    end.killed = child.exitStatus() == QProcess::CrashExit;
    return end;
}

// The child the tests kill is one of our programs.
class ChildProcessFixture : public testing_support::AnalyticsFixture {
protected:
    void SetUp() override
    {
        LUMIVUE_SKIP_WHEN_EMULATED();
        AnalyticsFixture::SetUp();
    }
};

class TallyKillTest : public ChildProcessFixture { };

// Each run is killed once it has said it started and logged a random number of events; after
// each kill the current-session file must hold every event whose logEvent had returned.
TEST_F(TallyKillTest, AKilledProcessLeavesADecodableSessionWithEveryReturnedEvent)
{
    std::mt19937 random(20120601u);
    m_store->setApiKey(kKey); // only for its path rule; this process writes nothing yet
    const QString currentPath = m_store->currentSessionFilePath();
    QList<int> lastReturned; // per run, the number of the last event whose logEvent had returned
    for (int kill = 0; kill < kKills; ++kill) {
        const ChildEnd run = runChild(m_data.path(), {}, {}, 1 + int(random() % 25));
        ASSERT_FALSE(run.started.isEmpty()) << "run " << kill;
        lastReturned << (run.lines.size() > 1 ? run.lines.last().toInt() : -1);
        // The newest complete version: the file, or the previous version when the kill fell
        // between moving one aside and renaming the new one into place.
        const auto bytes = platform::AtomicFileWriter::readLatest(currentPath,
            [](const QByteArray& b) { return platform::KeyedArchive::unarchive(b).has_value(); });
        ASSERT_TRUE(bytes) << "run " << kill;
        const auto state = analytics::TallySessionArchive::sessionFromFile(*bytes);
        ASSERT_TRUE(state) << "run " << kill;
        // In order, and one more event may have been written just before the kill.
        const qsizetype events = state->eventLog.size();
        ASSERT_GE(events, lastReturned.last() + 1) << "run " << kill;
        ASSERT_LE(events, lastReturned.last() + 2) << "run " << kill;
        for (qsizetype i = 0; i < events; ++i)
            ASSERT_EQ(state->eventLog[i].parameters()->value(QStringLiteral("i")).toInt(), i)
                << "run " << kill;
    }
    // Interrupted writes leave no litter behind for long: each start clears it.
    EXPECT_LE(
        QDir(m_data.path()).entryList({ QStringLiteral("*.tmp-*") }, QDir::Files | QDir::Hidden).size(), 1);

    // The next start saves the last run's session as crashed; the saved records are the runs'
    // sessions, oldest first, each with every event that had returned.
    TallyAPI::resetForTesting();
    installStore();
    TallyAPI::startSession(kKey);
    TallyAPI::waitForUploads();
    const auto saved = m_store->savedSessions();
    ASSERT_EQ(saved.size(), kKills);
    for (qsizetype i = 0; i < saved.size(); ++i) {
        const auto record = analytics::TallyReportDecoder::decodeSessionRecord(saved[i]);
        ASSERT_TRUE(record.ok()) << record.error.toStdString();
        const auto events = record.json.value(QLatin1String("events")).toArray().size();
        EXPECT_GE(events, lastReturned[i] + 1) << "saved record " << i;
        EXPECT_LE(events, lastReturned[i] + 2) << "saved record " << i;
    }
}

// A kill in the middle of a hand-over between the current-session file and the saved list.
struct HandOverKill {
    const char* name;
    bool killedSessionFirst; // a first child is killed while logging, leaving its session behind
    QStringList mode; // the second child's mode ("upload" gets the server's URL appended)
    const char* faultPoint; // where the second child dies
    bool firstDelivered; // the first session reached the server before the kill
};

class TallyHandOverKillTest : public ChildProcessFixture,
                              public ::testing::WithParamInterface<HandOverKill> { };

TEST_P(TallyHandOverKillTest, LeavesEverySessionSavedExactlyOnce)
{
    const HandOverKill& row = GetParam();
    TestHttpServer server;
    server.setDefaultAnswer(ScriptedAnswer::status(200));
    const QString dataDir = m_data.path();
    QList<qint64> sessions; // every session a child created, oldest first
    if (row.killedSessionFirst) {
        const ChildEnd first = runChild(dataDir, {}, {}, 5);
        ASSERT_EQ(first.started.size(), 1);
        sessions << first.started;
    }
    QStringList mode = row.mode;
    if (mode.value(0) == QLatin1String("upload"))
        mode << server.url().toString();
    const ChildEnd second = runChild(dataDir, mode, row.faultPoint);
    ASSERT_TRUE(second.killed) << "not stopped at " << row.faultPoint << ": "
                               << second.lines.join(' ').toStdString();
    sessions << second.started;

    // The next start finishes whatever the kill interrupted.
    TallyAPI::resetForTesting();
    analytics::TallyPaths::setDataDirectory(dataDir);
    installStore();
    analytics::TallyUploader::setInstance(nullptr); // nothing more is sent
    TallyAPI::startSession(kKey);
    TallyAPI::waitForUploads();

    QList<qint64> saved;
    for (const QByteArray& record : m_store->savedSessions()) {
        const auto decoded = analytics::TallyReportDecoder::decodeSessionRecord(record);
        ASSERT_TRUE(decoded.ok()) << decoded.error.toStdString();
        saved << qint64(decoded.json.value(QLatin1String("startTime")).toDouble());
    }
    QList<qint64> expected = sessions;
    if (row.firstDelivered)
        expected.removeFirst();
    EXPECT_EQ(saved, expected);
}

INSTANTIATE_TEST_SUITE_P(Windows, TallyHandOverKillTest,
    ::testing::Values(
        // Start-up recovery: the crashed session is saved, its file not yet removed.
        HandOverKill {
            "RecoveryAfterTheAdd", true, { QStringLiteral("end") }, "store-recovery-added", false },
        // The end of a session: marked as handed over and saved, the file not yet removed.
        HandOverKill { "EndAfterTheAdd", false, { QStringLiteral("end") }, "store-handover-added", false },
        // A successful upload: what it sent is gone from the saved list, not sent again.
        HandOverKill {
            "UploadAfterTheRemoval", true, { QStringLiteral("upload") }, "store-sent-removed", true }),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
