#include "platform/system/HttpClient.h"

#include <thread>

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include "analytics-io/TestHttpServer.h"
#include "platform/system-io/TestCertificates.h"
#include "support/Emulation.h"

namespace {

using namespace std::chrono_literals;
using platform::HttpClient;
using platform::HttpRequest;
using platform::HttpResult;
using testing_support::ScriptedAnswer;
using testing_support::TestCertificate;
using testing_support::TestHttpServer;

// The test servers are reached directly, whatever proxy the machine names (the proxy cases set
// their own).
[[maybe_unused]] const bool g_direct = qputenv("no_proxy", "127.0.0.1");

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

// Sets (or, with nullptr, clears) an environment variable for as long as it lives.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value)
        : m_name(name)
        , m_had(qEnvironmentVariableIsSet(name))
        , m_old(qgetenv(name))
    {
        value ? qputenv(name, value) : qunsetenv(name);
    }
    ~ScopedEnv() { m_had ? qputenv(m_name, m_old) : qunsetenv(m_name); }

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

// Whole answers, however framed.
struct WholeAnswer {
    const char* name;
    ScriptedAnswer answer;
    int status;
    QByteArray body;
};

class HttpClientAnswer : public ::testing::TestWithParam<WholeAnswer> { };

TEST_P(HttpClientAnswer, ArrivesWholeAfterOneRequest)
{
    const WholeAnswer& row = GetParam();
    TestHttpServer server;
    ScriptedAnswer answer = row.answer;
    answer.headers.append({ QByteArray("Set-Cookie"), QByteArray("session=1") });
    server.setDefaultAnswer(answer);
    // Large enough that curl would otherwise hold it back for a "100 Continue".
    QByteArray report = QByteArray("\x00\x0f\x00\x00binary\xff", 11).repeated(200 * 1024);

    const HttpResult result = HttpClient::send(post(server.url(), report));
    EXPECT_TRUE(result.error.isEmpty()) << result.error.toStdString();
    EXPECT_EQ(result.statusCode, row.status);
    EXPECT_EQ(result.body, row.body);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1);
    const auto& request = requests.first();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/report.do");
    EXPECT_EQ(request.body, report);
    EXPECT_EQ(request.header("Content-Type"), "application/octet-stream");
    EXPECT_TRUE(request.header("Expect").isEmpty());
    EXPECT_TRUE(request.header("Cookie").isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Framings, HttpClientAnswer,
    ::testing::Values(
        WholeAnswer { "Chunked",
            ScriptedAnswer::rawBytes(
                "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nthan\r\n3\r\nks!\r\n0\r\n\r\n"),
            200, "thanks!" },
        WholeAnswer { "ChunkedWithExtensionsAndTrailers",
            ScriptedAnswer::rawBytes(
                "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nTrailer: X-Digest\r\n\r\n"
                "4;name=value\r\nthan\r\n3 ; q=\"a;b\"\r\nks!\r\n0\r\nX-Digest: 42\r\n\r\n"),
            200, "thanks!" },
        WholeAnswer { "InterimThenFinal",
            ScriptedAnswer::rawBytes(
                "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 201 Created\r\nContent-Length: 2\r\n\r\nok"),
            201, "ok" },
        WholeAnswer {
            "UntilClose", ScriptedAnswer::rawBytes("HTTP/1.0 200 OK\r\n\r\nreceived"), 200, "received" }),
    [](const auto& row) { return std::string(row.param.name); });

TEST(HttpClient, FollowsRedirectsOnlyWithinTheOriginAndOnlySoOften)
{
    TestHttpServer server;
    server.enqueueAnswer(ScriptedAnswer::redirect(307, "/elsewhere"));
    server.enqueueAnswer(ScriptedAnswer::status(200, "final"));
    const HttpResult followed = HttpClient::send(post(server.url()));
    EXPECT_EQ(followed.statusCode, 200);
    EXPECT_EQ(followed.body, "final");
    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_EQ(server.requests()[1].path, "/elsewhere");
    EXPECT_EQ(server.requests()[1].body, "report"); // a 307 repeats the request

    // Another port on the same host is another server: the report must not reach it.
    TestHttpServer other;
    for (const QByteArray& place : { other.url().toEncoded(), QByteArray("file:///etc/passwd") }) {
        TestHttpServer first;
        first.setDefaultAnswer(ScriptedAnswer::redirect(307, place));
        const HttpResult refused = HttpClient::send(post(first.url()));
        EXPECT_TRUE(refused.redirectRefused) << place.toStdString();
        EXPECT_EQ(refused.statusCode, 307); // the server's own answer, not the other's
        EXPECT_FALSE(refused.body.contains("root:"));
        EXPECT_FALSE(refused.error.isEmpty());
    }
    EXPECT_TRUE(other.requests().isEmpty());

    TestHttpServer loop;
    loop.setDefaultAnswer(ScriptedAnswer::redirect(302, loop.url("/again").toEncoded()));
    HttpRequest request = post(loop.url());
    request.maxRedirects = 3;
    const HttpResult endless = HttpClient::send(request);
    EXPECT_TRUE(endless.redirectRefused);
    EXPECT_FALSE(endless.error.isEmpty());
    EXPECT_EQ(loop.requests().size(), 4);
    EXPECT_EQ(loop.requests()[1].method, "GET"); // a 302 fetches the new place
}

// Exchanges that fail: each has an error, whatever status arrived, and says how it failed.
struct FailedExchange {
    const char* name;
    ScriptedAnswer answer;
    const char* url; // instead of the server's
    int status; // the status the result still carries
    bool timedOut;
    qsizetype bodyBytes; // of the answer kept
    bool truncated;
};

class HttpClientFailure : public ::testing::TestWithParam<FailedExchange> { };

TEST_P(HttpClientFailure, IsAnErrorWithWhatArrived)
{
    const FailedExchange& row = GetParam();
    TestHttpServer server;
    server.setDefaultAnswer(row.answer);
    HttpRequest request = post(row.url ? QUrl(row.url) : server.url());
    request.timeout = 300ms;
    request.maxBodyBytes = 1024 * 1024;
    QElapsedTimer clock;
    clock.start();
    const HttpResult result = HttpClient::send(request);
    EXPECT_FALSE(result.error.isEmpty());
    EXPECT_EQ(result.statusCode, row.status);
    EXPECT_EQ(result.timedOut, row.timedOut);
    EXPECT_EQ(result.body.size(), row.bodyBytes);
    EXPECT_EQ(result.bodyTruncated, row.truncated);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_LE(server.requests().size(), 1);
}

INSTANTIATE_TEST_SUITE_P(Exchanges, HttpClientFailure,
    ::testing::Values(
        FailedExchange { "SilentServer", ScriptedAnswer::silence(), nullptr, 0, true, 0, false },
        // A stated length past the cap is refused before its body is read.
        FailedExchange { "HugeAnswer", ScriptedAnswer::huge(64LL << 20), nullptr, 200, false, 0, true },
        FailedExchange {
            "EndlessChunksKeepTheirStart", ScriptedAnswer::endless(), nullptr, 200, false, 1 << 20, true },
        FailedExchange { "CutShort",
            ScriptedAnswer::rawBytes("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n1234"), nullptr, 200,
            false, 4, false },
        FailedExchange { "MalformedChunk",
            ScriptedAnswer::rawBytes(
                "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nthan\r\n0\r\n\r\n"),
            nullptr, 200, false, 0, false },
        FailedExchange {
            "ForeignScheme", ScriptedAnswer::status(200), "file:///etc/passwd", 0, false, 0, false },
        FailedExchange {
            "NothingListening", ScriptedAnswer::status(200), "http://127.0.0.1:1/", 0, false, 0, false }),
    [](const auto& row) { return std::string(row.param.name); });

// https is verified: only a certificate for this host from a trusted authority carries the report.
struct TlsCase {
    const char* name;
    TestCertificate certificate;
    bool testAuthority; // the test authority is trusted (else the system's only)
    bool accepted;
};

class HttpClientTls : public ::testing::TestWithParam<TlsCase> { };

TEST_P(HttpClientTls, SendsOnlyToAVerifiedServer)
{
    LUMIVUE_SKIP_WHEN_EMULATED(); // the certificates are made by the openssl command
    const TlsCase& row = GetParam();
    const auto tls = testing_support::testServerTls(row.certificate);
    ASSERT_TRUE(tls) << "the openssl command could not make the test certificates";
    TestHttpServer server(tls);
    server.setDefaultAnswer(ScriptedAnswer::status(200, "secured"));
    HttpRequest request = post(server.url());
    if (row.testAuthority)
        request.caFile = testing_support::testAuthorityFile();
    const HttpResult result = HttpClient::send(request);
    EXPECT_EQ(result.error.isEmpty(), row.accepted) << result.error.toStdString();
    EXPECT_EQ(result.body, row.accepted ? "secured" : "");
    EXPECT_EQ(server.handshakes(), 1);
    EXPECT_EQ(server.requests().size(), row.accepted ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Certificates, HttpClientTls,
    ::testing::Values(TlsCase { "TestAuthority", TestCertificate::ForLoopback, true, true },
        TlsCase { "SelfSigned", TestCertificate::SelfSigned, true, false },
        TlsCase { "WrongHost", TestCertificate::ForOtherHost, true, false }),
    [](const auto& row) { return std::string(row.param.name); });

// The system's proxy settings, as every Linux program reads them. The proxy is a scripted server
// that records the request line it gets and answers itself.
struct ProxyCase {
    const char* name;
    const char* variable; // names the proxy
    bool secure; // the request is https
    const char* noProxy;
    QByteArray proxyMethod; // of the request the proxy gets; empty when it gets none
};

class HttpClientProxy : public ::testing::TestWithParam<ProxyCase> { };

TEST_P(HttpClientProxy, IsTakenFromTheEnvironment)
{
    const ProxyCase& row = GetParam();
    TestHttpServer server;
    TestHttpServer proxy;
    proxy.setDefaultAnswer(ScriptedAnswer::status(row.secure ? 403 : 200, "via proxy"));
    const QByteArray proxyUrl = QStringLiteral("http://127.0.0.1:%1").arg(proxy.port()).toLatin1();
    // (The row's variable is read before any other of the machine's.)
    ScopedEnv named(row.variable, proxyUrl.constData()), noProxy("no_proxy", row.noProxy),
        noProxyUpper("NO_PROXY", nullptr);
    QUrl target = server.url();
    if (row.secure)
        target.setScheme(QStringLiteral("https"));

    const HttpResult result = HttpClient::send(post(target));
    if (row.proxyMethod.isEmpty()) {
        EXPECT_TRUE(proxy.requests().isEmpty());
        EXPECT_EQ(server.requests().size(), 1);
        return;
    }
    EXPECT_TRUE(server.requests().isEmpty());
    ASSERT_EQ(proxy.requests().size(), 1);
    EXPECT_EQ(proxy.requests()[0].method, row.proxyMethod);
    if (row.secure) { // a tunnel the proxy refused: nothing went anywhere
        EXPECT_EQ(proxy.requests()[0].path, target.authority().toLatin1());
        EXPECT_FALSE(result.error.isEmpty());
    } else {
        EXPECT_EQ(proxy.requests()[0].path, target.toEncoded());
        EXPECT_EQ(proxy.requests()[0].body, "report");
        EXPECT_EQ(result.body, "via proxy");
    }
}

INSTANTIATE_TEST_SUITE_P(Settings, HttpClientProxy,
    ::testing::Values(ProxyCase { "Http", "http_proxy", false, nullptr, "POST" },
        ProxyCase { "HttpsTunnel", "https_proxy", true, nullptr, "CONNECT" },
        ProxyCase { "NoProxyForThisHost", "http_proxy", false, "localhost,127.0.0.1", {} }),
    [](const auto& row) { return std::string(row.param.name); });

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
