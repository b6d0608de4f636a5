#pragma once

// A blocking HTTP/1.1 exchange on the calling thread, through libcurl: a transfer of its own per
// hop, driven on the calling thread, so it works on any thread, including plain std::threads that
// have no event loop of their own. Each call is independent: one connection per hop, closed after
// the answer; no shared state, no cache, no cookies. https is verified (the peer's certificate
// chain and its host name) against the system's authorities, or `caFile` when set. The system's
// proxy settings (http_proxy, https_proxy, no_proxy) are honoured.
//
// Safety limits against a hostile or broken server: one time-out for the whole exchange
// (connection, redirects, answer); redirects followed only within the same origin (scheme, host
// and port, as curl reads them), so a body is never re-sent to another server, and at most
// `maxRedirects` times; an answer body read as it arrives, to at most `maxBodyBytes` (an answer
// stating a larger length is refused before its body is read; any other is ended on the first
// byte beyond the cap, and the body kept so far is returned). An answer that ends before its
// stated or chunked end, or that is not HTTP, is an error even when a status arrived. One call
// sends the request once per hop: nothing is re-sent because a connection closed early, and a
// body goes at once, without waiting for a "100 Continue".
//
// abortAll() ends every exchange in flight at once (within a few milliseconds, on their own
// threads) and makes later ones fail at once, until allowRequests(); the app calls it when it
// quits so that no silent server can hold the exit.

#include <chrono>

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

namespace platform {

using HttpHeaders = QList<QPair<QByteArray, QByteArray>>;

struct HttpRequest {
    QByteArray method { "GET" };
    QUrl url;
    QByteArray body;
    HttpHeaders headers;
    std::chrono::milliseconds timeout { std::chrono::seconds(20) };
    int maxRedirects { 5 };
    qint64 maxBodyBytes { 1024 * 1024 };
    // PEM file of the authorities trusted for https instead of the system's; empty for the system's.
    QString caFile;
};

struct HttpResult {
    // The status of the last answer received, 0 when none arrived.
    int statusCode { 0 };
    HttpHeaders headers;
    QByteArray body;
    // Empty when the exchange completed; otherwise why it did not (time-out, refused redirect,
    // body too large, answer cut short or not HTTP, connection failure, abort). A status may be present
    // together with an error.
    QString error;
    bool timedOut { false };
    bool bodyTruncated { false };
    bool redirectRefused { false };
    bool aborted { false }; // ended by abortAll()
};

class HttpClient {
public:
    // Performs the request and returns when it has ended. Any thread; the transfer stays on it.
    static HttpResult send(const HttpRequest& request);
    // Any thread.
    static void abortAll();
    static void allowRequests();
};

} // namespace platform
