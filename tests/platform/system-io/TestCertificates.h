#pragma once

// TLS certificates for test servers on 127.0.0.1, made at run time with the openssl command, once
// per process: one for 127.0.0.1 signed by a test authority, the same for another host name, and
// one for 127.0.0.1 that signs itself. Any thread.

#include <optional>

#include <QSslConfiguration>
#include <QString>

namespace testing_support {

enum class TestCertificate { ForLoopback, ForOtherHost, SelfSigned };

// The server side (certificate and key) for TestHttpServer; none when the openssl command failed.
std::optional<QSslConfiguration> testServerTls(TestCertificate certificate);
// The test authority's certificate (PEM file).
QString testAuthorityFile();

} // namespace testing_support
