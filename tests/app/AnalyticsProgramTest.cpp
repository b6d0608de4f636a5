// Usage analytics through the built program, as the collection server sees them: going to the
// background and back, a kill there, two copies on one data folder, an unusable data folder, and
// the lasting opt-out.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMultiMap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "analytics-io/TestHttpServer.h"
#include "support/Program.h"

namespace {

// lumivue with its settings and standard folders under `home`, the control script on stdin.
struct Lumivue : testing_support::Program {
    Lumivue(const QTemporaryDir& home, const QStringList& arguments)
        : Program(QStringList { "--headless", "--camera", "synthetic", "--control", "-" } + arguments,
            testing_support::homeIn(home))
    {
    }
};

qint64 number(const QJsonValue& record, const char* key)
{
    return qint64(record[QLatin1String(key)].toDouble());
}

class AnalyticsProgram : public ::testing::Test {
protected:
    QStringList recording() const
    {
        return { "--data-dir", m_data.path(), "--server-url", m_server.url().toString() };
    }
    bool waitForReports(qsizetype count) const
    {
        return m_server.waitForRequests(
            int(count), std::chrono::milliseconds(test_support::scaledLimitMs(30000)));
    }
    // The session records of the reports received from the `from`th on, decoded by lumivue-report,
    // by their session's start time; values() gives a session's latest record first.
    QMultiMap<qint64, QJsonObject> sessionRecords(qsizetype from = 0) const
    {
        QMultiMap<qint64, QJsonObject> records;
        for (const auto& request : m_server.requests().mid(from)) {
            const QJsonObject report = testing_support::reportJson({ "decode", "-" }, request.body);
            for (const QJsonValue& session : report[QLatin1String("sessions")].toArray())
                records.insert(number(session, "startTime"), session.toObject());
        }
        return records;
    }

