// The lumivue-report program, run as a user runs it.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "analytics/TallyAPI.h"
#include "analytics/TallyFileSessionStore.h"
#include "analytics/TallyReportDecoder.h"
#include "analytics/TallySession.h"
#include "analytics/TallyUploader.h"
#include "platform/system/Clock.h"

namespace {

struct ToolRun {
    int exitCode { -1 };
    QByteArray out;
    QByteArray err;
};

ToolRun runTool(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(LUMIVUE_BINARY_DIR "/bin/lumivue-report"), arguments);
    EXPECT_TRUE(process.waitForFinished(30000));
    return { process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError() };
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
}

class LumivueReportTool : public ::testing::Test {
protected:
    void SetUp() override { analytics::TallyAPI::resetForTesting(); }
    void TearDown() override
    {
        analytics::TallyAPI::resetForTesting();
        platform::Clock::useSystemTime();
    }
    QTemporaryDir dir;
};

TEST_F(LumivueReportTool, DecodesAReportToTheSameJsonAsTheDecoder)
{
    using analytics::TallyAPI;
    platform::Clock::setNow(QDateTime::fromMSecsSinceEpoch(1336000000000, Qt::UTC));
    TallyAPI::setUserID(QStringLiteral("ü-user"));
    TallyAPI::startSession(QStringLiteral("tool"));
    TallyAPI::logEvent(QStringLiteral("TAKE_PICTURE"),
        QVariantMap { { QStringLiteral("preset"), QStringLiteral("Photo") } });
    const QByteArray report
        = analytics::TallySession::dataForSessions(analytics::TallySession::sessionsToSend(true), false);

    const ToolRun run
        = runTool({ QStringLiteral("decode"), writeFile(dir, QStringLiteral("r.bin"), report) });
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    QJsonParseError parseError;
    const QJsonDocument printed = QJsonDocument::fromJson(run.out, &parseError);
    ASSERT_EQ(parseError.error, QJsonParseError::NoError);
    EXPECT_EQ(printed.object(), analytics::TallyReportDecoder::decodeReport(report).json);
    // Not an empty object on both sides: the user's text came through the pipe whole.
    EXPECT_EQ(
        printed[QLatin1String("sessions")][0][QLatin1String("userID")].toString(), QStringLiteral("ü-user"));
}

// Bad files are refused with status 2 and one line; a wrong command line is a usage error, 1.
TEST_F(LumivueReportTool, BadInputGivesOneLineAndStatusTwoAndUsageErrorsOne)
{
    analytics::TallyAPI::startSession(QStringLiteral("tool"));
    const QByteArray report
        = analytics::TallySession::dataForSessions(analytics::TallySession::sessionsToSend(true), false);
    const QString garbage = writeFile(dir, QStringLiteral("garbage.bin"), "garbage, not a report");
    const struct {
        QStringList arguments;
        int exitCode;
    } rows[] = {
        { { "decode", writeFile(dir, QStringLiteral("cut.bin"), report.left(report.size() - 1)) }, 2 },
        { { "decode", dir.filePath(QStringLiteral("absent.bin")) }, 2 },
        { { "archive", garbage }, 2 },
        { {}, 1 },
        { { "explode", "x" }, 1 },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.arguments.join(' ').toStdString());
        const ToolRun run = runTool(row.arguments);
        EXPECT_EQ(run.exitCode, row.exitCode);
        if (row.exitCode == 2) {
            EXPECT_TRUE(run.out.isEmpty());
            EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
        }
    }
    const ToolRun help = runTool({ QStringLiteral("--help") });
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains("decode FILE"));
}

