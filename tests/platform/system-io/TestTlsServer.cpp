#include "TestTlsServer.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QMetaObject>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTemporaryDir>

namespace testing_support {

namespace {

const char* const kConfig = R"([req]
distinguished_name = name
prompt = no
[name]
CN = Lumivue test authority
[authority]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign
[loopback]
basicConstraints = CA:FALSE
subjectAltName = IP:127.0.0.1
[other]
basicConstraints = CA:FALSE
subjectAltName = DNS:collector.invalid
)";

// The certificates, made on first use in a folder that lasts as long as the process.
struct Certificates {
    QTemporaryDir dir;
    bool made { false };

    Certificates()
    {
        QFile config(dir.filePath(QStringLiteral("openssl.cnf")));
        made = config.open(QIODevice::WriteOnly) && config.write(kConfig) > 0;
        config.close();
        const QStringList ecKey { "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-days",
            "2", "-config", "openssl.cnf" };
        made = made
            && run(QStringList {
                       "req", "-x509", "-extensions", "authority", "-keyout", "ca.key", "-out", "ca.pem" }
                + ecKey)
            && run(QStringList {
                       "req", "-new", "-subj", "/CN=127.0.0.1", "-keyout", "leaf.key", "-out", "leaf.csr" }
                + ecKey)
            && sign("loopback") && sign("other")
            && run(QStringList { "req", "-x509", "-subj", "/CN=127.0.0.1", "-extensions", "loopback",
                       "-keyout", "self.key", "-out", "self.pem" }
                + ecKey);
    }

    bool sign(const QString& extensions)
    {
        return run({ "x509", "-req", "-in", "leaf.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-set_serial",
            "2", "-days", "2", "-extfile", "openssl.cnf", "-extensions", extensions, "-out",
            extensions + ".pem" });
    }

    bool run(const QStringList& arguments)
    {
        QProcess openssl;
        openssl.setWorkingDirectory(dir.path());
        openssl.start(QStringLiteral("openssl"), arguments);
        return openssl.waitForFinished(60000) && openssl.exitStatus() == QProcess::NormalExit
            && openssl.exitCode() == 0;
    }
};

Certificates& certificates()
{
    static Certificates made;
    return made;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Whether `bytes` hold a request head and as much body as it announces.
bool isWholeRequest(const QByteArray& bytes)
{
    const qsizetype headEnd = bytes.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return false;
    const QByteArray head = bytes.left(headEnd).toLower();
    const qsizetype at = head.indexOf("\r\ncontent-length:");
    const qint64 length
        = at < 0 ? 0 : head.mid(at + 17, head.indexOf('\r', at + 2) - at - 17).trimmed().toLongLong();
    return bytes.size() >= headEnd + 4 + length;
}

} // namespace

QString TestTlsServer::caFile()
{
    const Certificates& made = certificates();
    return made.made ? made.dir.filePath(QStringLiteral("ca.pem")) : QString();
}

TestTlsServer::TestTlsServer(Certificate certificate)
{
    const Certificates& made = certificates();
    if (!made.made)
        return;
    const char* name = certificate == Certificate::ForLoopback ? "loopback"
        : certificate == Certificate::ForOtherHost             ? "other"
                                                               : "self";
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(
        QSslCertificate(readFile(made.dir.filePath(QString::fromLatin1(name) + QStringLiteral(".pem")))));
    configuration.setPrivateKey(QSslKey(
        readFile(made.dir.filePath(certificate == Certificate::SelfSigned ? QStringLiteral("self.key")
                                                                          : QStringLiteral("leaf.key"))),
        QSsl::Ec));
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);

    m_thread.setObjectName(QStringLiteral("TestTlsServer"));
    m_thread.start();
    m_context = new QObject; // deleted in the destructor once the thread has ended
    m_context->moveToThread(&m_thread);
    QMetaObject::invokeMethod(
        m_context,
        [this, configuration] {
            auto* server = new QSslServer(m_context);
            server->setSslConfiguration(configuration);
            QObject::connect(server, &QSslServer::startedEncryptionHandshake, m_context, [this] {
                std::scoped_lock lock(m_mutex);
                ++m_handshakes;
            });
            QObject::connect(server, &QSslServer::pendingConnectionAvailable, m_context, [this, server] {
                while (QTcpSocket* socket = server->nextPendingConnection()) {
                    socket->setParent(m_context);
                    QObject::connect(socket, &QTcpSocket::readyRead, m_context, [this, socket] {
                        const QByteArray bytes = socket->readAll();
                        QByteArray all = socket->property("received").toByteArray() + bytes;
                        socket->setProperty("received", all);
                        {
                            std::scoped_lock lock(m_mutex);
                            m_received += bytes;
                        }
                        if (isWholeRequest(all) && !socket->property("answered").toBool()) {
                            socket->setProperty("answered", true);
                            socket->write(
                                "HTTP/1.1 200 OK\r\nContent-Length: 7\r\nConnection: close\r\n\r\nsecured");
                            socket->disconnectFromHost();
                        }
                    });
                    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                }
            });
            if (server->listen(QHostAddress::LocalHost, 0))
                m_port = server->serverPort();
        },
        Qt::BlockingQueuedConnection);
}

TestTlsServer::~TestTlsServer()
{
    if (!m_context)
        return;
    QMetaObject::invokeMethod(
        m_context,
        [this] {
            const auto children = m_context->children();
            qDeleteAll(children);
        },
        Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    delete m_context;
}

QUrl TestTlsServer::url() const
{
    return QUrl(QStringLiteral("https://127.0.0.1:%1/report.do").arg(m_port));
}

QByteArray TestTlsServer::received() const
{
    std::scoped_lock lock(m_mutex);
    return m_received;
}

int TestTlsServer::handshakes() const
{
    std::scoped_lock lock(m_mutex);
    return m_handshakes;
}

} // namespace testing_support
