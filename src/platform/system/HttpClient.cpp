#include "platform/system/HttpClient.h"

#include <atomic>
#include <memory>

#include <QEventLoop>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

namespace platform {

namespace {

// HTTP/1.1 is spoken here directly over a socket rather than through QNetworkAccessManager: that
// stack buffers answers ahead of the reader, re-sends a request on its own when a connection ends
// early, and takes a body cut short for a finished one. Here every byte of the answer passes the
// checks below as it is read, and one call sends exactly one request per hop.

std::atomic<bool> g_aborted { false };

// How much the socket takes from the kernel before this code has read it: the most any answer
// occupies in memory beyond the body kept.
constexpr qint64 kSocketBufferBytes = 64 * 1024;
// Status line plus headers, and one chunk-size line: no real server comes near these.
constexpr qsizetype kMaxHeadBytes = 64 * 1024;
constexpr qsizetype kMaxLineBytes = 4 * 1024;
// How often an exchange looks at abortAll().
constexpr int kAbortPollMs = 20;

bool isWebScheme(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

int portOf(const QUrl& url)
{
    return url.port(url.scheme().toLower() == QLatin1String("https") ? 443 : 80);
}

bool sameOrigin(const QUrl& a, const QUrl& b)
{
    return a.scheme().compare(b.scheme(), Qt::CaseInsensitive) == 0
        && a.host().compare(b.host(), Qt::CaseInsensitive) == 0 && portOf(a) == portOf(b);
}

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Reads one answer from the bytes as they arrive. Each feed either needs more, completes the
// answer, or fails it (garbage, a body past the cap); the end of the connection completes an
// answer only when its body is delimited by that end.
class AnswerParser {
public:
    enum class State { NeedMore, Complete, Failed };

    AnswerParser(qint64 maxBodyBytes, bool headRequest)
        : m_maxBodyBytes(maxBodyBytes)
        , m_headRequest(headRequest)
    {
    }

    State feed(const QByteArray& bytes)
    {
        m_pending.append(bytes);
        while (m_state == State::NeedMore && step()) { }
        return m_state;
    }

    // The connection has ended.
    State closed()
    {
        if (m_state != State::NeedMore)
            return m_state;
        if (m_phase == Phase::BodyUntilClose)
            return m_state = State::Complete;
        return fail(m_phase == Phase::Head && m_head.isEmpty() && m_pending.isEmpty() && !m_sawStatus
                ? QStringLiteral("the server closed the connection without an answer")
                : QStringLiteral("the answer was cut short"));
    }

    int statusCode() const { return m_status; }
    const HttpHeaders& headers() const { return m_headers; }
    QByteArray& body() { return m_body; }
    const QString& error() const { return m_error; }
    bool bodyTruncated() const { return m_truncated; }

private:
    enum class Phase { Head, BodyLength, BodyUntilClose, ChunkSize, ChunkData, ChunkDataEnd, Trailer };

    State fail(const QString& why)
    {
        m_error = why;
        return m_state = State::Failed;
    }

    // Takes one line (without CRLF) off the pending bytes; false when none is complete yet.
    bool takeLine(QByteArray& line, qsizetype limit)
    {
        const qsizetype end = m_pending.indexOf('\n');
        if (end < 0) {
            if (m_pending.size() > limit)
                fail(QStringLiteral("the answer is not HTTP (a line longer than %1 bytes)").arg(limit));
            return false;
        }
        line = m_pending.left(end);
        if (line.endsWith('\r'))
            line.chop(1);
        m_pending.remove(0, end + 1);
        return true;
    }

    bool appendBody(QByteArrayView bytes)
    {
        const qint64 room = m_maxBodyBytes - m_body.size();
        if (bytes.size() > room) {
            m_body.append(bytes.first(qsizetype(room)));
            m_truncated = true;
            fail(QStringLiteral("answer larger than %1 bytes").arg(m_maxBodyBytes));
            return false;
        }
        m_body.append(bytes);
        return true;
    }

    // One step of the state machine; false when it needs more bytes (or has ended).
    // Moves up to m_remaining of the pending bytes into the body (a stated length or a chunk).
    // False when nothing was pending or the body would pass its cap.
    bool takeCounted()
    {
        const qsizetype n = qsizetype(std::min<qint64>(m_remaining, m_pending.size()));
        if (n == 0 || !appendBody(QByteArrayView(m_pending).first(n)))
            return false;
        m_pending.remove(0, n);
        m_remaining -= n;
        return true;
    }

    bool step()
    {
        switch (m_phase) {
        case Phase::Head:
            return stepHead();
        case Phase::BodyLength:
            if (!takeCounted())
                return false;
            if (m_remaining == 0)
                m_state = State::Complete;
            return true;
        case Phase::BodyUntilClose:
            if (m_pending.isEmpty())
                return false;
            if (!appendBody(m_pending))
                return false;
            m_pending.clear();
            return false;
        case Phase::ChunkSize: {
            QByteArray line;
            if (!takeLine(line, kMaxLineBytes))
                return false;
            const QByteArray digits = line.left(line.indexOf(';')).trimmed();
            bool ok = !digits.isEmpty() && digits.size() <= 15;
            const qint64 size = ok ? digits.toLongLong(&ok, 16) : 0;
            if (!ok || size < 0) {
                fail(QStringLiteral("the answer has a malformed chunk"));
                return false;
            }
            m_remaining = size;
            m_phase = size == 0 ? Phase::Trailer : Phase::ChunkData;
            return true;
        }
        case Phase::ChunkData:
            if (!takeCounted())
                return false;
            if (m_remaining == 0)
                m_phase = Phase::ChunkDataEnd;
            return true;
        case Phase::ChunkDataEnd: {
            QByteArray line;
            if (!takeLine(line, kMaxLineBytes))
                return false;
            if (!line.isEmpty()) {
                fail(QStringLiteral("the answer has a malformed chunk"));
                return false;
            }
            m_phase = Phase::ChunkSize;
            return true;
        }
        case Phase::Trailer: {
            QByteArray line;
            if (!takeLine(line, kMaxHeadBytes))
                return false;
            if (line.isEmpty())
                m_state = State::Complete;
            return true;
        }
        }
        return false;
    }

    bool stepHead()
    {
        QByteArray line;
        if (!takeLine(line, kMaxHeadBytes - m_headBytes))
            return false;
        m_headBytes += line.size() + 2;
        if (m_headBytes > kMaxHeadBytes) {
            fail(QStringLiteral("the answer's headers are larger than %1 bytes").arg(kMaxHeadBytes));
            return false;
        }
        if (!m_sawStatus) {
            // "HTTP/1.1 200 OK"
            const QList<QByteArray> parts = line.split(' ');
            bool ok = false;
            const int status = parts.value(1).toInt(&ok);
            // Only the two versions this client speaks: a status line that merely starts like one
            // ("HTTP/1.11", "HTTP/1.x\r...") is garbage, not an answer to act on.
            const bool version = parts[0] == "HTTP/1.1" || parts[0] == "HTTP/1.0";
            if (parts.size() < 2 || !version || !ok || status < 100 || status > 999 || parts[1].size() != 3) {
                fail(QStringLiteral("the answer is not HTTP"));
                return false;
            }
            m_status = status;
            m_sawStatus = true;
            m_head = line;
            return true;
        }
        if (!line.isEmpty()) {
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0) {
                fail(QStringLiteral("the answer has a malformed header"));
                return false;
            }
            m_headers.append({ line.left(colon).trimmed(), line.mid(colon + 1).trimmed() });
            return true;
        }
        // The end of the head.
        if (m_status < 200) { // an interim answer (100 Continue): the real one follows
            m_sawStatus = false;
            m_headers.clear();
            m_head.clear();
            return true;
        }
        return startBody();
    }

    bool startBody()
    {
        QByteArray length;
        bool chunked = false;
        for (const auto& [name, value] : m_headers) {
            if (name.compare("Content-Length", Qt::CaseInsensitive) == 0) {
                if (!length.isEmpty() && length != value) {
                    fail(QStringLiteral("the answer states two lengths"));
                    return false;
                }
                length = value;
            } else if (name.compare("Transfer-Encoding", Qt::CaseInsensitive) == 0) {
                chunked = value.toLower().split(',').last().trimmed() == "chunked";
            }
        }
        if (m_headRequest || m_status == 204 || m_status == 304) {
            m_state = State::Complete;
            return false;
        }
        if (chunked) {
            m_phase = Phase::ChunkSize;
            return true;
        }
        if (!length.isEmpty()) {
            bool ok = false;
            m_remaining = length.toLongLong(&ok);
            if (!ok || m_remaining < 0) {
                fail(QStringLiteral("the answer states a malformed length"));
                return false;
            }
            m_phase = Phase::BodyLength;
            if (m_remaining == 0)
                m_state = State::Complete;
            return true;
        }
        m_phase = Phase::BodyUntilClose;
        return true;
    }

    const qint64 m_maxBodyBytes;
    const bool m_headRequest;
    State m_state { State::NeedMore };
    Phase m_phase { Phase::Head };
    QByteArray m_pending;
    QByteArray m_head;
    qsizetype m_headBytes { 0 };
    bool m_sawStatus { false };
    int m_status { 0 };
    HttpHeaders m_headers;
    QByteArray m_body;
    qint64 m_remaining { 0 };
    bool m_truncated { false };
    QString m_error;
};

QByteArray requestBytes(
    const QUrl& url, const QByteArray& method, const QByteArray& body, const HttpHeaders& headers)
{
    QByteArray target = url.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty())
        target = "/";
    if (url.hasQuery())
        target += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    QByteArray bytes = method + ' ' + target + " HTTP/1.1\r\n";
    bytes += "Host: " + url.adjusted(QUrl::RemoveUserInfo).authority(QUrl::FullyEncoded).toLatin1() + "\r\n";
    bool hasLength = false;
    for (const auto& [name, value] : headers) {
        // Header text is the caller's; line breaks in it would forge more headers.
        if (name.contains('\r') || name.contains('\n') || value.contains('\r') || value.contains('\n'))
            continue;
        hasLength = hasLength || name.compare("Content-Length", Qt::CaseInsensitive) == 0;
        bytes += name + ": " + value + "\r\n";
    }
    if (!hasLength && (!body.isEmpty() || method == "POST" || method == "PUT"))
        bytes += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    bytes += "Connection: close\r\n\r\n";
    return bytes + body;
}

// One request on its way: the method, place and body of the current hop.
struct Hop {
    QUrl url;
    QByteArray method;
    QByteArray body;
};

// The exchange as a whole: one local loop and one deadline shared by every hop.
class Exchange {
public:
    explicit Exchange(const HttpRequest& request)
        : m_request(request)
    {
        m_deadline.setSingleShot(true);
        QObject::connect(&m_deadline, &QTimer::timeout, &m_loop, [this] {
            m_expired = true;
            m_loop.quit();
        });
        m_abortPoll.setInterval(kAbortPollMs);
        QObject::connect(&m_abortPoll, &QTimer::timeout, &m_loop, [this] {
            if (g_aborted.load())
                m_loop.quit();
        });
        m_deadline.start(request.timeout);
        m_abortPoll.start();
    }

