#include <random>
#include <thread>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include "AnalyticsFixture.h"
#include "analytics/TallySessionArchive.h"
#include "platform/system/AtomicFileWriter.h"
#include "platform/system/KeyedArchive.h"

namespace {

using analytics::TallyAPI;

constexpr int kKills = 200;
const QString kKey = QStringLiteral("KILLTEST");

struct ChildRun {
    int lastReturned { -1 }; // the number of the last event whose logEvent had returned
    bool started { false };
};

// Starts the child, lets it log a random number of events, kills it with SIGKILL.
ChildRun runAndKill(const QString& dataDir, int eventsBeforeKill)
{
    ChildRun run;
    QProcess child;
    child.setProgram(QStringLiteral(LUMIVUE_BINARY_DIR "/bin/analytics_io_child"));
    child.setArguments({ dataDir });
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.start();
    if (!child.waitForStarted(10000))
        return run;
    QByteArray pending;
    int linesSeen = 0;
    auto consume = [&] {
        pending += child.readAllStandardOutput();
        qsizetype newline;
        while ((newline = pending.indexOf('\n')) >= 0) {
            const QByteArray line = pending.left(newline);
            pending.remove(0, newline + 1);
            ++linesSeen;
            if (line == "started")
                run.started = true;
            else
                run.lastReturned = line.toInt();
        }
    };
    while (linesSeen < eventsBeforeKill + 1 && child.waitForReadyRead(10000))
        consume();
    child.kill();
    child.waitForFinished(10000);
    consume(); // lines written before the kill but not read yet
    return run;
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
    const QString currentPath = QDir(lane.dataDir).filePath(QFileInfo(store.currentSessionFilePath()).fileName());
    for (int kill = 0; kill < runs; ++kill) {
        const ChildRun run = runAndKill(lane.dataDir, int(random() % 25));
        auto fail = [&](const QString& why) { lane.failure = QStringLiteral("run %1: %2").arg(kill).arg(why); };
        if (!run.started)
            return fail(QStringLiteral("the child did not start"));
        lane.lastReturned << run.lastReturned;

        // The newest complete version: the file, or the previous version when the kill fell
        // between moving one aside and renaming the new one into place.
        const auto bytes = platform::AtomicFileWriter::readLatest(currentPath, [](const QByteArray& b) {
            return platform::KeyedArchive::unarchive(b).has_value();
        });
        if (!bytes)
            return fail(QStringLiteral("no decodable current-session file"));
        const auto state = analytics::TallySessionArchive::sessionFromFile(*bytes);
        if (!state)
            return fail(QStringLiteral("the current-session file does not decode"));
        // Every event whose logEvent returned is there, in order; one more may have been written
        // just before the kill.
        const qsizetype events = state->eventLog.size();
        if (events < run.lastReturned + 1 || events > run.lastReturned + 2)
            return fail(QStringLiteral("%1 events after event %2 had returned").arg(events).arg(run.lastReturned));
        for (qsizetype i = 0; i < events; ++i) {
            if (state->eventLog[i].parameters()->value(QStringLiteral("i")).toInt() != i)
                return fail(QStringLiteral("event %1 out of order").arg(i));
        }
    }
}

class TallyKillTest : public testing_support::AnalyticsFixture {
};

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
        for (int i = 0; i < kLanes; ++i)
            threads.emplace_back([&lanes, i] { runLane(lanes[size_t(i)], kRunsPerLane, 20120601u + unsigned(i)); });
        for (auto& thread : threads)
            thread.join();
    }

    for (const Lane& lane : lanes) {
        ASSERT_TRUE(lane.failure.isEmpty()) << lane.failure.toStdString();
        ASSERT_EQ(lane.lastReturned.size(), kRunsPerLane);
        // Interrupted writes leave no litter behind for long: each start clears it.
        EXPECT_LE(QDir(lane.dataDir).entryList({ QStringLiteral("*.tmp-*") }, QDir::Files | QDir::Hidden).size(), 1);

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

} // namespace
