#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "TestHttpServer.h"
#include "analytics/TallyHTTPEater.h"
#include "analytics/TallyHTTPResponse.h"
#include "analytics/TallyPaths.h"

namespace {

using analytics::TallyHTTPEater;
using analytics::TallyHTTPResponse;
using testing_support::ScriptedAnswer;
using testing_support::TestHttpServer;

const QMap<QString, QString> kHeaders { { QStringLiteral("Content-Type"), QStringLiteral("application/octet-stream") } };

TEST(TallyHTTPResponse, SuccessIsAStatusFrom200To399)
{
    struct Row {
        int status;
        bool success;
    };
    for (const Row row : { Row { 0, false }, Row { 199, false }, Row { 200, true }, Row { 302, true },
                           Row { 399, true }, Row { 400, false }, Row { 404, false }, Row { 500, false } }) {
        const TallyHTTPResponse response({}, row.status, {}, {});
        EXPECT_EQ(response.isSuccess(), row.success) << row.status;
        EXPECT_EQ(response.isError(), !row.success) << row.status;
    }
    const TallyHTTPResponse answer("ok", 200, {}, QStringLiteral("late"));
    EXPECT_EQ(answer.description(), QStringLiteral("status:200 error:late body:ok"));
}

TEST(TallyHTTPResponse, ADebugCopyReplaysTheSameAnswer)
{
    QTemporaryDir data;
    analytics::TallyPaths::setDataDirectory(data.path());
    const TallyHTTPResponse original(QByteArray("\x01\x02 body", 7), 302,
                                     { { QStringLiteral("Location"), QStringLiteral("/x") } }, QStringLiteral("ignored"));
    const QString path = original.saveToDisk();
    ASSERT_FALSE(path.isEmpty());
    EXPECT_TRUE(QFileInfo(path).fileName().startsWith(QStringLiteral("tallyResponse")));
    EXPECT_EQ(QFileInfo(path).absolutePath(), QDir(analytics::TallyPaths::documentsDirectory()).absolutePath());
    EXPECT_EQ(QFileInfo(path).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());

    const auto replay = TallyHTTPResponse::readFromURL(QUrl::fromLocalFile(path));
    ASSERT_TRUE(replay);
    EXPECT_EQ(replay->statusCode(), 302);
    EXPECT_EQ(replay->body(), original.body());
    EXPECT_EQ(replay->headers(), original.headers());
    EXPECT_TRUE(replay->error().isEmpty()); // a replayed answer has no error

    EXPECT_FALSE(TallyHTTPResponse::readFromURL(QUrl::fromLocalFile(data.filePath("missing"))));
    EXPECT_FALSE(TallyHTTPResponse::readFromURL(QUrl(QStringLiteral("http://127.0.0.1:1/answer"))));
    QFile garbage(data.filePath("garbage"));
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write("not an archive");
    garbage.close();
    EXPECT_FALSE(TallyHTTPResponse::readFromURL(QUrl::fromLocalFile(garbage.fileName())));
    analytics::TallyPaths::setDataDirectory({});
}

TEST(TallyHTTPEater, PostsTheReportAndKeepsTheServersAnswer)
{
    TestHttpServer server;
    ScriptedAnswer answer = ScriptedAnswer::status(200, "thanks");
    answer.headers.append({ QByteArray("X-Reply"), QByteArray("yes") });
    server.setDefaultAnswer(answer);
    const TallyHTTPResponse response = TallyHTTPEater::sendMethod(QStringLiteral("POST"), server.url(), "report",
                                                                  kHeaders, 20, false);
    EXPECT_TRUE(response.isSuccess());
    EXPECT_EQ(response.body(), "thanks");
    EXPECT_EQ(response.headers().value(QStringLiteral("X-Reply")), QStringLiteral("yes"));
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests()[0].header("Content-Type"), "application/octet-stream");
    EXPECT_EQ(server.requests()[0].body, "report");
}

} // namespace
