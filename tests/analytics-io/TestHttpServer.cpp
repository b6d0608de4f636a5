#include "TestHttpServer.h"

#include <memory>

#include <QHostAddress>
#include <QMetaObject>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>

namespace testing_support {

namespace {

// Per-connection parse state, kept on the socket itself.
const char* const kBufferProperty = "lumivueTestBuffer";
const char* const kDoneProperty = "lumivueTestDone";

} // namespace

QByteArray ReceivedRequest::header(const QByteArray& name) const
{
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

TestHttpServer::TestHttpServer(const std::optional<QSslConfiguration>& tls)
    : m_secure(tls.has_value())
{
    m_thread.setObjectName(QStringLiteral("TestHttpServer"));
    m_thread.start();
    m_context = new QObject; // deleted in the destructor once the thread has ended
    m_context->moveToThread(&m_thread);
    QMetaObject::invokeMethod(
        m_context,
        [this, &tls] {
            if (tls) {
                auto* secure = new QSslServer(m_context);
                secure->setSslConfiguration(*tls);
                QObject::connect(secure, &QSslServer::startedEncryptionHandshake, m_context, [this] {
                    std::scoped_lock lock(m_mutex);
                    ++m_handshakes;
                });
                m_server = secure;
            } else {
                m_server = new QTcpServer(m_context);
            }
            // (An https connection is pending only once its handshake is done.)
            QObject::connect(
                m_server, &QTcpServer::pendingConnectionAvailable, m_context, [this] { onNewConnection(); });
            m_server->listen(QHostAddress::LocalHost, 0);
            m_port = m_server->serverPort();
        },
        Qt::BlockingQueuedConnection);
}

TestHttpServer::~TestHttpServer()
{
    QMetaObject::invokeMethod(
        m_context,
        [this] {
            m_held.clear();
            const auto children = m_context->children();
            qDeleteAll(children);
            m_server = nullptr;
        },
        Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    delete m_context;
}

QUrl TestHttpServer::url(const QString& path) const
{
    return QUrl(QStringLiteral("%1://127.0.0.1:%2%3").arg(m_secure ? "https" : "http").arg(m_port).arg(path));
}

void TestHttpServer::setDefaultAnswer(const ScriptedAnswer& answer)
{
    std::scoped_lock lock(m_mutex);
    m_defaultAnswer = answer;
}

void TestHttpServer::enqueueAnswer(const ScriptedAnswer& answer)
{
    std::scoped_lock lock(m_mutex);
    m_script.push_back(answer);
}

QList<ReceivedRequest> TestHttpServer::requests() const
{
    std::scoped_lock lock(m_mutex);
    return m_requests;
}

int TestHttpServer::handshakes() const
{
    std::scoped_lock lock(m_mutex);
    return m_handshakes;
}

bool TestHttpServer::waitForRequests(int count, std::chrono::milliseconds limit) const
{
    std::unique_lock lock(m_mutex);
    return m_arrived.wait_for(lock, limit, [&] { return m_requests.size() >= count; });
}

void TestHttpServer::release()
{
    QMetaObject::invokeMethod(
        m_context,
        [this] {
            const auto held = std::exchange(m_held, {});
            for (const auto& [socket, scripted] : held) {
                ScriptedAnswer now = scripted;
                now.kind = ScriptedAnswer::Kind::Answer;
                answer(socket, now);
            }
        },
        Qt::BlockingQueuedConnection);
}

ScriptedAnswer TestHttpServer::nextAnswer()
{
    std::scoped_lock lock(m_mutex);
    if (m_script.empty())
        return m_defaultAnswer;
    ScriptedAnswer answer = m_script.front();
    m_script.pop_front();
    return answer;
}

void TestHttpServer::onNewConnection()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        socket->setParent(m_context);
        QObject::connect(socket, &QTcpSocket::readyRead, m_context, [this, socket] { onReadyRead(socket); });
        QObject::connect(socket, &QTcpSocket::disconnected, m_context, [this, socket] {
            for (qsizetype i = 0; i < m_held.size(); ++i) {
                if (m_held[i].first == socket) {
                    m_held.removeAt(i);
                    break;
                }
            }
            socket->deleteLater();
        });
    }
}

void TestHttpServer::onReadyRead(QTcpSocket* socket)
{
    if (socket->property(kDoneProperty).toBool()) {
        socket->readAll();
        return;
    }
    QByteArray buffer = socket->property(kBufferProperty).toByteArray() + socket->readAll();
    socket->setProperty(kBufferProperty, buffer);
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return;

    ReceivedRequest request;
    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    request.method = requestLine.value(0);
    request.path = requestLine.value(1);
    qint64 contentLength = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon).trimmed();
        const QByteArray value = line.mid(colon + 1).trimmed();
        request.headers.append({ name, value });
        if (name.compare("Content-Length", Qt::CaseInsensitive) == 0)
            contentLength = value.toLongLong();
    }
    const qsizetype bodyStart = headerEnd + 4;
    if (buffer.size() - bodyStart < contentLength)
        return; // wait for the rest of the body
    request.body = buffer.mid(bodyStart, contentLength);
    socket->setProperty(kDoneProperty, true);
    socket->setProperty(kBufferProperty, QByteArray());

    {
        std::scoped_lock lock(m_mutex);
        m_requests.append(request);
    }
    m_arrived.notify_all();
    answer(socket, nextAnswer());
}

