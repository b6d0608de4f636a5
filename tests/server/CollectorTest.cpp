// lumivue-collector run as an operator runs it, on SQLite and on PostgreSQL (the server that
// scripts/with-postgresql.sh starts), fed with reports the app's own writer makes.
#include <sys/resource.h>

#include <optional>
#include <thread>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>
#include <httplib.h>

#include "CollectorServer.h"
#include "analytics/TallyReportDecoder.h"
#include "analytics/TallySession.h"
#include "analytics/TallySessionState.h"
#include "support/TestTimeScale.h"

namespace {

const QString kBinary = QStringLiteral(LUMIVUE_BINARY_DIR "/bin/lumivue-collector");

struct Answer {
    int status { 0 };
    QByteArray body;
};

// One running collector on a port of its own choosing; SIGKILLed if the test does not stop it.
class Collector {
public:
    explicit Collector(const QStringList& arguments, rlim_t fileSizeLimit = RLIM_INFINITY)
    {
        m_process.setChildProcessModifier([fileSizeLimit] {
            const rlimit limit { fileSizeLimit, fileSizeLimit };
            setrlimit(RLIMIT_FSIZE, &limit);
        });
        m_process.setReadChannel(QProcess::StandardError);
        m_process.start(kBinary, QStringList { "--listen", "127.0.0.1:0" } + arguments);
        static const QRegularExpression listening(QStringLiteral("listening on http://127.0.0.1:(\\d+)/"));
        QRegularExpressionMatch match;
        while (!(match = listening.match(m_log)).hasMatch()
            && m_process.waitForReadyRead(test_support::scaledLimitMs(30000)))
            m_log += QString::fromUtf8(m_process.readAllStandardError());
        m_port = match.captured(1).toInt();
        EXPECT_NE(m_port, 0) << m_log.toStdString();
    }
    ~Collector()
    {
        m_process.kill();
        m_process.waitForFinished();
    }

