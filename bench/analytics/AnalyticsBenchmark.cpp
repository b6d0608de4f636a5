// The cost of logEvent once the session already holds its 1000 logged events: every call
// rewrites the whole current-session archive (atomically, in a temporary folder on this
// machine's disk). Reports the median and 99th percentile per call and the archive's size.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "analytics/TallyAPI.h"
#include "analytics/TallyFileSessionStore.h"
#include "analytics/TallyHeartBeater.h"
#include "analytics/TallyPaths.h"
#include "analytics/TallySession.h"

namespace {

void BM_LogEventWithFullSession(benchmark::State& state)
{
    QTemporaryDir data;
    analytics::TallyAPI::resetForTesting();
    analytics::TallyPaths::setDataDirectory(data.path());
    auto store = std::make_shared<analytics::TallyFileSessionStore>();
    analytics::TallySessionStore::setInstance(store);
    analytics::TallyAPI::startSession(QStringLiteral("BENCH"));
    analytics::TallyAPI::waitForUploads();
    for (int i = 0; i < analytics::TallySession::maxLoggedEvents; ++i)
        analytics::TallyAPI::logEvent(
            QStringLiteral("TAKE_PICTURE"), QVariantMap { { QStringLiteral("i"), i } });

    std::vector<double> micros;
    micros.reserve(4096);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        analytics::TallyAPI::logEvent(QStringLiteral("TAKE_PICTURE"));
        const auto end = std::chrono::steady_clock::now();
        micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }

    std::sort(micros.begin(), micros.end());
    const double median = micros[micros.size() / 2];
    const double p99 = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
    const qint64 archiveBytes = QFileInfo(store->currentSessionFilePath()).size();
    state.counters["median_us"] = median;
    state.counters["p99_us"] = p99;
    state.counters["archive_bytes"] = double(archiveBytes);
    std::printf("logEvent with %d events in the session: median %.0f us, p99 %.0f us, archive %lld bytes "
                "(%zu calls)\n",
        analytics::TallySession::maxLoggedEvents, median, p99, static_cast<long long>(archiveBytes),
        micros.size());

    analytics::TallyAPI::resetForTesting();
    analytics::TallyPaths::setDataDirectory({});
}
BENCHMARK(BM_LogEventWithFullSession)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
