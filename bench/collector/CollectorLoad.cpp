// Load and faults against a running lumivue-collector. N reports, each one distinct session made by
// the app's own report writer, are posted by C clients at once (libcurl multi, one thread). A report
// not answered 200 (refused, connection lost, collector killed) is sent again after a pause, as the
// app does, until --retry-for runs out. Then what the collector stored is checked against what it
// answered 200: /api/summary and, with --db, the database's own rows. Prints one table row:
//
//   label  reports  clients  answered-200  re-sent  503s  no-answer  lost  duplicated
//   stored-without-200  reports/s  p50-ms  p99-ms (of the 200 answers)
//
//   collector-load --url http://127.0.0.1:8642 [--reports 10000] [--clients 200] [--retry-for 300]
//                  [--db sqlite:PATH|postgresql://…] [--label TEXT]
//
// Exit status 0 when nothing answered 200 is missing or stored twice and, with retries, every report
// was answered 200 in the end; 1 otherwise, 2 for a wrong command line. The collector must answer
// /api/summary when the program starts.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QSqlQuery>
#include <QStringList>
#include <QTimeZone>

#include <curl/curl.h>

#include "CollectorDatabase.h"
#include "analytics/TallyEvent.h"
#include "analytics/TallySession.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    QString url { QStringLiteral("http://127.0.0.1:8642") };
    int reports { 10000 };
    int clients { 200 };
    int retryForSeconds { 300 };
    QString database;
    QString label { QStringLiteral("load") };
};

std::optional<Options> parse(QStringList arguments)
{
    Options options;
    while (arguments.size() >= 2) {
        const QString name = arguments.takeFirst();
        const QString value = arguments.takeFirst();
        bool ok = true;
        if (name == u"--url")
            options.url = value;
        else if (name == u"--reports")
            options.reports = value.toInt(&ok);
        else if (name == u"--clients")
            options.clients = value.toInt(&ok);
        else if (name == u"--retry-for")
            options.retryForSeconds = value.toInt(&ok);
        else if (name == u"--db")
            options.database = value;
        else if (name == u"--label")
            options.label = value;
        else
            ok = false;
        if (!ok) {
            std::fprintf(stderr, "collector-load: bad option %s %s\n", qPrintable(name), qPrintable(value));
            return std::nullopt;
        }
    }
    if (!arguments.isEmpty() || options.reports < 1 || options.clients < 1 || options.retryForSeconds < 0)
        return std::nullopt;
    return options;
}

// Events each session carries, by name: what the stored counts must come to per session.
constexpr std::pair<const char*, int> eventsPerSession[] = { { "TAKE_PICTURE", 2 }, { "NIGHT_MODE_ON", 1 } };
constexpr int eventRecordsPerSession = 3;

// The report of session `index`: its start is `base` plus `index` seconds, so no two are one session.
QByteArray report(qint64 base, int index)
{
    analytics::TallySessionState state;
    state.startTime = QDateTime::fromMSecsSinceEpoch(base + qint64(index) * 1000, QTimeZone::utc());
    state.endTime = state.startTime.addSecs(5 + index % 600);
    state.apiKey = QStringLiteral("LOADTEST");
    state.appVersion = QStringLiteral("1.%1.0").arg(index % 3);
    state.locale = QStringLiteral("de_DE");
    state.timeZone = QStringLiteral("Europe/Berlin");
    state.pageViewCount = 1 + index % 4;
    for (const auto& [name, count] : eventsPerSession) {
        state.eventCounts[QLatin1String(name)] = count;
        for (int i = 0; i < count; ++i) {
            analytics::TallyEvent event { QString::fromLatin1(name) };
            event.setStarted(state.startTime.addMSecs(100 * (i + 1)));
            state.eventLog.append(event);
        }
    }
    const auto session = std::make_shared<const analytics::TallySession>(state);
    return analytics::TallySession::dataForSessions({ session }, false);
}

size_t collect(char* data, size_t size, size_t count, void* into)
{
    static_cast<std::string*>(into)->append(data, size * count);
    return size * count;
}

