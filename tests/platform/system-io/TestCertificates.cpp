#include "TestCertificates.h"

#include <QFile>
#include <QProcess>
#include <QSslCertificate>
#include <QSslKey>
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

// Made on first use, in a folder that lasts as long as the process.
struct Certificates {
    QTemporaryDir dir;
    bool made { false };

    Certificates()
    {
        QFile config(dir.filePath(QStringLiteral("openssl.cnf")));
        made = config.open(QIODevice::WriteOnly) && config.write(kConfig) > 0;
        config.close();
        const QStringList newKey { "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-days",
            "2", "-config", "openssl.cnf" };
        const QStringList sign { "x509", "-req", "-in", "leaf.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
            "-set_serial", "2", "-days", "2", "-extfile", "openssl.cnf", "-extensions" };
        made = made
            && run(QStringList {
                       "req", "-x509", "-extensions", "authority", "-keyout", "ca.key", "-out", "ca.pem" }
                + newKey)
            && run(QStringList {
                       "req", "-new", "-subj", "/CN=127.0.0.1", "-keyout", "leaf.key", "-out", "leaf.csr" }
                + newKey)
            && run(sign + QStringList { "loopback", "-out", "loopback.pem" })
            && run(sign + QStringList { "other", "-out", "other.pem" })
            && run(QStringList { "req", "-x509", "-subj", "/CN=127.0.0.1", "-extensions", "loopback",
                       "-keyout", "self.key", "-out", "self.pem" }
                + newKey);
    }

    bool run(const QStringList& arguments)
    {
        QProcess openssl;
        openssl.setWorkingDirectory(dir.path());
        openssl.start(QStringLiteral("openssl"), arguments);
        return openssl.waitForFinished(60000) && openssl.exitStatus() == QProcess::NormalExit
            && openssl.exitCode() == 0;
    }

    QByteArray read(const char* name) const
    {
        QFile file(dir.filePath(QLatin1String(name)));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

const Certificates& certificates()
{
    static const Certificates made;
    return made;
}

} // namespace

std::optional<QSslConfiguration> testServerTls(TestCertificate certificate)
{
    const Certificates& made = certificates();
    if (!made.made)
        return std::nullopt;
    const bool self = certificate == TestCertificate::SelfSigned;
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(QSslCertificate(made.read(self ? "self.pem"
            : certificate == TestCertificate::ForLoopback  ? "loopback.pem"
                                                           : "other.pem")));
    tls.setPrivateKey(QSslKey(made.read(self ? "self.key" : "leaf.key"), QSsl::Ec));
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    return tls;
}

QString testAuthorityFile()
{
    return certificates().dir.filePath(QStringLiteral("ca.pem"));
}

} // namespace testing_support
