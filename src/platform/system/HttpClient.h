#pragma once

// A blocking HTTP exchange on the calling thread. The request runs over QNetworkAccessManager
// created on the calling thread and is driven by a local event loop, so it works on any thread,
// including plain std::threads that have no event loop of their own; on a thread that already
// runs an event loop (the GUI thread) the local loop keeps serving that thread's other events but
// not user input. Each call is independent: no shared state, no cache, no cookies.
//
// Safety limits against a hostile or broken server: one time-out for the whole exchange
// (connection, redirects, answer), redirects followed only within the request's origin
// (scheme, host, port) and at most `maxRedirects` times, and an answer body read to at most
// `maxBodyBytes` (the exchange is aborted beyond that, and the body kept so far is returned).

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
};

struct HttpResult {
    // The status of the last answer received, 0 when none arrived.
    int statusCode { 0 };
    HttpHeaders headers;
    QByteArray body;
    // Empty when the exchange completed; otherwise why it did not (time-out, refused redirect,
    // body too large, connection failure). A status may be present together with an error.
    QString error;
    bool timedOut { false };
    bool bodyTruncated { false };
    bool redirectRefused { false };
};

class HttpClient {
public:
    // Performs the request and returns when it has ended. Any thread.
    static HttpResult send(const HttpRequest& request);
};

} // namespace platform