// GET of a JSON object, or nothing when the collector did not answer 200 with one.
std::optional<QJsonObject> getJson(const QString& url)
{
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> easy(curl_easy_init(), curl_easy_cleanup);
    std::string body;
    const QByteArray address = url.toUtf8();
    curl_easy_setopt(easy.get(), CURLOPT_URL, address.constData());
    curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(easy.get(), CURLOPT_TIMEOUT_MS, 60000L);
    long status = 0;
    if (curl_easy_perform(easy.get()) != CURLE_OK
        || curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status != 200)
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(body));
    return document.isObject() ? std::optional(document.object()) : std::nullopt;
}

std::optional<QJsonObject> summary(const QString& url, int waitSeconds)
{
    const auto until = Clock::now() + std::chrono::seconds(waitSeconds);
    for (;;) {
        if (auto answer = getJson(url + QStringLiteral("/api/summary")))
            return answer;
        if (Clock::now() > until)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
}

// The rows a report leaves behind, counted in the database itself.
struct Rows {
    qint64 reports { -1 };
    qint64 sessions { -1 };
    qint64 events { -1 };
};

Rows databaseRows(const QString& location)
{
    Rows rows;
    if (location.isEmpty())
        return rows;
    collector::CollectorDatabase database(location);
    if (!database.ensureOpen()) {
        std::fprintf(stderr, "collector-load: %s\n", qPrintable(database.error()));
        return rows;
    }
    for (auto [table, into] : { std::pair { "reports", &rows.reports },
             std::pair { "sessions", &rows.sessions }, std::pair { "events", &rows.events } }) {
        QSqlQuery query(database.connection());
        if (query.exec(QStringLiteral("SELECT COUNT(*) FROM ") + QLatin1String(table)) && query.next())
            *into = query.value(0).toLongLong();
    }
    return rows;
}

struct Sent {
    std::vector<bool> answered; // by report: answered 200
    std::vector<double> latencyMs; // of the 200 answers
    int resent { 0 };
    int unavailable { 0 }; // 503 answers
    int otherStatus { 0 }; // any other answer but 200 and 503
    int unanswered { 0 }; // no answer: refused, reset or timed out connections
    QMap<QString, int> transportErrors;
    double seconds { 0 };
};

// The clients: each slot posts one report at a time; an unanswered report goes back in the queue.
Sent send(const Options& options, const std::vector<QByteArray>& bodies)
{
    Sent sent;
    sent.answered.assign(bodies.size(), false);
    std::deque<int> fresh;
    for (int i = 0; i < int(bodies.size()); ++i)
        fresh.push_back(i);
    std::deque<std::pair<Clock::time_point, int>> again; // not before, report
    const auto start = Clock::now();
    const auto giveUp = start + std::chrono::seconds(options.retryForSeconds);
    const QByteArray address = (options.url + QStringLiteral("/report.do")).toUtf8();

    CURLM* multi = curl_multi_init();
    curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/octet-stream");
    struct Slot {
        CURL* easy { nullptr };
        int report { -1 };
    };
    std::vector<Slot> clients(size_t(options.clients));
    auto next = [&](Slot& slot) {
        slot.report = -1;
        if (!again.empty() && again.front().first <= Clock::now()) {
            slot.report = again.front().second;
            again.pop_front();
            ++sent.resent;
        } else if (!fresh.empty()) {
            slot.report = fresh.front();
            fresh.pop_front();
        }
        if (slot.report < 0)
            return;
        const QByteArray& body = bodies[size_t(slot.report)];
        curl_easy_setopt(slot.easy, CURLOPT_POSTFIELDS, body.constData());
        curl_easy_setopt(slot.easy, CURLOPT_POSTFIELDSIZE, long(body.size()));
        curl_multi_add_handle(multi, slot.easy);
    };
    for (Slot& slot : clients) {
        slot.easy = curl_easy_init();
        curl_easy_setopt(slot.easy, CURLOPT_URL, address.constData());
        curl_easy_setopt(slot.easy, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(
            slot.easy, CURLOPT_WRITEFUNCTION,
            +[](char*, size_t size, size_t count, void*) { return size * count; });
        // A connection per report, as each phone opens its own: a kept-alive connection would hold
        // one of the collector's workers for many reports.
        curl_easy_setopt(slot.easy, CURLOPT_FORBID_REUSE, 1L);
        curl_easy_setopt(slot.easy, CURLOPT_CONNECTTIMEOUT_MS, 5000L);
        curl_easy_setopt(slot.easy, CURLOPT_TIMEOUT_MS, 60000L);
        curl_easy_setopt(slot.easy, CURLOPT_PRIVATE, &slot);
        next(slot);
    }

    auto busy = [&] {
        return std::any_of(
            clients.cbegin(), clients.cend(), [](const Slot& slot) { return slot.report >= 0; });
    };
    while (busy() || !fresh.empty() || !again.empty()) {
        int running = 0;
        curl_multi_perform(multi, &running);
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
            if (message->msg != CURLMSG_DONE)
                continue;
            Slot* slot = nullptr;
            curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &slot);
            long status = 0;
            curl_easy_getinfo(slot->easy, CURLINFO_RESPONSE_CODE, &status);
            curl_multi_remove_handle(multi, slot->easy);
            if (message->data.result == CURLE_OK && status == 200) {
                curl_off_t micros = 0;
                curl_easy_getinfo(slot->easy, CURLINFO_TOTAL_TIME_T, &micros);
                sent.latencyMs.push_back(double(micros) / 1000);
                sent.answered[size_t(slot->report)] = true;
            } else {
                sent.unavailable += status == 503;
                sent.otherStatus += message->data.result == CURLE_OK && status != 503;
                if (message->data.result != CURLE_OK) {
                    ++sent.unanswered;
                    ++sent.transportErrors[QString::fromUtf8(curl_easy_strerror(message->data.result))];
                }
                // Refused or lost: later again, as the app keeps the report and retries; after the
                // pause the collector asks for (at most 10 s), or half a second.
                curl_off_t retryAfter = 0;
                curl_easy_getinfo(slot->easy, CURLINFO_RETRY_AFTER, &retryAfter);
                const auto pause = retryAfter > 0
                    ? std::chrono::milliseconds(std::min<curl_off_t>(retryAfter, 10) * 1000)
                    : std::chrono::milliseconds(500);
                if (Clock::now() < giveUp) {
                    const std::pair entry { Clock::now() + pause, slot->report };
                    again.insert(std::upper_bound(again.begin(), again.end(), entry), entry);
                }
            }
            next(*slot);
        }
        for (Slot& slot : clients)
            if (slot.report < 0
                && (!fresh.empty() || (!again.empty() && again.front().first <= Clock::now())))
                next(slot);
        curl_multi_poll(multi, nullptr, 0, 50, nullptr);
    }
    sent.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    for (Slot& slot : clients)
        curl_easy_cleanup(slot.easy);
    curl_slist_free_all(headers);
    curl_multi_cleanup(multi);
    return sent;
}

