// analytics_io_child DATA_DIR: starts the analytics layer with its files in DATA_DIR, prints
// "started", then logs "TAKE_PICTURE" events with {"i": n} for n = 0, 1, 2, ... and prints n after
// each logEvent has returned, until it is killed. Nothing is sent anywhere.
#include <cstdio>
#include <cstring>
#include <memory>

#include <QString>
#include <QVariantMap>

#include "analytics/TallyAPI.h"
#include "analytics/TallyFileSessionStore.h"
#include "analytics/TallyPaths.h"

int main(int argc, char** argv)
{
    if (argc != 2 || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(stderr, "usage: analytics_io_child DATA_DIR\n");
        return argc == 2 ? 0 : 2;
    }
    analytics::TallyPaths::setDataDirectory(QString::fromLocal8Bit(argv[1]));
    analytics::TallySessionStore::setInstance(std::make_shared<analytics::TallyFileSessionStore>());
    analytics::TallyAPI::startSession(QStringLiteral("KILLTEST"));
    std::printf("started\n");
    std::fflush(stdout);
    for (int i = 0;; ++i) {
        analytics::TallyAPI::logEvent(QStringLiteral("TAKE_PICTURE"), QVariantMap { { QStringLiteral("i"), i } });
        std::printf("%d\n", i);
        std::fflush(stdout);
    }
}