    QTemporaryDir m_home;
    QTemporaryDir m_data;
    testing_support::TestHttpServer m_server;
};

// The script's background and foreground take the lifecycle's one path: a short absence pauses
// the session (with a pause upload each time), a long one ends it and starts another.
TEST_F(AnalyticsProgram, BackgroundAndForegroundPauseAndRenewTheSession)
{
    Lumivue app(m_home, recording());
    app.say("wait 1\nbackground\nwait 2\nforeground\nwait 0.5\nbackground\nwait 11\nforeground\nwait 0.5\n");
    ASSERT_EQ(app.quit(), 0) << app.errors().toStdString();

    EXPECT_GE(m_server.requests().size(), 5) << "start, two pauses, the second session's start and end";
    const auto records = sessionRecords();
    ASSERT_EQ(records.uniqueKeys().size(), 2) << "the long absence starts a second session";
    const QJsonObject first = records.values(records.firstKey()).constFirst();
    EXPECT_GE(number(first, "totalPauseIntervalMillis"), 1500);
    EXPECT_LT(number(first, "totalPauseIntervalMillis"), 10000) << "the long absence is not a pause";
    EXPECT_GE(number(first, "sessionLength"), 1000);
}

// A phone app is usually killed in the background: its session reaches the server at the next
// start with the length it had when it went there, not -1.
TEST_F(AnalyticsProgram, KilledInTheBackgroundTheSessionKeepsItsLength)
{
    {
        Lumivue app(m_home, recording());
        app.say("wait 3\nbackground\n");
        EXPECT_TRUE(waitForReports(2)) << "a pause upload";
    }
    const auto before = m_server.requests().size();
    Lumivue next(m_home, recording());
    ASSERT_TRUE(waitForReports(before + 1));
    EXPECT_EQ(next.quit(), 0);
    const auto records = sessionRecords(before); // the killed session's, then the next one's
    ASSERT_EQ(records.uniqueKeys().size(), 2);
    for (const QJsonObject& record : records.values(records.firstKey())) {
        EXPECT_GE(number(record, "sessionLength"), 2500);
        EXPECT_LT(number(record, "sessionLength"), 30000);
    }
}

// A second copy on the same data folder (launched again from the app list) records nothing and
// says so; the first copy's live session is never taken for a crashed one.
TEST_F(AnalyticsProgram, ASecondCopyOnTheSameFolderRecordsNothing)
{
    Lumivue first(m_home, recording());
    ASSERT_TRUE(waitForReports(1)) << first.errors().toStdString();
    {
        Lumivue second(m_home, recording());
        EXPECT_EQ(second.quit(), 0);
        EXPECT_EQ(second.errors().count(QStringLiteral("in use by another running Lumivue")), 1)
            << second.errors().toStdString();
    }
    EXPECT_EQ(first.quit(), 0);
    Lumivue third(m_home, recording()); // sends what the first one saved
    ASSERT_TRUE(waitForReports(m_server.requests().size() + 1));
    EXPECT_EQ(third.quit(), 0);

    const auto records = sessionRecords();
    EXPECT_EQ(records.uniqueKeys().size(), 2) << "the first copy's session and the third's";
    for (const QJsonObject& record : records)
        EXPECT_GE(number(record, "sessionLength"), 0) << "a live session taken for crashed";
}

// A data folder that cannot be written is said once, on stderr, and the app runs on.
TEST_F(AnalyticsProgram, AnUnusableDataFolderIsSaidOnce)
{
    QFile file(m_data.filePath(QStringLiteral("a-file")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const QString dangling = m_data.filePath(QStringLiteral("dangling"));
    ASSERT_TRUE(QFile::link(m_data.filePath(QStringLiteral("gone")), dangling));
    for (const QString& folder : { dangling, file.fileName() + QStringLiteral("/analytics") }) {
        Lumivue app(m_home, { "--data-dir", folder, "--server-url", m_server.url().toString() });
        app.say("background\nforeground\n");
        EXPECT_EQ(app.quit(), 0);
        const QString errors = app.errors();
        EXPECT_EQ(errors.count(QStringLiteral("Analytics: cannot write to ") + folder), 1)
            << errors.toStdString();
    }
    EXPECT_TRUE(m_server.requests().isEmpty()) << "nothing recorded, nothing sent";
}

// The lasting opt-out deletes exactly the app's own files, and the folders it made: a --data-dir
// the user made stays with the user's files in it, the standard folder goes. Later starts record
// nothing until analytics are turned on again.
TEST_F(AnalyticsProgram, TurnedOffItDeletesOnlyTheAppsOwnFilesAndStaysOff)
{
    const QString standard = m_home.filePath(QStringLiteral("XDG_DATA_HOME/lumivue"));
    const QStringList inData { "--data-dir", m_data.path() };
    auto run = [&](const QStringList& arguments) {
        Lumivue app(m_home, arguments + QStringList { "--server-url", m_server.url().toString() });
        app.say("background\nforeground\n");
        return app.quit();
    };
    ASSERT_EQ(run(inData), 0);
    ASSERT_EQ(run({}), 0);
    ASSERT_TRUE(QFileInfo::exists(standard));
    QStringList theUsers { ".tallyStored.txt", "initialTimestamp-notes.txt", "MyTally-budget.ods",
        "tallyResponse-draft" };
    for (const QString& name : theUsers)
        ASSERT_TRUE(QFile(m_data.filePath(name)).open(QIODevice::WriteOnly)) << name.toStdString();

    EXPECT_EQ(run(QStringList { "--analytics", "off" } + inData), 0);
    EXPECT_EQ(run({ "--analytics", "off" }), 0);
    EXPECT_EQ(
        QDir(m_data.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), theUsers);
    EXPECT_FALSE(QFileInfo::exists(standard)) << "the app made it";

    const auto sent = m_server.requests().size();
    EXPECT_EQ(run({}), 0);
    EXPECT_FALSE(QFileInfo::exists(standard)) << "a later start records nothing";
    EXPECT_EQ(m_server.requests().size(), sent) << "and sends nothing";
    EXPECT_EQ(run({ "--analytics", "on" }), 0);
    EXPECT_EQ(run({}), 0);
    EXPECT_FALSE(QDir(standard).entryList({ "*.archive" }, QDir::Files | QDir::Hidden).isEmpty())
        << "on again";
}

} // namespace
