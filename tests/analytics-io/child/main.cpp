// analytics_io_child DATA_DIR [end | upload URL]: starts the analytics layer with its files in
// DATA_DIR and prints "started MS" (the session's start, in ms since 1970). Then:
//   (no mode)   logs "TAKE_PICTURE" events with {"i": n} for n = 0, 1, 2, ... and prints n after
//               each logEvent has returned, until it is killed; nothing is sent anywhere;
//   end         logs three events, ends the session as a quit does, prints "ended" and exits;
//   upload URL  uploads to URL (the start-of-session upload), prints "uploaded" and exits.
// With LUMIVUE_FAULT_POINT set, the layer kills the process at that point instead.
#include <cstdio>
#include <cstring>
#include <memory>

#include <QCoreApplication>
#include <QString>
#include <QVariantMap>

#include "analytics/TallyAPI.h"
#include "analytics/TallyFileSessionStore.h"
#include "analytics/TallyPaths.h"
#include "analytics/TallySession.h"

namespace {

void say(const char* line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    const bool end = argc == 3 && std::strcmp(argv[2], "end") == 0;
    const bool upload = argc == 4 && std::strcmp(argv[2], "upload") == 0;
    if ((argc != 2 && !end && !upload) || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(stderr, "usage: analytics_io_child DATA_DIR [end | upload URL]\n");
        return argc == 2 ? 0 : 2;
    }
    QCoreApplication app(argc, argv); // the uploads' sockets and timers need one, as in the app
    analytics::TallyPaths::setDataDirectory(QString::fromLocal8Bit(argv[1]));
    if (upload) {
        analytics::TallyAPI::usePersistenceAndUpload();
        analytics::TallyAPI::setServerURL(QString::fromLocal8Bit(argv[3]));
    } else {
        analytics::TallySessionStore::setInstance(std::make_shared<analytics::TallyFileSessionStore>());
    }
    analytics::TallyAPI::startSession(QStringLiteral("KILLTEST"));
    const auto session = analytics::TallySession::currentSession();
    std::printf(
        "started %lld\n", session ? static_cast<long long>(session->startTime().toMSecsSinceEpoch()) : -1LL);
    std::fflush(stdout);
    if (upload) {
        analytics::TallyAPI::waitForUploads();
        say("uploaded");
        return 0;
    }
    for (int i = 0;; ++i) {
        if (end && i == 3) {
            analytics::TallyAPI::endSession();
            analytics::TallyAPI::waitForUploads();
            say("ended");
            return 0;
        }
        analytics::TallyAPI::logEvent(
            QStringLiteral("TAKE_PICTURE"), QVariantMap { { QStringLiteral("i"), i } });
        std::printf("%d\n", i);
        std::fflush(stdout);
    }
}