    Answer request(const char* path, const QByteArray& body = {}, const httplib::Headers& headers = {})
    {
        httplib::Client client("127.0.0.1", m_port);
        client.set_read_timeout(std::chrono::milliseconds(test_support::scaledLimitMs(30000)));
        const auto result = body.isNull()
            ? client.Get(path, headers)
            : client.Post(path, headers, body.toStdString(), "application/octet-stream");
        return result ? Answer { result->status, QByteArray::fromStdString(result->body) } : Answer {};
    }
    QJsonObject summary(const httplib::Headers& headers = {})
    {
        const Answer answer = request("/api/summary", {}, headers);
        EXPECT_EQ(answer.status, 200) << answer.body.toStdString();
        return QJsonDocument::fromJson(answer.body).object();
    }
    int port() const { return m_port; }
    // SIGTERM: the exit code of a clean shutdown.
    int stop()
    {
        m_process.terminate();
        return m_process.waitForFinished(test_support::scaledLimitMs(30000)) ? m_process.exitCode() : -1;
    }

private:
    QProcess m_process;
    QString m_log;
    int m_port { 0 };
};

struct Event {
    QString name;
    int parameters { 0 }; // each 250 characters long
};

// A report of one device holding the given sessions, written by the app's own report writer.
QByteArray report(
    const QList<std::pair<QDateTime, qint64>>& sessions, const QList<Event>& events = {}, int errors = 0)
{
    QList<analytics::TallyReportItem> records;
    for (const auto& [start, lengthMs] : sessions) {
        analytics::TallySessionState state;
        state.startTime = start;
        state.endTime = start.addMSecs(lengthMs);
        state.appVersion = QStringLiteral("2.1");
        for (const Event& event : events) {
            QVariantMap parameters;
            for (int i = 0; i < event.parameters; ++i)
                parameters.insert(QString::number(i), QString(250, QChar(u'a' + i)));
            state.eventLog.append(analytics::TallyEvent(event.name, false, parameters));
            ++state.eventCounts[event.name];
        }
        for (int i = 0; i < errors; ++i)
            state.errors.append({ start, QStringLiteral("E%1").arg(i), QStringLiteral("lens cap on"), {} });
        state.totalErrorCount = errors;
        records.append(analytics::TallySession(state).data());
    }
    return analytics::TallySession::dataForSessions(records, false);
}

const QDateTime kStart = QDateTime::fromMSecsSinceEpoch(1338508800000, Qt::UTC); // 2012-06-01

enum class Engine { SQLite, PostgreSQL };

class CollectorTest : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override
    {
        if (GetParam() == Engine::SQLite) {
            m_database = QStringLiteral("sqlite:") + m_home.filePath(QStringLiteral("collector.sqlite"));
            return;
        }
        const QUrl server(qEnvironmentVariable("LUMIVUE_TEST_POSTGRES"));
        if (server.isEmpty())
            GTEST_SKIP()
                << "LUMIVUE_TEST_POSTGRES is unset (scripts/with-postgresql.sh starts a server and sets it)";
        m_admin = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("admin"));
        m_admin.setHostName(server.host());
        m_admin.setPort(server.port(5432));
        m_admin.setUserName(server.userName());
        m_admin.setDatabaseName(server.path().mid(1));
        ASSERT_TRUE(m_admin.open()) << m_admin.lastError().text().toStdString();
        // A database of its own: the cases of other test programs run at the same time.
        m_name = QStringLiteral("collector_%1_%2")
                     .arg(QCoreApplication::applicationPid())
                     .arg(m_home.path().right(6).toLower());
        admin(QStringLiteral("CREATE DATABASE ") + m_name);
        QUrl url = server;
        url.setPath(QLatin1Char('/') + m_name);
        m_database = url.toString();
    }
    void TearDown() override
    {
        if (m_admin.isOpen())
            admin(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_name));
        m_admin = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("admin"));
    }
    void admin(const QString& sql)
    {
        QSqlQuery query(m_admin);
        EXPECT_TRUE(query.exec(sql)) << query.lastError().text().toStdString();
    }

    QTemporaryDir m_home;
    QString m_database;
    QSqlDatabase m_admin;
    QString m_name;
};

TEST_P(CollectorTest, StoresEachReportAndSessionOnceAtItsLatestVersion)
{
    Collector collector({ "--db", m_database });
    // The same session reported twice, the second time longer and with more events; an event
    // name with a NUL character, which PostgreSQL text cannot hold, and one a spreadsheet would run.
    const QString nul = QStringLiteral("NIGHT") + QChar(0) + QStringLiteral("MODE");
    const QByteArray first = report({ { kStart, 30000 } }, { { "TAKE_PICTURE" } }, 1);
    const QByteArray later
        = report({ { kStart, 90000 } }, { { "TAKE_PICTURE" }, { "TAKE_PICTURE" }, { nul }, { "=CMD" } }, 2);
    const QByteArray stale = report({ { kStart, 30000 }, { kStart.addDays(1), 10000 } });
    const QByteArray other = report({ { kStart.addDays(1), 10000 } });
    for (const auto& [body, answer] : { std::pair(first, "stored\n"), std::pair(first, "already stored\n"),
             std::pair(later, "stored\n"), std::pair(stale, "stored\n") }) {
        const Answer posted = collector.request("/report.do", body);
        EXPECT_EQ(posted.status, 200);
        EXPECT_EQ(posted.body, answer);
    }
    // A body sent by many clients at once is still one report.
    std::vector<std::thread> clients;
    std::atomic<int> stored { 0 };
    for (int i = 0; i < 8; ++i)
        clients.emplace_back([&] { stored += collector.request("/report.do", other).status == 200; });
    for (std::thread& client : clients)
        client.join();
    EXPECT_EQ(stored, 8);

    const QJsonObject summary = collector.summary();
    EXPECT_EQ(summary,
        QJsonDocument::fromJson(R"({"reports":4,"sessions":2,"devices":1,"errors":2,
        "events":{"TAKE_PICTURE":2,"NIGHTMODE":1,"=CMD":1},"sessionLengthSeconds":{"median":50,"p90":82}})")
            .object());
    EXPECT_EQ(collector.request("/api/summary?from=2012-06-02&to=2012-06-02").body,
        QByteArray(
            R"({"devices":1,"errors":0,"events":{},"reports":0,"sessionLengthSeconds":{"median":10,"p90":10},"sessions":1})"));
    const QByteArray events = collector.request("/api/events.csv").body;
    EXPECT_EQ(events.count('\n'), 1 + 4);
    EXPECT_TRUE(events.contains(",'=CMD,")) << events.toStdString();
    const QJsonObject dashboard
        = QJsonDocument::fromJson(collector.request("/api/dashboard?from=2012-05-31&to=2012-06-02").body)
              .object();
    EXPECT_EQ(dashboard["days"].toArray().at(1).toObject()["sessions"].toInt(), 1);
    EXPECT_EQ(dashboard["errorGroups"].toArray().at(0).toObject()["count"].toInt(), 2);
    EXPECT_EQ(collector.stop(), 0);
}

