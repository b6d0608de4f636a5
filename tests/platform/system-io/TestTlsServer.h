#pragma once

// An https server for tests on 127.0.0.1 at a random port, on a thread of its own: it counts the
// handshakes begun, records the decrypted bytes every connection sends and answers each whole
// request with 200 "secured". Its certificate is made at run time with the openssl command, once
// per process: one for 127.0.0.1 signed by a test authority (whose file is caFile()), the same for
// another host name, or one that signs itself.
//
// All public methods are for the test's thread; the destructor stops and joins the server thread.

#include <mutex>

#include <QByteArray>
#include <QString>
#include <QThread>
#include <QUrl>

class QObject;

namespace testing_support {

class TestTlsServer {
public:
    enum class Certificate { ForLoopback, ForOtherHost, SelfSigned };

    explicit TestTlsServer(Certificate certificate);
    ~TestTlsServer();
    TestTlsServer(const TestTlsServer&) = delete;
    TestTlsServer& operator=(const TestTlsServer&) = delete;

    // The test authority's certificate (PEM); empty when the openssl command failed.
    static QString caFile();

    bool isListening() const { return m_port != 0; }
    QUrl url() const;
    QByteArray received() const;
    // TLS handshakes begun, whether or not they completed.
    int handshakes() const;

private:
    QThread m_thread;
    QObject* m_context { nullptr }; // lives on m_thread; parent of the server and its sockets
    quint16 m_port { 0 };
    mutable std::mutex m_mutex; // guards m_received and m_handshakes
    QByteArray m_received;
    int m_handshakes { 0 };
};

} // namespace testing_support
