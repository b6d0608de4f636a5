#pragma once

// The collector's HTTP side (cpp-httplib): POST /report.do stores a report and answers only once
// it is committed; GET / (the dashboard page), /api/summary, /api/dashboard, /api/sessions.csv and
// /api/events.csv read. Bounded: the body size (413 beyond it), request read and write time,
// keep-alive requests per connection, header size (the library's 8 KiB), and the connections
// waiting for a worker (BoundedTaskQueue: 503 beyond it).
//
// Threads: construct, bind() and stop() from one controlling thread; run() blocks the thread
// that calls it until stop(). Requests run on the worker threads, each with its own database
// connection, closed when the worker ends. takeCounts() may be called from any thread.

#include <atomic>
#include <memory>

#include <QString>

#include "CollectorOptions.h"

namespace httplib {
class Server;
}

namespace collector {

class CollectorServer {
public:
    CollectorServer(const CollectorOptions& options, const QString& database);
    ~CollectorServer();
    CollectorServer(const CollectorServer&) = delete;
    CollectorServer& operator=(const CollectorServer&) = delete;

    // Binds the listening socket; the port (the one chosen when the options ask for 0), or 0
    // when the address cannot be used.
    int bind();
    void run();
    // Stops accepting; run() returns after the requests in flight are answered.
    void stop();

    // Report answers since the last call.
    struct Counts {
        long long stored { 0 };
        long long duplicates { 0 };
        long long refused { 0 }; // 400, 413
        long long failed { 0 }; // 503
    };
    Counts takeCounts();

    static constexpr int kWorkers = 32;
    static constexpr int kMaxPendingConnections = 256;

private:
    void route();
    void logFailure(const QString& error);

    CollectorOptions m_options;
    QString m_database;
    std::unique_ptr<httplib::Server> m_server;
    int m_listeningSocket { -1 }; // set when the library makes its socket
    std::atomic<long long> m_stored { 0 };
    std::atomic<long long> m_duplicates { 0 };
    std::atomic<long long> m_refused { 0 };
    std::atomic<long long> m_failed { 0 };
    std::atomic<long long> m_lastFailureLogMs { 0 };
};

} // namespace collector