TEST_P(CollectorTest, RefusesWhatItCannotReadAndAnswers503WhenStorageFails)
{
    const QByteArray small = report({ { kStart, 1000 } });
    const QByteArray large = report({ { kStart.addSecs(60), 2000 } }, QList<Event>(400, { "ZOOM", 2 }));
    {
        Collector collector({ "--db", m_database, "--max-body", QString::number(large.size()) });
        EXPECT_EQ(collector.request("/report.do", large + "x").status, 413);
        const Answer cut = collector.request("/report.do", small.chopped(1));
        EXPECT_EQ(cut.status, 400);
        EXPECT_TRUE(cut.body.startsWith("not a valid report: truncated")) << cut.body.toStdString();
        EXPECT_EQ(collector.request("/api/summary?from=2012-13-01").status, 400);
        EXPECT_EQ(collector.request("/report.do", small).status, 200);
        EXPECT_EQ(collector.stop(), 0);
    }
    // SQLite: the files may not grow past 320 KiB, as on a full disk: room for the raw report but not
    // for its rows too. PostgreSQL: the server ends the connections every worker holds and takes no
    // new ones for a while; the same collector carries on once it does.
    const bool sqlite = GetParam() == Engine::SQLite;
    std::optional<Collector> collector;
    collector.emplace(QStringList { "--db", m_database }, sqlite ? 320 * 1024 : RLIM_INFINITY);
    if (!sqlite) {
        std::vector<std::thread> readers;
        for (int i = 0; i < collector::CollectorServer::kWorkers; ++i)
            readers.emplace_back([&] { collector->request("/api/summary"); });
        for (std::thread& reader : readers)
            reader.join();
        admin(QStringLiteral("ALTER DATABASE %1 ALLOW_CONNECTIONS false").arg(m_name));
        admin(QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = '%1'")
                  .arg(m_name));
    }
    const Answer failed = collector->request("/report.do", large);
    EXPECT_EQ(failed.status, 503) << failed.body.toStdString();
    if (!sqlite) {
        admin(QStringLiteral("ALTER DATABASE %1 ALLOW_CONNECTIONS true").arg(m_name));
    } else {
        collector->stop();
        collector.emplace(QStringList { "--db", m_database });
    }
    // Nothing of the failed report was kept: sent again, it is stored whole.
    const Answer again = collector->request("/report.do", large);
    EXPECT_EQ(again.status, 200);
    EXPECT_EQ(again.body, "stored\n");
    const QJsonObject summary = collector->summary();
    EXPECT_EQ(summary["reports"].toInt(), 2);
    EXPECT_EQ(summary["sessions"].toInt(), 2);
    EXPECT_EQ(summary["events"].toObject()["ZOOM"].toInt(), 400);
}