void TestHttpServer::answer(QTcpSocket* socket, const ScriptedAnswer& scripted)
{
    using Kind = ScriptedAnswer::Kind;
    switch (scripted.kind) {
    case Kind::Silence:
        return;
    case Kind::Held:
        m_held.append({ socket, scripted });
        return;
    case Kind::Raw:
        socket->write(scripted.raw);
        socket->disconnectFromHost();
        return;
    case Kind::Answer:
    case Kind::Huge:
    case Kind::EndlessChunked:
        break;
    }
    // The reason phrase is never read by a client, so one serves every status.
    QByteArray head = "HTTP/1.1 " + QByteArray::number(scripted.statusCode) + " Scripted\r\n";
    if (scripted.kind == Kind::EndlessChunked)
        head += "Transfer-Encoding: chunked\r\n";
    else
        head += "Content-Length: "
            + QByteArray::number(scripted.kind == Kind::Huge ? scripted.hugeBodyBytes : scripted.body.size())
            + "\r\nConnection: close\r\n";
    for (const auto& [name, value] : scripted.headers)
        head += name + ": " + value + "\r\n";
    socket->write(head + "\r\n");
    if (scripted.kind == Kind::Answer) {
        socket->write(scripted.body);
        socket->disconnectFromHost();
        return;
    }
    // Streamed in slices as the client reads, so the server itself stays small; an endless body
    // has no count of bytes left (-1).
    const QByteArray slice = scripted.kind == Kind::Huge
        ? QByteArray(64 * 1024, 'x')
        : QByteArray("40\r\n" + QByteArray(64, 'x') + "\r\n").repeated(1000);
    auto left = std::make_shared<qint64>(scripted.kind == Kind::Huge ? scripted.hugeBodyBytes : -1);
    auto pump = [socket, left, slice] {
        while (*left != 0 && socket->state() == QAbstractSocket::ConnectedState
            && socket->bytesToWrite() < 256 * 1024) {
            const qint64 n = *left < 0 ? slice.size() : std::min<qint64>(slice.size(), *left);
            socket->write(slice.constData(), n);
            if (*left > 0)
                *left -= n;
        }
        if (*left == 0)
            socket->disconnectFromHost();
    };
    QObject::connect(socket, &QTcpSocket::bytesWritten, socket, pump);
    pump();
}

} // namespace testing_support
