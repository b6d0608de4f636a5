#pragma once

// A small scripted HTTP/1.1 server for tests: listens on 127.0.0.1 at a random port, runs on a
// thread of its own (so blocking clients on the test thread can talk to it), records every
// request and answers each with the next scripted answer (or the default one). Answers can be a
// status with body and headers, a redirect, silence (accept and never answer), an endless-looking
// huge body, an endless chunked body, raw bytes (a cut-short or garbage answer), or an answer held
// back until the test releases it. Given a TLS configuration it speaks https instead, counting the
// handshakes begun (whether or not they complete) and recording only what arrived encrypted.
//
// All public methods are for the test's thread; the destructor stops and joins the server thread.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QSslConfiguration>
#include <QThread>
#include <QUrl>

class QObject;
class QTcpServer;
class QTcpSocket;

namespace testing_support {

struct ScriptedAnswer {
    enum class Kind {
        Answer, // status, headers and body, then the connection is closed
        Silence, // read the request, stay silent
        Held, // an answer sent only after release()
        Raw, // `raw` sent as it is, then the connection is closed
        Huge, // announce `hugeBodyBytes` of body and stream them as the client reads
        EndlessChunked, // a chunked body that never ends, streamed as the client reads
    };
    int statusCode { 200 };
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
    Kind kind { Kind::Answer };
    QByteArray raw;
    qint64 hugeBodyBytes { 0 };

    static ScriptedAnswer status(
        int code, QByteArray body = {}, QList<QPair<QByteArray, QByteArray>> headers = {})
    {
        return { code, std::move(body), std::move(headers), Kind::Answer, {}, 0 };
    }
    static ScriptedAnswer redirect(int code, const QByteArray& location)
    {
        return status(code, {}, { { "Location", location } });
    }
    static ScriptedAnswer silence() { return { 200, {}, {}, Kind::Silence, {}, 0 }; }
    static ScriptedAnswer held(int code) { return { code, {}, {}, Kind::Held, {}, 0 }; }
    static ScriptedAnswer rawBytes(QByteArray bytes)
    {
        return { 200, {}, {}, Kind::Raw, std::move(bytes), 0 };
    }
    static ScriptedAnswer huge(qint64 bytes) { return { 200, {}, {}, Kind::Huge, {}, bytes }; }
    static ScriptedAnswer endless() { return { 200, {}, {}, Kind::EndlessChunked, {}, 0 }; }
};

struct ReceivedRequest {
    QByteArray method;
    QByteArray path;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    QByteArray header(const QByteArray& name) const; // case-insensitive; empty when missing
};

class TestHttpServer {
public:
    explicit TestHttpServer(const std::optional<QSslConfiguration>& tls = std::nullopt);
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    quint16 port() const { return m_port; }
    QUrl url(const QString& path = QStringLiteral("/report.do")) const;

    void setDefaultAnswer(const ScriptedAnswer& answer);
    void enqueueAnswer(const ScriptedAnswer& answer); // used by the next request, in order

    QList<ReceivedRequest> requests() const;
    int handshakes() const;
    // Waits (without sleeping: on a condition) until `count` requests have arrived.
    bool waitForRequests(int count, std::chrono::milliseconds limit = std::chrono::seconds(10)) const;
    // Sends every held answer.
    void release();

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const ScriptedAnswer& scripted);
    ScriptedAnswer nextAnswer();

    QThread m_thread;
    QObject* m_context { nullptr }; // lives on m_thread; parent of the server and the sockets
    QTcpServer* m_server { nullptr };
    quint16 m_port { 0 };
    bool m_secure { false };

    mutable std::mutex m_mutex; // guards the fields below
    mutable std::condition_variable m_arrived;
    ScriptedAnswer m_defaultAnswer;
    std::deque<ScriptedAnswer> m_script;
    QList<ReceivedRequest> m_requests;
    int m_handshakes { 0 };
    QList<QPair<QTcpSocket*, ScriptedAnswer>> m_held; // touched on m_thread only
};

} // namespace testing_support