    HttpResult run()
    {
        Hop hop { m_request.url, m_request.method, m_request.body };
        for (int redirects = 0;; ++redirects) {
            QByteArray location;
            HttpResult result = sendOnce(hop, location);
            if (!result.error.isEmpty() || !isRedirect(result.statusCode) || location.isEmpty())
                return result;
            if (!followRedirect(hop, location, redirects, result))
                return result;
        }
    }

private:
    // Sends one hop and waits for its whole answer (or the deadline, or an abort). `location`
    // receives the answer's Location header.
    HttpResult sendOnce(const Hop& hop, QByteArray& location)
    {
        HttpResult result;
        const bool secure = hop.url.scheme().toLower() == QLatin1String("https");
        std::unique_ptr<QTcpSocket> socket;
        if (secure) {
            if (!QSslSocket::supportsSsl()) {
                result.error = QStringLiteral("https is not available on this system");
                return result;
            }
            socket = std::make_unique<QSslSocket>();
        } else {
            socket = std::make_unique<QTcpSocket>();
        }
        socket->setReadBufferSize(kSocketBufferBytes);
        AnswerParser parser(m_request.maxBodyBytes, hop.method == "HEAD");
        AnswerParser::State state = AnswerParser::State::NeedMore;
        QString socketError;
        const QByteArray outgoing = requestBytes(hop.url, hop.method, hop.body, m_request.headers);

        auto send = [&] { socket->write(outgoing); };
        auto readSome = [&] {
            while (state == AnswerParser::State::NeedMore && socket->bytesAvailable() > 0)
                state = parser.feed(socket->read(kSocketBufferBytes));
            if (state != AnswerParser::State::NeedMore)
                m_loop.quit();
        };
        auto ended = [&] {
            readSome();
            if (state == AnswerParser::State::NeedMore)
                state = parser.closed();
            m_loop.quit();
        };
        if (secure) {
            auto* ssl = static_cast<QSslSocket*>(socket.get());
            QObject::connect(ssl, &QSslSocket::encrypted, &m_loop, send);
        } else {
            QObject::connect(socket.get(), &QTcpSocket::connected, &m_loop, send);
        }
        QObject::connect(socket.get(), &QTcpSocket::readyRead, &m_loop, readSome);
        QObject::connect(socket.get(), &QTcpSocket::disconnected, &m_loop, ended);
        QObject::connect(
            socket.get(), &QTcpSocket::errorOccurred, &m_loop, [&](QAbstractSocket::SocketError error) {
                if (error == QAbstractSocket::RemoteHostClosedError)
                    return ended();
                socketError = socket->errorString();
                m_loop.quit();
            });

        const int port = portOf(hop.url);
        if (secure)
            static_cast<QSslSocket*>(socket.get())->connectToHostEncrypted(hop.url.host(), quint16(port));
        else
            socket->connectToHost(hop.url.host(), quint16(port));
        // (A quit before exec() would be lost, so nothing that already ended is waited for.)
        if (!m_expired && !g_aborted.load() && state == AnswerParser::State::NeedMore
            && socketError.isEmpty())
            m_loop.exec(QEventLoop::ExcludeUserInputEvents);

        result.statusCode = parser.statusCode();
        result.headers = parser.headers();
        result.body = std::move(parser.body());
        result.bodyTruncated = parser.bodyTruncated();
        if (state == AnswerParser::State::Complete) {
            for (const auto& [name, value] : result.headers) {
                if (name.compare("Location", Qt::CaseInsensitive) == 0)
                    location = value;
            }
        } else if (state == AnswerParser::State::Failed) {
            result.error = parser.error();
        } else if (!socketError.isEmpty()) {
            result.error = socketError;
        } else if (g_aborted.load()) {
            result.aborted = true;
            result.error = QStringLiteral("aborted");
        } else {
            result.timedOut = true;
            result.error = QStringLiteral("timed out after %1 ms").arg(m_request.timeout.count());
        }
        socket->abort();
        return result;
    }

