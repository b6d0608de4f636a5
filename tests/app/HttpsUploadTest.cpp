// Uploads of the running program as the collection server sees them, over http and https: an
// answer the server framed in chunks is a delivery like any other, and a server whose certificate
// is not trusted gets nothing while the sessions stay on disk for a later try.

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "analytics-io/TestHttpServer.h"
#include "platform/system-io/TestCertificates.h"
#include "support/Program.h"

namespace {

using testing_support::ScriptedAnswer;
using testing_support::TestHttpServer;

// A short headless run with analytics on, reporting to `server`.
void runAgainst(const QUrl& server, const QTemporaryDir& dir)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(
        QStringLiteral("no_proxy"), QStringLiteral("127.0.0.1")); // whatever the machine's proxy
    const auto run = testing_support::runProgram(
        { "--headless", "--duration", "1", "--screenshot", dir.filePath(QStringLiteral("shot.png")),
            "--data-dir", dir.path(), "--server-url", server.toString() },
        {}, environment);
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
}

QStringList analyticsFiles(const QTemporaryDir& dir, const QString& pattern)
{
    return QDir(dir.path()).entryList({ pattern }, QDir::Files | QDir::Hidden);
}

// How many sessions the saved-sessions file holds, as the report tool decodes it.
qsizetype savedSessions(const QTemporaryDir& dir)
{
    const QStringList files = analyticsFiles(dir, QStringLiteral(".tallyStored*.archive"));
    if (files.isEmpty())
        return 0;
    return testing_support::reportJson({ "archive", dir.filePath(files.first()) })
        .value("sessions")
        .toArray()
        .size();
}

TEST(LumivueUpload, AChunkedAnswerIsADelivery)
{
    TestHttpServer server;
    server.setDefaultAnswer(ScriptedAnswer::rawBytes(
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\n0\r\n\r\n"));
    QTemporaryDir dir;
    runAgainst(server.url(), dir);
    runAgainst(server.url(), dir);
    ASSERT_FALSE(server.requests().isEmpty());
    EXPECT_FALSE(analyticsFiles(dir, QStringLiteral(".tallySent*.archive")).isEmpty());
    // The second start delivered the first run's session: only the second run's is left.
    EXPECT_EQ(savedSessions(dir), 1);
}

TEST(LumivueUpload, AnUntrustedCertificateGetsNothingAndTheSessionsStay)
{
    const auto tls = testing_support::testServerTls(testing_support::TestCertificate::SelfSigned);
    ASSERT_TRUE(tls) << "the openssl command could not make the test certificates";
    TestHttpServer server(tls);
    QTemporaryDir dir;
    runAgainst(server.url(), dir);
    runAgainst(server.url(), dir);
    EXPECT_GE(server.handshakes(), 1); // the program did try
    EXPECT_TRUE(server.requests().isEmpty());
    EXPECT_TRUE(analyticsFiles(dir, QStringLiteral(".tallySent*.archive")).isEmpty());
    EXPECT_EQ(savedSessions(dir), 2);
}

} // namespace