// The analytics files the layer leaves in its data folder, shown by `lumivue-report archive`.
TEST_F(LumivueReportTool, ShowsTheFilesOfTheDataFolder)
{
    using analytics::TallyAPI;
    platform::Clock::setNow(QDateTime::fromMSecsSinceEpoch(1336000000000, Qt::UTC));
    TallyAPI::usePersistenceAndUpload();
    analytics::TallyUploader::setInstance(nullptr); // files only
    TallyAPI::setDataDirectory(dir.path());
    TallyAPI::startSession(QStringLiteral("tool"));
    TallyAPI::logEvent(QStringLiteral("TAKE_PICTURE"),
        QVariantMap { { QStringLiteral("preset"), QStringLiteral("Photo") } });
    TallyAPI::pauseSession();
    platform::Clock::advance(60000);
    TallyAPI::resumeSession(); // the first session is saved, a second one is current
    TallyAPI::waitForUploads();
    (void)analytics::TallySession::dataForSessions({}, false); // writes the initial timestamp
    const auto store = std::static_pointer_cast<analytics::TallyFileSessionStore>(
        analytics::TallySessionStore::instance());
    const QString current = store->currentSessionFilePath();
    const QString saved = store->sessionsFilePath();
    const QString initial = store->initialTimestampFilePath();
    TallyAPI::resetForTesting();
    TallyAPI::setDataDirectory({});

    const ToolRun session = runTool({ QStringLiteral("archive"), current });
    ASSERT_EQ(session.exitCode, 0) << session.err.toStdString();
    const QJsonObject sessionJson = QJsonDocument::fromJson(session.out).object();
    EXPECT_EQ(sessionJson.value("kind").toString(), QStringLiteral("session"));
    EXPECT_EQ(sessionJson.value("session").toObject().value("startTime").toDouble(), 1336000060000.0);
    EXPECT_EQ(sessionJson.value("session").toObject().value("apiKey").toString(), QStringLiteral("tool"));

    const ToolRun list = runTool({ QStringLiteral("archive"), saved });
    ASSERT_EQ(list.exitCode, 0) << list.err.toStdString();
    const QJsonArray sessions = QJsonDocument::fromJson(list.out).object().value("sessions").toArray();
    ASSERT_EQ(sessions.size(), 1);
    const QJsonObject event = sessions[0].toObject().value("events").toArray().at(0).toObject();
    EXPECT_EQ(event.value("name").toString(), QStringLiteral("TAKE_PICTURE"));
    EXPECT_EQ(event.value("parameters").toObject().value("preset").toString(), QStringLiteral("Photo"));

    const ToolRun timestamp = runTool({ QStringLiteral("archive"), initial });
    ASSERT_EQ(timestamp.exitCode, 0) << timestamp.err.toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(timestamp.out).object().value("initialTimestamp").toDouble(),
        1336000060000.0);
}

struct EndlessInput {
    const char* name;
    const char* command;
    bool throughPipe; // standard input fed from /dev/zero, else the path itself
};
class LumivueReportEndlessInput : public ::testing::TestWithParam<EndlessInput> { };

// Input that never ends is refused after the documented limit instead of filling memory.
TEST_P(LumivueReportEndlessInput, IsRefusedWithOneLineAndStatusTwo)
{
    const EndlessInput& row = GetParam();
    QProcess process;
    if (row.throughPipe)
        process.setStandardInputFile(QStringLiteral("/dev/zero"));
    process.start(QStringLiteral(LUMIVUE_BINARY_DIR "/bin/lumivue-report"),
        { QString::fromLatin1(row.command),
            row.throughPipe ? QStringLiteral("-") : QStringLiteral("/dev/zero") });
    const bool finished = process.waitForFinished(30000);
    if (!finished)
        process.kill();
    ASSERT_TRUE(finished);
    EXPECT_EQ(process.exitCode(), 2);
    const QByteArray err = process.readAllStandardError();
    EXPECT_EQ(err.count('\n'), 1) << err.toStdString();
    EXPECT_TRUE(err.contains("64 MiB")) << err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Sources, LumivueReportEndlessInput,
    ::testing::Values(
        EndlessInput { "DecodePipe", "decode", true }, EndlessInput { "ArchiveDevZero", "archive", false }),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