TEST_P(CollectorTest, KeepsDaysForgetsDevicesAndGuardsTheDashboardWithItsToken)
{
    const QDateTime recent = QDateTime::currentDateTimeUtc().addDays(-1);
    const QByteArray both = report({ { kStart, 5000 }, { recent, 5000 } });
    const QJsonObject header = analytics::TallyReportDecoder::decodeReport(both).json;
    const QString device
        = header.contains("phoneID") ? header["phoneID"].toString() : header["tallyID"].toString();
    {
        Collector collector({ "--db", m_database });
        EXPECT_EQ(collector.request("/report.do", both).status, 200);
        EXPECT_EQ(collector.summary()["sessions"].toInt(), 2);
    }
    Collector collector({ "--db", m_database, "--keep-days", "30", "--dashboard-token", "s3cret" });
    EXPECT_EQ(collector.request("/api/summary").status, 401);
    EXPECT_EQ(collector.request("/?token=wrong").status, 401);
    EXPECT_EQ(collector.request("/?token=s3cret").status, 200);
    EXPECT_EQ(collector.request("/report.do", both).body, "already stored\n"); // reports need no token
    const httplib::Headers bearer { { "Authorization", "Bearer s3cret" } };
    EXPECT_EQ(collector.summary(bearer)["sessions"].toInt(), 1); // the 2012 session is gone

    QProcess forget;
    forget.start(kBinary, { "forget", device, "--db", m_database });
    ASSERT_TRUE(forget.waitForFinished(test_support::scaledLimitMs(30000)));
    EXPECT_EQ(forget.exitCode(), 0) << forget.readAllStandardError().toStdString();
    EXPECT_EQ(collector.summary(bearer),
        QJsonDocument::fromJson(R"({"reports":0,"sessions":0,"devices":0,"errors":0,
        "events":{},"sessionLengthSeconds":{"median":0,"p90":0}})")
            .object());
}

INSTANTIATE_TEST_SUITE_P(Engines, CollectorTest, ::testing::Values(Engine::SQLite, Engine::PostgreSQL),
    [](const auto& row) { return row.param == Engine::SQLite ? "SQLite" : "PostgreSQL"; });

TEST(CollectorCommandLine, RefusesUnsafeOrWrongOptions)
{
    for (const QStringList& arguments :
        { QStringList { "--listen", "0.0.0.0:8642" }, QStringList { "--keep-days", "0" },
            QStringList { "forget" }, QStringList { "--listen", "localhost" } }) {
        QProcess process;
        process.start(kBinary, arguments);
        ASSERT_TRUE(process.waitForFinished(test_support::scaledLimitMs(30000)));
        EXPECT_EQ(process.exitCode(), 2) << arguments.join(' ').toStdString();
    }
}

} // namespace

namespace {

TEST(CollectorLimits, AnswersBusyBeyondTheConnectionsItQueues)
{
    QTemporaryDir home;
    Collector collector({ "--db", QStringLiteral("sqlite:") + home.filePath(QStringLiteral("c.sqlite")) });
    // Clients that send half a request hold every worker and every place in the queue.
    std::vector<std::unique_ptr<QTcpSocket>> slow;
    for (int i = 0;
         i < collector::CollectorServer::kWorkers + collector::CollectorServer::kMaxPendingConnections; ++i) {
        slow.push_back(std::make_unique<QTcpSocket>());
        slow.back()->connectToHost(QStringLiteral("127.0.0.1"), quint16(collector.port()));
        ASSERT_TRUE(slow.back()->waitForConnected(10000));
        slow.back()->write("POST /report.do HTTP/1.1\r\n");
        ASSERT_TRUE(slow.back()->waitForBytesWritten(10000));
    }
    const Answer busy = collector.request("/api/summary");
    EXPECT_EQ(busy.status, 503);
    EXPECT_TRUE(busy.body.startsWith("busy")) << busy.body.toStdString();
}

} // namespace
