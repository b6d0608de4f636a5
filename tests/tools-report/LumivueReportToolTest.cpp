// The lumivue-report program, run as a user runs it (the app tests read its archive output).
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "analytics/TallyAPI.h"
#include "analytics/TallyReportDecoder.h"
#include "analytics/TallySession.h"

namespace {

struct ToolRun {
    int exitCode { -1 };
    QByteArray out;
    QByteArray err;
};

// `stdinFile` feeds standard input when given.
ToolRun runTool(const QStringList& arguments, const QString& stdinFile = {})
{
    QProcess process;
    if (!stdinFile.isEmpty())
        process.setStandardInputFile(stdinFile);
    process.start(QStringLiteral(LUMIVUE_BINARY_DIR "/bin/lumivue-report"), arguments);
    if (!process.waitForFinished(30000))
        process.kill();
    return { process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError() };
}

TEST(LumivueReportTool, DecodesAReportAsTheDecoderAndRefusesBadInputWithOneLine)
{
    analytics::TallyAPI::setUserID(QStringLiteral("ü-user")); // printed as UTF-8, not empty
    analytics::TallyAPI::startSession(QStringLiteral("tool"));
    const QByteArray report
        = analytics::TallySession::dataForSessions(analytics::TallySession::sessionsToSend(true), false);
    analytics::TallyAPI::resetForTesting();
    QTemporaryDir dir;
    auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        return file.fileName();
    };

    const ToolRun run = runTool({ "decode", write("r.bin", report) });
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonObject printed = QJsonDocument::fromJson(run.out).object();
    EXPECT_EQ(printed, analytics::TallyReportDecoder::decodeReport(report).json);

    // Bad files are status 2 with one line, endless input past the 64 MiB limit too; a wrong
    // command line is a usage error, 2 as for every Lumivue program.
    const struct {
        QStringList arguments;
        const char* stdinFile;
        int exitCode;
    } rows[] = {
        { { "decode", write("cut.bin", report.chopped(1)) }, nullptr, 2 },
        { { "decode", dir.filePath("absent.bin") }, nullptr, 2 },
        { { "archive", write("garbage.bin", "garbage") }, nullptr, 2 },
        { { "decode", "-" }, "/dev/zero", 2 },
        { { "explode", "x" }, nullptr, 2 },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.arguments.join(' ').toStdString());
        const ToolRun bad = runTool(row.arguments, QString::fromLatin1(row.stdinFile));
        EXPECT_EQ(bad.exitCode, row.exitCode);
        // A bad file is said in one line; a usage error also points at --help.
        EXPECT_TRUE(bad.out.isEmpty() && bad.err.count('\n') == (row.arguments[0] == "explode" ? 2 : 1))
            << bad.err.toStdString();
    }
}

} // namespace
