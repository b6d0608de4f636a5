#include "platform/system/HttpClient.h"

#include <thread>

#include <QElapsedTimer>
#include <QTcpServer>

#include <gtest/gtest.h>

#include "analytics-io/TestHttpServer.h"

namespace {

using namespace std::chrono_literals;
using platform::HttpClient;
using platform::HttpRequest;
using platform::HttpResult;
using testing_support::ScriptedAnswer;
using testing_support::TestHttpServer;

HttpRequest post(const QUrl& url, QByteArray body = "report")
{
    HttpRequest request;
    request.method = "POST";
    request.url = url;
    request.body = std::move(body);
    request.headers = { { "Content-Type", "application/octet-stream" } };
    request.timeout = 10s;
    return request;
}

// Server errors are answers like any other, not transport failures.
TEST(HttpClient, PostsTheBodyAndReturnsEachAnswer)
{
    TestHttpServer server;
    ScriptedAnswer accepted = ScriptedAnswer::status(200, "accepted");
    accepted.headers.append({ QByteArray("Set-Cookie"), QByteArray("session=1") });
    server.enqueueAnswer(accepted);
    server.enqueueAnswer(ScriptedAnswer::status(404, "nope"));
    server.enqueueAnswer(ScriptedAnswer::status(500));

    const QByteArray report("\x00\x0f\x00\x00binary\xff", 11);
    const HttpResult first = HttpClient::send(post(server.url(), report));
    const HttpResult missing = HttpClient::send(post(server.url(), report));
    const HttpResult broken = HttpClient::send(post(server.url(), report));

    EXPECT_EQ(first.statusCode, 200);
    EXPECT_EQ(first.body, "accepted");
    EXPECT_TRUE(first.error.isEmpty()) << first.error.toStdString();
    EXPECT_EQ(missing.statusCode, 404);
    EXPECT_EQ(missing.body, "nope");
    EXPECT_EQ(broken.statusCode, 500);
    ASSERT_EQ(server.requests().size(), 3);
    for (const auto& request : server.requests()) {
        EXPECT_EQ(request.method, "POST");
        EXPECT_EQ(request.path, "/report.do");
        EXPECT_EQ(request.body, report);
        EXPECT_EQ(request.header("Content-Type"), "application/octet-stream");
        EXPECT_TRUE(request.header("Cookie").isEmpty()); // the cookie offered is never returned
    }
}

TEST(HttpClient, FollowsRedirectsOnlyToWebUrlsAndOnlySoOften)
{
    TestHttpServer server;
    server.enqueueAnswer(ScriptedAnswer::redirect(307, server.url("/elsewhere").toEncoded()));
    server.enqueueAnswer(ScriptedAnswer::status(200, "final"));
    const HttpResult followed = HttpClient::send(post(server.url()));
    EXPECT_EQ(followed.statusCode, 200);
    EXPECT_EQ(followed.body, "final");
    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_EQ(server.requests()[1].path, "/elsewhere");

    TestHttpServer fileRedirect;
    fileRedirect.setDefaultAnswer(ScriptedAnswer::redirect(302, "file:///etc/passwd"));
    const HttpResult refused = HttpClient::send(post(fileRedirect.url()));
    EXPECT_TRUE(refused.redirectRefused);
    EXPECT_EQ(refused.statusCode, 302); // the server's own answer, not the file's
    EXPECT_FALSE(refused.body.contains("root:"));
    EXPECT_FALSE(refused.error.isEmpty());

    TestHttpServer loop;
    loop.setDefaultAnswer(ScriptedAnswer::redirect(302, loop.url("/again").toEncoded()));
    HttpRequest request = post(loop.url());
    request.maxRedirects = 3;
    const HttpResult endless = HttpClient::send(request);
    EXPECT_TRUE(endless.redirectRefused);
    EXPECT_FALSE(endless.error.isEmpty());
    EXPECT_LE(loop.requests().size(), 4);
}

// Exchanges that fail: each has an error, whatever status arrived, and says how it failed.
struct FailedExchange {
    const char* name;
    ScriptedAnswer answer;
    bool foreignUrl; // the request names a file:// URL instead of the server
    int status; // the status the result still carries
    bool timedOut;
    qsizetype bodyBytes; // of the answer kept
};

class HttpClientFailure : public ::testing::TestWithParam<FailedExchange> { };

TEST_P(HttpClientFailure, IsAnErrorWithWhatArrived)
{
    const FailedExchange& row = GetParam();
    TestHttpServer server;
    server.setDefaultAnswer(row.answer);
    HttpRequest request = post(row.foreignUrl ? QUrl("file:///etc/passwd") : server.url());
    request.timeout = 300ms;
    request.maxBodyBytes = 1024 * 1024;
    QElapsedTimer clock;
    clock.start();
    const HttpResult result = HttpClient::send(request);
    EXPECT_FALSE(result.error.isEmpty());
    EXPECT_EQ(result.statusCode, row.status);
    EXPECT_EQ(result.timedOut, row.timedOut);
    EXPECT_EQ(result.body.size(), row.bodyBytes);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_LE(server.requests().size(), 1);
}

INSTANTIATE_TEST_SUITE_P(Exchanges, HttpClientFailure,
    ::testing::Values(FailedExchange { "SilentServer", ScriptedAnswer::silence(), false, 0, true, 0 },
        FailedExchange {
            "HugeAnswerKeepsItsStart", ScriptedAnswer::huge(64LL << 20), false, 200, false, 1 << 20 },
        FailedExchange { "CutShort",
            ScriptedAnswer::rawBytes("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n1234"), false, 200, false,
            4 },
        FailedExchange { "NotHttp", ScriptedAnswer::rawBytes("SSH-2.0-OpenSSH\r\n"), false, 0, false, 0 },
        FailedExchange { "ForeignScheme", ScriptedAnswer::status(200), true, 0, false, 0 }),
    [](const auto& row) { return std::string(row.param.name); });

TEST(HttpClient, ReportsUnreachableServers)
{
    quint16 closedPort = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        closedPort = probe.serverPort();
    }
    const HttpResult refused
        = HttpClient::send(post(QUrl(QStringLiteral("http://127.0.0.1:%1/report.do").arg(closedPort))));
    EXPECT_EQ(refused.statusCode, 0);
    EXPECT_FALSE(refused.error.isEmpty());
}

