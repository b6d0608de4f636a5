#include "CollectorServer.h"

#include <sys/socket.h>

#include <chrono>
#include <cstdio>

#include <QDateTime>
#include <QJsonDocument>

#include <httplib.h>

#include "BoundedTaskQueue.h"
#include "CollectorDatabase.h"
#include "CollectorQueries.h"
#include "DashboardPage.h"
#include "ReportRows.h"
#include "analytics/TallyReportDecoder.h"

namespace collector {

namespace {

// Each worker's own connection, closed on that thread when it ends.
thread_local std::unique_ptr<CollectorDatabase> t_database;

CollectorDatabase& database(const QString& location)
{
    if (!t_database)
        t_database = std::make_unique<CollectorDatabase>(location);
    return *t_database;
}

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

void answer(httplib::Response& response, int status, const QByteArray& body,
    const char* type = "text/plain; charset=utf-8")
{
    response.status = status;
    response.set_content(body.toStdString(), type);
}

// Compares in time that does not depend on where the strings differ.
bool sameSecret(const std::string& given, const QString& secret)
{
    const QByteArray expected = secret.toUtf8();
    unsigned char difference = given.size() == std::size_t(expected.size()) ? 0 : 1;
    for (std::size_t i = 0; i < given.size(); ++i)
        difference |= static_cast<unsigned char>(
            given[i] ^ expected[int(i % std::max<qsizetype>(1, expected.size()))]);
    return difference == 0;
}

const std::string tokenCookie = "lumivue_collector_token=";

std::string cookieToken(const httplib::Request& request)
{
    const std::string cookies = request.get_header_value("Cookie");
    for (std::size_t at = cookies.find(tokenCookie); at != std::string::npos;
         at = cookies.find(tokenCookie, at + 1)) {
        if (at == 0 || cookies[at - 1] == ' ' || cookies[at - 1] == ';')
            return cookies.substr(at + tokenCookie.size(), cookies.find(';', at) - at - tokenCookie.size());
    }
    return {};
}

} // namespace

CollectorServer::CollectorServer(const CollectorOptions& options, const QString& database)
    : m_options(options)
    , m_database(database)
    , m_server(std::make_unique<httplib::Server>())
{
    using namespace std::chrono_literals;
    m_server->new_task_queue = [] { return new BoundedTaskQueue(kWorkers, kMaxPendingConnections); };
    m_server->set_payload_max_length(static_cast<std::size_t>(m_options.maxBodyBytes));
    // Short: an idle or slow client holds a worker for at most these (a reverse proxy absorbs slow
    // clients where many are expected).
    m_server->set_read_timeout(5s);
    m_server->set_write_timeout(5s);
    m_server->set_keep_alive_max_count(100);
    m_server->set_keep_alive_timeout(2);
    m_server->set_socket_options([this](socket_t socket) {
        httplib::default_socket_options(socket);
        m_listeningSocket = socket;
    });
    route();
}

CollectorServer::~CollectorServer() = default;

int CollectorServer::bind()
{
    const std::string host = m_options.host.toStdString();
    const int port = m_options.port == 0
        ? std::max(0, m_server->bind_to_any_port(host))
        : (m_server->bind_to_port(host, m_options.port) ? m_options.port : 0);
    // The library listens with a backlog of 5: clients beyond it lose their SYN and try again only
    // after 1, 3, 7 … seconds. Listening again on the bound socket widens the backlog.
    if (port != 0 && m_listeningSocket >= 0)
        ::listen(m_listeningSocket, SOMAXCONN);
    return port;
}

void CollectorServer::run()
{
    m_server->listen_after_bind();
}

void CollectorServer::stop()
{
    m_server->stop();
}

CollectorServer::Counts CollectorServer::takeCounts()
{
    return { m_stored.exchange(0), m_duplicates.exchange(0), m_refused.exchange(0), m_failed.exchange(0) };
}

void CollectorServer::logFailure(const QString& error)
{
    // At most one line per ten seconds: a full disk must not fill the journal too.
    const qint64 now = nowMs();
    qint64 last = m_lastFailureLogMs.load();
    if (now - last >= 10000 && m_lastFailureLogMs.compare_exchange_strong(last, now))
        std::fprintf(
            stderr, "lumivue-collector: storing a report failed (answered 503): %s\n", qPrintable(error));
}

void CollectorServer::route()
{
    const QString location = m_database;
    m_server->set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
        if (BoundedTaskQueue::isRefusing()) {
            response.set_header("Retry-After", "10");
            response.set_header("Connection", "close");
            answer(response, 503, "busy: too many connections, try again later\n");
            return httplib::Server::HandlerResponse::Handled;
        }
        const bool reading = request.path == "/" || request.path.rfind("/api/", 0) == 0;
        if (!reading || m_options.dashboardToken.isEmpty())
            return httplib::Server::HandlerResponse::Unhandled;
        const std::string bearer = request.get_header_value("Authorization");
        const std::string given = request.has_param("token") ? request.get_param_value("token")
            : bearer.rfind("Bearer ", 0) == 0                ? bearer.substr(7)
                                                             : cookieToken(request);
        if (!sameSecret(given, m_options.dashboardToken)) {
            response.set_header("WWW-Authenticate", "Bearer");
            answer(response, 401, "a dashboard token is needed (?token=… or Authorization: Bearer …)\n");
            return httplib::Server::HandlerResponse::Handled;
        }
        // The page's own links and forms carry no token: the browser keeps it instead.
        if (request.has_param("token"))
            response.set_header("Set-Cookie", tokenCookie + given + "; Path=/; HttpOnly; SameSite=Strict");
        return httplib::Server::HandlerResponse::Unhandled;
    });
    m_server->set_logger([this](const httplib::Request& request, const httplib::Response& response) {
        if (request.path != "/report.do")
            return;
        if (response.status == 400 || response.status == 413)
            ++m_refused;
        else if (response.status == 503)
            ++m_failed;
    });

    m_server->Post(
        "/report.do", [this, location](const httplib::Request& request, httplib::Response& response) {
            const QByteArray body = QByteArray::fromStdString(request.body);
            const auto decoded = analytics::TallyReportDecoder::decodeReport(body);
            QString error = decoded.error;
            const auto rows = decoded.ok() ? ReportRows::fromReport(decoded.json, &error) : std::nullopt;
            if (!rows)
                return answer(response, 400, error.toUtf8() + '\n');
            CollectorDatabase& db = database(location);
            switch (db.store(body, *rows, nowMs())) {
            case CollectorDatabase::Stored::Added:
                ++m_stored;
                return answer(response, 200, "stored\n");
            case CollectorDatabase::Stored::AlreadyStored:
                ++m_duplicates;
                return answer(response, 200, "already stored\n");
            case CollectorDatabase::Stored::Failed:
                break;
            }
            logFailure(db.error());
            response.set_header("Retry-After", "60");
            answer(response, 503, "storage failed; send the report again later\n");
        });

    // The read side: each parses the range, queries, and answers 503 when the database fails.
    auto reader = [location](auto produce) {
        return [location, produce](const httplib::Request& request, httplib::Response& response) {
            auto param
                = [&](const char* name) { return QString::fromStdString(request.get_param_value(name)); };
            QString error;
            const auto range = QueryRange::parse(param("from"), param("to"), param("version"), &error);
            if (!range)
                return answer(response, 400, error.toUtf8() + '\n');
            CollectorDatabase& db = database(location);
            CollectorQueries queries(db);
            response.set_header("Cache-Control", "no-store");
            const bool read = db.beginRead() && produce(queries, *range, response);
            db.endRead();
            if (!read)
                answer(response, 503, "the database cannot be read: " + db.error().toUtf8() + '\n');
        };
    };
    auto json = [](const std::optional<QJsonObject>& object, httplib::Response& response) {
        if (object)
            answer(response, 200, QJsonDocument(*object).toJson(QJsonDocument::Compact), "application/json");
        return object.has_value();
    };
    auto today = [] { return QDateTime::currentDateTimeUtc().date(); };
    m_server->Get(
        "/api/summary", reader([json](CollectorQueries& queries, const QueryRange& range, auto& response) {
            return json(queries.summary(range), response);
        }));
    m_server->Get("/api/dashboard",
        reader([json, today](CollectorQueries& queries, const QueryRange& range, auto& response) {
            return json(queries.dashboard(range, today()), response);
        }));
    m_server->Get("/", reader([today](CollectorQueries& queries, const QueryRange& range, auto& response) {
        const auto dashboard = queries.dashboard(range, today());
        if (dashboard) {
            // The page is self-contained: no script, nothing fetched, the token never leaves in a Referer.
            response.set_header("Content-Security-Policy",
                "default-src 'none'; style-src 'unsafe-inline'; img-src data:; form-action 'self'");
            response.set_header("Referrer-Policy", "no-referrer");
            response.set_header("X-Content-Type-Options", "nosniff");
            answer(response, 200, DashboardPage::render(*dashboard), "text/html; charset=utf-8");
        }
        return dashboard.has_value();
    }));
    for (const char* name : { "sessions.csv", "events.csv" }) {
        const bool sessions = std::string(name) == "sessions.csv";
        m_server->Get(std::string("/api/") + name,
            reader([sessions, name](CollectorQueries& queries, const QueryRange& range, auto& response) {
                const auto csv = sessions ? queries.sessionsCsv(range) : queries.eventsCsv(range);
                if (csv) {
                    response.set_header("Content-Disposition", std::string("attachment; filename=") + name);
                    answer(response, 200, *csv, "text/csv; charset=utf-8");
                }
                return csv.has_value();
            }));
    }
}

} // namespace collector
