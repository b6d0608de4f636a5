// The raw bytes a collection server sends, through the real HTTP layer (platform::HttpClient via
// the uploads' TallyHTTPEater) over a loopback socket. The harness is the collection server on
// 127.0.0.1, so every request the layer makes to it — first try, re-send or same-origin redirect —
// arrives here, and nothing ever leaves the machine (a redirect elsewhere names another port, a
// host that does not resolve, or is refused before any connection). Each request is answered
// with the input and the connection closed.
//
// Promises checked: one upload is one request unless the answer redirects (and then at most one
// per hop), requests arrive in origin form, and an answer that stated a length and ended before
// it is never taken as delivered.

#include <cstdint>
#include <mutex>
#include <thread>

#include <QByteArray>
#include <QCoreApplication>
#include <QList>
#include <QUrl>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include "analytics/TallyHTTPEater.h"
#include "support/FuzzCheck.h"

namespace {

// The client's limit on redirects, plus the first request.
constexpr int kMostRequests = 6;

class LoopbackServer {
public:
    LoopbackServer()
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        FUZZ_CHECK(m_listen >= 0 && ::bind(m_listen, reinterpret_cast<sockaddr*>(&address), length) == 0
                && ::listen(m_listen, 16) == 0
                && ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length) == 0,
            "the loopback server listens");
        m_port = ntohs(address.sin_port);
        std::thread([this] { serve(); }).detach(); // lives as long as the process
    }

    quint16 port() const { return m_port; }

    void setAnswer(QByteArray answer)
    {
        std::scoped_lock lock(m_mutex);
        m_answer = std::move(answer);
        m_targets.clear();
    }
    QList<QByteArray> targets()
    {
        std::scoped_lock lock(m_mutex);
        return m_targets;
    }

private:
    void serve()
    {
        for (;;) {
            const int fd = ::accept(m_listen, nullptr, nullptr);
            if (fd < 0)
                continue;
            timeval limit { 2, 0 };
            ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
            const QByteArray request = readRequest(fd);
            QByteArray answer;
            {
                std::scoped_lock lock(m_mutex);
                const QList<QByteArray> words = request.left(request.indexOf("\r\n")).split(' ');
                m_targets.append(words.size() > 1 ? words.at(1) : QByteArray("?"));
                answer = m_answer;
            }
            for (qsizetype sent = 0; sent < answer.size();) {
                const ssize_t n
                    = ::send(fd, answer.constData() + sent, size_t(answer.size() - sent), MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                sent += n;
            }
            // The whole request has been read, so closing now ends the answer cleanly (no reset);
            // waiting for the client to close would wait for its deferred clean-up.
            ::shutdown(fd, SHUT_WR);
            ::close(fd);
        }
    }

    // The request head and as much of the body as it announces.
    static QByteArray readRequest(int fd)
    {
        QByteArray request;
        char buffer[4096];
        qsizetype headEnd = -1;
        qsizetype wanted = -1;
        while (wanted < 0 || request.size() < wanted) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            request.append(buffer, qsizetype(n));
            if (headEnd < 0 && (headEnd = request.indexOf("\r\n\r\n")) >= 0) {
                const QByteArray head = request.left(headEnd).toLower();
                const qsizetype at = head.indexOf("\r\ncontent-length:");
                const qsizetype length = at < 0
                    ? 0
                    : head.mid(at + 17, head.indexOf('\r', at + 2) - at - 17).trimmed().toLongLong();
                wanted = headEnd + 4 + length;
            }
        }
        return request;
    }

    int m_listen { -1 };
    quint16 m_port { 0 };
    std::mutex m_mutex; // guards m_answer and m_targets
    QByteArray m_answer;
    QList<QByteArray> m_targets;
};

LoopbackServer& server()
{
    static int argc = 1;
    static char name[] = "fuzz_http_wire";
    static char* argv[] = { name, nullptr };
    static QCoreApplication app(argc, argv);
    static LoopbackServer instance;
    return instance;
}

// The body length the answer states and the bytes it has after its head, when it is a plain
// final answer that states one (no chunking, not a redirect, not an answer without a body).
std::optional<std::pair<qint64, qint64>> statedAndSent(const QByteArray& answer)
{
    const qsizetype headEnd = answer.indexOf("\r\n\r\n");
    if (headEnd < 0 || !answer.startsWith("HTTP/1."))
        return std::nullopt;
    // Only a plainly framed head is judged: CRLF lines of printable ASCII, each a header with
    // its colon. Where framing is ambiguous (a bare CR, control or 8-bit bytes) parsers may
    // legitimately differ about where the body starts.
    const QByteArray head = answer.left(headEnd);
    for (const char c : head)
        if ((c < 0x20 || c > 0x7e) && c != '\r' && c != '\n')
            return std::nullopt;
    const QList<QByteArray> lines = head.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray& line = lines.at(i);
        const bool last = i == lines.size() - 1;
        if ((!last && !line.endsWith('\r')) || line.chopped(last ? 0 : 1).contains('\r')
            || (i > 0 && !line.contains(':')))
            return std::nullopt;
    }
    const QList<QByteArray> statusWords = lines.first().trimmed().split(' ');
    bool ok = false;
    const int status = statusWords.size() > 1 ? statusWords.at(1).toInt(&ok) : 0;
    if (!ok || status < 200 || status == 204 || status == 304 || (status >= 300 && status < 400))
        return std::nullopt;
    std::optional<qint64> stated;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed().toLower();
        if (line.startsWith("transfer-encoding") || line.startsWith(' ') || line.startsWith('\t'))
            return std::nullopt;
        if (line.startsWith("content-length:")) {
            if (stated)
                return std::nullopt; // stated twice: not a plain answer
            const QByteArray digits = line.mid(15).trimmed();
            const qint64 value = digits.toLongLong(&ok);
            if (!ok || digits.isEmpty() || digits.startsWith('+') || digits.startsWith('-'))
                return std::nullopt;
            stated = value;
        }
    }
    if (!stated)
        return std::nullopt;
    return std::pair { *stated, qint64(answer.size() - headEnd - 4) };
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    LoopbackServer& server = ::server();
    const QByteArray answer(reinterpret_cast<const char*>(data), qsizetype(size));
    server.setAnswer(answer);

    const QUrl url(QStringLiteral("http://127.0.0.1:%1/report.do").arg(server.port()));
    const auto response
        = analytics::TallyHTTPEater::sendMethod(QStringLiteral("POST"), url, QByteArray("report"),
            { { QStringLiteral("Content-Type"), QStringLiteral("application/octet-stream") } },
            std::chrono::seconds(3));

    const QList<QByteArray> targets = server.targets();
    for (const QByteArray& target : targets)
        FUZZ_CHECK(target.startsWith('/') || target == "?", "requests arrive in origin form");
    // A redirect anywhere in the answer (after interim 1xx answers too) may bring more requests.
    const bool redirects = answer.contains("HTTP/1.1 3") || answer.contains("HTTP/1.0 3");
    FUZZ_CHECK(targets.size() <= (redirects ? kMostRequests : 1), "one upload is one request");
    FUZZ_CHECK(response.body().size() <= analytics::TallyHTTPEater::kMaxAnswerBytes, "the answer is capped");
    if (const auto lengths = statedAndSent(answer); lengths && lengths->second < lengths->first)
        FUZZ_CHECK(!response.isDelivered(), "an answer that ended before its stated length is not delivered");
    return 0;
}