TEST(HttpClient, WorksOnAPlainThreadWithoutAnEventLoop)
{
    TestHttpServer server;
    server.setDefaultAnswer(ScriptedAnswer::status(200, "from a thread"));
    HttpResult results[3];
    std::thread workers[3];
    for (int i = 0; i < 3; ++i)
        workers[i] = std::thread([&, i] { results[i] = HttpClient::send(post(server.url())); });
    for (auto& worker : workers)
        worker.join();
    for (const auto& result : results) {
        EXPECT_EQ(result.statusCode, 200);
        EXPECT_EQ(result.body, "from a thread");
    }
}

// Quitting cuts off every exchange at once, on whichever thread it waits.
TEST(HttpClient, AbortAllEndsExchangesInFlightAndRefusesNewOnes)
{
    TestHttpServer server;
    server.setDefaultAnswer(ScriptedAnswer::silence());
    HttpResult results[2];
    std::thread workers[2];
    for (int i = 0; i < 2; ++i)
        workers[i] = std::thread([&, i] { results[i] = HttpClient::send(post(server.url())); });
    ASSERT_TRUE(server.waitForRequests(2));
    QElapsedTimer clock;
    clock.start();
    HttpClient::abortAll();
    for (auto& worker : workers)
        worker.join();
    EXPECT_LT(clock.elapsed(), 500); // the exchanges' own limit is 10 s
    const HttpResult later = HttpClient::send(post(server.url()));
    HttpClient::allowRequests();
    for (const auto& result : results) {
        EXPECT_TRUE(result.aborted);
        EXPECT_FALSE(result.error.isEmpty());
    }
    EXPECT_TRUE(later.aborted);
    EXPECT_EQ(server.requests().size(), 2); // the later one never left
    server.setDefaultAnswer(ScriptedAnswer::status(200));
    EXPECT_EQ(HttpClient::send(post(server.url())).statusCode, 200);
}

} // namespace