    // Moves `hop` to the redirect's target; false (with the refusal in `result`) when the
    // target is of another origin or the redirect limit is reached.
    bool followRedirect(Hop& hop, const QByteArray& location, int redirectsSoFar, HttpResult& result) const
    {
        const QUrl target = hop.url.resolved(QUrl::fromEncoded(location));
        if (!isWebScheme(target) || !sameOrigin(target, m_request.url)) {
            // The report would go to a server it was never meant for.
            result.redirectRefused = true;
            result.error
                = QStringLiteral("redirect to another origin refused: %1").arg(target.toDisplayString());
            return false;
        }
        if (redirectsSoFar >= m_request.maxRedirects) {
            result.redirectRefused = true;
            result.error = QStringLiteral("more than %1 redirects").arg(m_request.maxRedirects);
            return false;
        }
        // As browsers do: 307 and 308 repeat the request, the others fetch the new place.
        const int status = result.statusCode;
        if (status != 307 && status != 308 && hop.method != "HEAD") {
            hop.method = "GET";
            hop.body.clear();
        }
        hop.url = target;
        return true;
    }

    const HttpRequest& m_request;
    QEventLoop m_loop;
    QTimer m_deadline;
    QTimer m_abortPoll;
    bool m_expired { false };
};

} // namespace

HttpResult HttpClient::send(const HttpRequest& request)
{
    HttpResult result;
    if (!isWebScheme(request.url) || request.url.host().isEmpty()) {
        result.error = QStringLiteral("unsupported URL: %1").arg(request.url.toDisplayString());
        return result;
    }
    if (g_aborted.load()) {
        result.aborted = true;
        result.error = QStringLiteral("aborted");
        return result;
    }
    return Exchange(request).run();
}

void HttpClient::abortAll()
{
    g_aborted.store(true);
}

void HttpClient::allowRequests()
{
    g_aborted.store(false);
}

} // namespace platform
