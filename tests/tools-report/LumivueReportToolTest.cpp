// The lumivue-report program, run as a user runs it.
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "analytics/TallyAPI.h"
#include "analytics/TallyReportDecoder.h"
#include "analytics/TallySession.h"
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
    const QString path = dir.filePath(name);
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
    TallyAPI::logEvent(QStringLiteral("TAKE_PICTURE"), QVariantMap { { QStringLiteral("preset"), QStringLiteral("Photo") } });
    platform::Clock::advance(700);
    const std::runtime_error crash("boom");
    TallyAPI::logError(QStringLiteral("Uncaught"), QStringLiteral("Crash!"), &crash);
    const QByteArray report
        = analytics::TallySession::dataForSessions(analytics::TallySession::sessionsToSend(true), false);

    const ToolRun run = runTool({ QStringLiteral("decode"), writeFile(dir, QStringLiteral("r.bin"), report) });
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    QJsonParseError parseError;
    const QJsonDocument printed = QJsonDocument::fromJson(run.out, &parseError);
    ASSERT_EQ(parseError.error, QJsonParseError::NoError);
    EXPECT_EQ(printed.object(), analytics::TallyReportDecoder::decodeReport(report).json);
    EXPECT_EQ(printed[QLatin1String("apiKey")].toString(), QStringLiteral("tool"));
    const QJsonObject session = printed[QLatin1String("sessions")][0].toObject();
    EXPECT_EQ(session[QLatin1String("userID")].toString(), QStringLiteral("ü-user"));
    EXPECT_EQ(session[QLatin1String("errors")][0][QLatin1String("time")].toDouble(), 1336000000700.0);
    EXPECT_EQ(session[QLatin1String("events")][0][QLatin1String("parameters")][QLatin1String("preset")].toString(),
              QStringLiteral("Photo"));
}

TEST_F(LumivueReportTool, BadInputGivesOneLineAndStatusTwo)
{
    analytics::TallyAPI::startSession(QStringLiteral("tool"));
    const QByteArray report
        = analytics::TallySession::dataForSessions(analytics::TallySession::sessionsToSend(true), false);
    for (const QByteArray& bytes : { report.left(report.size() - 1), QByteArray("garbage, not a report"), QByteArray() }) {
        const ToolRun run = runTool({ QStringLiteral("decode"), writeFile(dir, QStringLiteral("bad.bin"), bytes) });
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
    }
    const ToolRun missing = runTool({ QStringLiteral("decode"), dir.filePath(QStringLiteral("absent.bin")) });
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_EQ(missing.err.count('\n'), 1);
}

TEST_F(LumivueReportTool, HelpAndUsageErrors)
{
    const ToolRun help = runTool({ QStringLiteral("--help") });
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains("decode FILE"));
    EXPECT_EQ(runTool({}).exitCode, 1);
    EXPECT_EQ(runTool({ QStringLiteral("explode"), QStringLiteral("x") }).exitCode, 1);
    EXPECT_EQ(runTool({ QStringLiteral("decode") }).exitCode, 1);
}

} // namespace
