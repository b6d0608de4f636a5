// lumivue-collector: receives the analytics reports of Lumivue, stores them exactly once in SQLite
// or PostgreSQL and serves a dashboard and a JSON API. `--help` lists the options.
//
// Threads: the main thread owns the server and, with a connection of its own, writes the minute's
// log line and deletes what is older than --keep-days; the server's listening thread accepts and
// its workers answer. SIGTERM and SIGINT are taken by the main thread only (blocked elsewhere): it
// stops accepting, lets the requests in flight finish, joins the threads and closes the database.

#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <thread>

#include <QCoreApplication>
#include <QDateTime>
#include <QUrl>

#include "CollectorDatabase.h"
#include "CollectorOptions.h"
#include "CollectorServer.h"

namespace {

constexpr int exitFailure = 1;
constexpr int exitUsage = 2; // the same for every Lumivue program
constexpr qint64 kMsPerDay = 24 * 3600 * 1000;

// The database as a log line may show it: no password.
QString shown(const QString& location)
{
    if (location.startsWith(QLatin1String("sqlite:")))
        return location;
    return QUrl(location).toString(QUrl::RemovePassword);
}

void deleteOld(collector::CollectorDatabase& database, int keepDays)
{
    const auto deleted = database.deleteBefore(QDateTime::currentMSecsSinceEpoch() - keepDays * kMsPerDay);
    if (!deleted)
        std::fprintf(
            stderr, "lumivue-collector: deleting old data failed: %s\n", qPrintable(database.error()));
    else if (*deleted > 0)
        std::fprintf(stderr, "lumivue-collector: deleted %lld sessions older than %d days\n",
            static_cast<long long>(*deleted), keepDays);
}

int serve(const collector::CollectorOptions& options, const QString& location,
    collector::CollectorDatabase& database)
{
    // Blocked before any thread starts, so every thread inherits the mask and only sigtimedwait() sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    collector::CollectorServer server(options, location);
    const int port = server.bind();
    if (port == 0) {
        std::fprintf(
            stderr, "lumivue-collector: cannot listen on %s:%u\n", qPrintable(options.host), options.port);
        return exitFailure;
    }
    std::thread serving([&server] { server.run(); });
    const QString host
        = options.host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(options.host) : options.host;
    std::fprintf(stderr,
        "lumivue-collector: listening on http://%s:%d/ (reports to /report.do), database %s\n",
        qPrintable(host), port, qPrintable(shown(location)));

    qint64 nextLog = QDateTime::currentMSecsSinceEpoch() + 60000;
    qint64 nextDeletion = QDateTime::currentMSecsSinceEpoch() + 3600000;
    long long total = 0;
    int signal = 0;
    while (signal <= 0) {
        const timespec second { 1, 0 };
        signal = sigtimedwait(&stopSignals, nullptr, &second);
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        if (now >= nextLog || signal > 0) {
            const auto counts = server.takeCounts();
            total += counts.stored;
            std::fprintf(stderr,
                "lumivue-collector: %s: %lld reports stored, %lld already stored, %lld refused, %lld failed; "
                "%lld stored since start\n",
                signal > 0 ? "since the last line" : "last minute", counts.stored, counts.duplicates,
                counts.refused, counts.failed, total);
            nextLog = now + 60000;
        }
        if (options.keepDays > 0 && now >= nextDeletion && signal <= 0) {
            deleteOld(database, options.keepDays);
            nextDeletion = now + 3600000;
        }
    }
    std::fprintf(stderr, "lumivue-collector: %s: finishing the requests in flight\n", strsignal(signal));
    server.stop();
    serving.join();
    std::fprintf(stderr, "lumivue-collector: stopped\n");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // Writes past a file-size limit fail (and are answered 503) instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    // The database and its folder hold what devices reported: readable by this user only.
    umask(0077);
    QCoreApplication application(argc, argv); // Qt SQL finds its drivers through it
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    const auto parsed
        = collector::CollectorOptions::parse(arguments, qEnvironmentVariable("LUMIVUE_COLLECTOR_TOKEN"));
    if (!parsed.options) {
        std::fprintf(
            stderr, "lumivue-collector: %s\nTry 'lumivue-collector --help'.\n", qPrintable(parsed.error));
        return exitUsage;
    }
    const collector::CollectorOptions& options = *parsed.options;
    switch (options.command) {
    case collector::CollectorOptions::Command::Help:
        std::fputs(collector::CollectorOptions::usage(), stdout);
        return 0;
    case collector::CollectorOptions::Command::Version:
        std::printf("lumivue-collector %s\n", LUMIVUE_VERSION);
        return 0;
    default:
        break;
    }

    const QString location
        = options.database.isEmpty() ? collector::CollectorOptions::defaultDatabase() : options.database;
    collector::CollectorDatabase database(location);
    if (!database.migrate()) {
        std::fprintf(
            stderr, "lumivue-collector: %s: %s\n", qPrintable(shown(location)), qPrintable(database.error()));
        return exitFailure;
    }
    if (options.command == collector::CollectorOptions::Command::Forget) {
        const auto sessions = database.forget(options.forgetDevice);
        if (!sessions) {
            std::fprintf(stderr, "lumivue-collector: forgetting failed: %s\n", qPrintable(database.error()));
            return exitFailure;
        }
        std::printf("forgot device %s: %lld sessions deleted\n", qPrintable(options.forgetDevice),
            static_cast<long long>(*sessions));
        return 0;
    }
    if (options.keepDays > 0)
        deleteOld(database, options.keepDays);
    return serve(options, location, database);
}