double percentile(std::vector<double> values, double share)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(double(values.size()) * share))];
}

qint64 number(const QJsonObject& object, const char* key)
{
    return qint64(object[QLatin1String(key)].toDouble());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv); // Qt SQL finds its drivers through it
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    const auto options = parse(arguments);
    if (!options) {
        std::fprintf(stderr,
            "usage: collector-load --url URL [--reports N] [--clients N] [--retry-for SECONDS] "
            "[--db DATABASE] [--label TEXT]\n");
        return 2;
    }
    curl_global_init(CURL_GLOBAL_DEFAULT);
    const auto before = summary(options->url, 30);
    if (!before) {
        std::fprintf(stderr, "collector-load: %s/api/summary does not answer\n", qPrintable(options->url));
        return 1;
    }
    const Rows rowsBefore = databaseRows(options->database);

    // Seconds apart, on a millisecond another run is unlikely to have used.
    const qint64 base = QDateTime::currentMSecsSinceEpoch() - qint64(options->reports) * 1000;
    std::vector<QByteArray> bodies;
    bodies.reserve(size_t(options->reports));
    for (int i = 0; i < options->reports; ++i)
        bodies.push_back(report(base, i));

    const Sent sent = send(*options, bodies);
    const qint64 answered = std::count(sent.answered.cbegin(), sent.answered.cend(), true);

    // Everything answered 200 is there once; nothing else is there but what was refused and stored.
    const auto after = summary(options->url, std::max(30, options->retryForSeconds));
    if (!after) {
        std::fprintf(stderr, "collector-load: %s/api/summary does not answer after the load\n",
            qPrintable(options->url));
        return 1;
    }
    const qint64 reports = number(*after, "reports") - number(*before, "reports");
    const qint64 sessions = number(*after, "sessions") - number(*before, "sessions");
    QStringList faults;
    if (reports != sessions)
        faults << QStringLiteral("%1 reports stored but %2 sessions").arg(reports).arg(sessions);
    const QJsonObject eventsBefore = (*before)[QLatin1String("events")].toObject();
    const QJsonObject eventsAfter = (*after)[QLatin1String("events")].toObject();
    for (const auto& [name, count] : eventsPerSession) {
        const qint64 added = number(eventsAfter, name) - number(eventsBefore, name);
        if (added != sessions * count)
            faults << QStringLiteral("%1 %2 events for %3 sessions")
                          .arg(added)
                          .arg(QLatin1String(name))
                          .arg(sessions);
    }
    const Rows rowsAfter = databaseRows(options->database);
    if (rowsAfter.reports >= 0) {
        const qint64 rowReports = rowsAfter.reports - rowsBefore.reports;
        const qint64 rowSessions = rowsAfter.sessions - rowsBefore.sessions;
        const qint64 rowEvents = rowsAfter.events - rowsBefore.events;
        if (rowReports != reports || rowSessions != sessions
            || rowEvents != sessions * eventRecordsPerSession)
            faults << QStringLiteral(
                "the database holds %1 reports, %2 sessions, %3 events; the summary says %4 and %5")
                          .arg(rowReports)
                          .arg(rowSessions)
                          .arg(rowEvents)
                          .arg(reports)
                          .arg(sessions);
    } else if (!options->database.isEmpty()) {
        faults << QStringLiteral("the database could not be counted");
    }
    const qint64 lost = std::max<qint64>(0, answered - reports);
    const qint64 unansweredStored = std::max<qint64>(0, reports - answered);
    const qint64 duplicated = std::max<qint64>(0, sessions - reports);
    if (lost > 0)
        faults << QStringLiteral("%1 reports answered 200 are not stored").arg(lost);
    if (options->retryForSeconds > 0 && answered < options->reports)
        faults << QStringLiteral("%1 reports not answered 200 within %2 s")
                      .arg(options->reports - answered)
                      .arg(options->retryForSeconds);
    if (sent.otherStatus > 0)
        faults << QStringLiteral("%1 answers neither 200 nor 503").arg(sent.otherStatus);

    std::printf("%-26s %7d %7d %8lld %7d %6d %6d %5lld %5lld %6lld %9.0f %8.1f %8.1f\n",
        qPrintable(options->label), options->reports, options->clients, static_cast<long long>(answered),
        sent.resent, sent.unavailable, sent.unanswered, static_cast<long long>(lost),
        static_cast<long long>(duplicated), static_cast<long long>(unansweredStored),
        double(answered) / std::max(sent.seconds, 1e-9), percentile(sent.latencyMs, 0.5),
        percentile(sent.latencyMs, 0.99));
    for (auto error = sent.transportErrors.cbegin(); error != sent.transportErrors.cend(); ++error)
        std::fprintf(stderr, "collector-load: %s: %d times no answer: %s\n", qPrintable(options->label),
            error.value(), qPrintable(error.key()));
    for (const QString& fault : faults)
        std::fprintf(stderr, "collector-load: %s: %s\n", qPrintable(options->label), qPrintable(fault));
    curl_global_cleanup();
    return faults.isEmpty() ? 0 : 1;
}
