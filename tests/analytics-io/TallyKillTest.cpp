#include <random>
#include <thread>
#include <vector>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include "AnalyticsFixture.h"
#include "TestHttpServer.h"
#include "analytics/TallySessionArchive.h"
#include "platform/system/AtomicFileWriter.h"
#include "platform/system/KeyedArchive.h"

namespace {

using analytics::TallyAPI;
using testing_support::ScriptedAnswer;
using testing_support::TestHttpServer;

constexpr int kKills = 200;
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

// What one lane of runs saw: per run, the last event that had returned, and the first problem.
struct Lane {
    QString dataDir;
    QList<int> lastReturned;
    QString failure;
};

// Kills `runs` children one after another on the lane's own data folder and checks the
// current-session file after each kill. Runs on a thread of its own; touches only `lane`.
void runLane(Lane& lane, int runs, unsigned seed)
{
    std::mt19937 random(seed);
    analytics::TallyFileSessionStore store; // only for its path rule; this process writes nothing
    store.setApiKey(kKey);
    const QString currentPath
        = QDir(lane.dataDir).filePath(QFileInfo(store.currentSessionFilePath()).fileName());
    for (int kill = 0; kill < runs; ++kill) {
        // Killed once it has said it started and then logged a random number of events.
        const ChildEnd run = runChild(lane.dataDir, {}, {}, 1 + int(random() % 25));
        auto fail
            = [&](const QString& why) { lane.failure = QStringLiteral("run %1: %2").arg(kill).arg(why); };
        if (run.started.isEmpty())
            return fail(QStringLiteral("the child did not start"));
        // The number of the last event whose logEvent had returned.
        const int lastReturned = run.lines.size() > 1 ? run.lines.last().toInt() : -1;
        lane.lastReturned << lastReturned;

        // The newest complete version: the file, or the previous version when the kill fell
        // between moving one aside and renaming the new one into place.
        const auto bytes = platform::AtomicFileWriter::readLatest(currentPath,
            [](const QByteArray& b) { return platform::KeyedArchive::unarchive(b).has_value(); });
        if (!bytes)
            return fail(QStringLiteral("no decodable current-session file"));
        const auto state = analytics::TallySessionArchive::sessionFromFile(*bytes);
        if (!state)
            return fail(QStringLiteral("the current-session file does not decode"));
        // Every event whose logEvent returned is there, in order; one more may have been written
        // just before the kill.
        const qsizetype events = state->eventLog.size();
        if (events < lastReturned + 1 || events > lastReturned + 2)
            return fail(
                QStringLiteral("%1 events after event %2 had returned").arg(events).arg(lastReturned));
        for (qsizetype i = 0; i < events; ++i) {
            if (state->eventLog[i].parameters()->value(QStringLiteral("i")).toInt() != i)
                return fail(QStringLiteral("event %1 out of order").arg(i));
        }
    }
}

class TallyKillTest : public testing_support::AnalyticsFixture { };

TEST_F(TallyKillTest, AKilledProcessLeavesADecodableSessionWithEveryReturnedEvent)
{
    // Four lanes side by side (each with its own folder) keep the 200 kills quick.
    constexpr int kLanes = 4;
    constexpr int kRunsPerLane = kKills / kLanes;
    std::vector<Lane> lanes(kLanes);
    for (int i = 0; i < kLanes; ++i) {
        lanes[i].dataDir = QDir(m_data.path()).filePath(QStringLiteral("lane%1").arg(i));
        ASSERT_TRUE(QDir().mkpath(lanes[i].dataDir));
    }
    {
        std::vector<std::thread> threads;
        threads.reserve(kLanes);
        for (int i = 0; i < kLanes; ++i)
            threads.emplace_back(
                [&lanes, i] { runLane(lanes[size_t(i)], kRunsPerLane, 20120601u + unsigned(i)); });
        for (auto& thread : threads)
            thread.join();
    }

    for (const Lane& lane : lanes) {
        ASSERT_TRUE(lane.failure.isEmpty()) << lane.failure.toStdString();
        ASSERT_EQ(lane.lastReturned.size(), kRunsPerLane);
        // Interrupted writes leave no litter behind for long: each start clears it.
        EXPECT_LE(
            QDir(lane.dataDir).entryList({ QStringLiteral("*.tmp-*") }, QDir::Files | QDir::Hidden).size(),
            1);

        // The next start saves the last run's session as crashed; the saved records are the
        // sessions of the lane's runs, oldest first, each with every event that had returned.
        TallyAPI::resetForTesting();
        analytics::TallyPaths::setDataDirectory(lane.dataDir);
        installStore();
        TallyAPI::startSession(kKey);
        TallyAPI::waitForUploads();
        const auto saved = m_store->savedSessions();
        ASSERT_EQ(saved.size(), kRunsPerLane);
        for (qsizetype i = 0; i < saved.size(); ++i) {
            const auto record = analytics::TallyReportDecoder::decodeSessionRecord(saved[i]);
            ASSERT_TRUE(record.ok()) << record.error.toStdString();
            const int expected = lane.lastReturned[i] + 1;
            const auto events = record.json.value(QLatin1String("events")).toArray().size();
            EXPECT_GE(events, expected) << "saved record " << i;
            EXPECT_LE(events, expected + 1) << "saved record " << i;
        }
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

class TallyHandOverKillTest : public testing_support::AnalyticsFixture,
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
        // The end of a session: its file marked as handed over, then saved, then removed.
        HandOverKill { "EndAfterTheMark", false, { QStringLiteral("end") }, "store-handover-marked", false },
        HandOverKill { "EndAfterTheAdd", false, { QStringLiteral("end") }, "store-handover-added", false },
        // A successful upload removing what it sent from the saved list.
        HandOverKill {
            "UploadBeforeTheRemoval", true, { QStringLiteral("upload") }, "store-sent-removing", false },
        HandOverKill {
            "UploadAfterTheRemoval", true, { QStringLiteral("upload") }, "store-sent-removed", true }),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
