#include "CollectorDatabase.h"

#include <atomic>
#include <mutex>

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUrlQuery>
#include <QVariant>

#include "ReportRows.h"

namespace collector {

namespace {

// The schema, one list of statements per version. "BLOB" becomes BYTEA on PostgreSQL; everything
// else is written once for both engines. Every child table carries (device, start_time), so a
// session, a device or an age is deleted from each table with one statement.
const QStringList& migration(int version)
{
    static const QList<QStringList> migrations {
        {
            "CREATE TABLE reports (id TEXT PRIMARY KEY, device TEXT NOT NULL, received_at BIGINT NOT NULL,"
            " report_time BIGINT NOT NULL, app_version TEXT NOT NULL, body BLOB NOT NULL)",
            "CREATE INDEX reports_received ON reports (received_at)",
            "CREATE INDEX reports_device ON reports (device)",
            "CREATE TABLE devices (device TEXT PRIMARY KEY, first_seen BIGINT NOT NULL, last_seen BIGINT NOT "
            "NULL,"
            " model TEXT NOT NULL, properties TEXT NOT NULL)",
            "CREATE TABLE sessions (device TEXT NOT NULL, start_time BIGINT NOT NULL, day TEXT NOT NULL,"
            " length_ms BIGINT NOT NULL, app_version TEXT NOT NULL, model TEXT NOT NULL, locale TEXT NOT "
            "NULL,"
            " time_zone TEXT NOT NULL, latitude_tenths INTEGER, longitude_tenths INTEGER,"
            " error_count INTEGER NOT NULL, report_id TEXT NOT NULL, report_time BIGINT NOT NULL,"
            " PRIMARY KEY (device, start_time))",
            "CREATE INDEX sessions_start ON sessions (start_time)",
            "CREATE TABLE events (device TEXT NOT NULL, start_time BIGINT NOT NULL, seq INTEGER NOT NULL,"
            " name TEXT NOT NULL, start_offset BIGINT NOT NULL, duration BIGINT NOT NULL,"
            " parameters TEXT NOT NULL, PRIMARY KEY (device, start_time, seq))",
            "CREATE TABLE event_counts (device TEXT NOT NULL, start_time BIGINT NOT NULL, name TEXT NOT NULL,"
            " total BIGINT NOT NULL, PRIMARY KEY (device, start_time, name))",
            "CREATE TABLE errors (device TEXT NOT NULL, start_time BIGINT NOT NULL, seq INTEGER NOT NULL,"
            " time BIGINT NOT NULL, error_id TEXT NOT NULL, message TEXT NOT NULL, exception TEXT NOT NULL,"
            " PRIMARY KEY (device, start_time, seq))",
            "CREATE TABLE page_views (device TEXT NOT NULL, start_time BIGINT NOT NULL, views INTEGER NOT "
            "NULL,"
            " PRIMARY KEY (device, start_time))",
        },
    };
    return migrations.at(version - 1);
}

const QStringList sessionChildren { QStringLiteral("events"), QStringLiteral("event_counts"),
    QStringLiteral("errors"), QStringLiteral("page_views") };

std::atomic<int> connectionCount { 0 };

} // namespace

CollectorDatabase::CollectorDatabase(const QString& location)
    : m_location(location)
    , m_name(QStringLiteral("collector-%1").arg(++connectionCount))
    , m_postgres(!location.startsWith(QLatin1String("sqlite:")))
{
}

CollectorDatabase::~CollectorDatabase()
{
    if (m_db.isValid()) {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
    }
}

namespace {

// SQLite has one write lock per file, and writers waiting in its busy handler sleep in growing
// steps: under many clients most of them sleep while the lock is free. The collector's own writers
// take turns here instead, so only another process ever makes one wait.
std::mutex& sqliteWriteTurn()
{
    static std::mutex turn;
    return turn;
}

} // namespace

void CollectorDatabase::fail(const QString& what, const QString& driverText)
{
    m_error = driverText.trimmed().isEmpty() ? what : what + QStringLiteral(": ") + driverText.trimmed();
    if (m_db.isOpen())
        m_db.close(); // and with it any transaction
    endWriteTurn();
}

void CollectorDatabase::endWriteTurn()
{
    if (m_writeTurn.owns_lock())
        m_writeTurn.unlock();
}

bool CollectorDatabase::ensureOpen()
{
    if (m_db.isOpen())
        return true;
    if (!m_db.isValid()) {
        m_db = QSqlDatabase::addDatabase(
            m_postgres ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"), m_name);
        if (m_postgres) {
            const QUrl url(m_location);
            m_db.setHostName(url.host().isEmpty() ? QStringLiteral("127.0.0.1") : url.host());
            m_db.setPort(url.port(5432));
            m_db.setUserName(url.userName(QUrl::FullyDecoded));
            m_db.setPassword(url.password(QUrl::FullyDecoded));
            m_db.setDatabaseName(url.path(QUrl::FullyDecoded).mid(1));
            // Query items are libpq's own options (?sslmode=verify-full&sslrootcert=…).
            QStringList options { QStringLiteral("connect_timeout=5") };
            for (const auto& [key, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded))
                options << key + QLatin1Char('=') + value;
            m_db.setConnectOptions(options.join(QLatin1Char(';')));
        } else {
            const QString path = m_location.mid(int(qstrlen("sqlite:")));
            QDir().mkpath(QFileInfo(path).absolutePath());
            m_db.setDatabaseName(path);
            // Writers wait for each other instead of failing at once.
            m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=30000"));
        }
    }
    if (!m_db.open()) {
        fail(QStringLiteral("cannot open the database"), m_db.lastError().text());
        return false;
    }
    // WAL: readers never wait for the writer. FULL: a 200 is only given for what is on the disk.
    if (!m_postgres
        && !(exec(QStringLiteral("PRAGMA journal_mode=WAL"))
            && exec(QStringLiteral("PRAGMA synchronous=FULL"))))
        return false;
    return true;
}

bool CollectorDatabase::exec(const QString& sql)
{
    QSqlQuery query(m_db);
    if (query.exec(sql))
        return true;
    fail(QStringLiteral("database statement failed"), query.lastError().text());
    return false;
}

bool CollectorDatabase::begin(const QString& statement)
{
    if (!ensureOpen())
        return false;
    // A connection the server has ended (a restart, an idle limit) fails at its first statement
    // only: one more try on a fresh connection.
    return exec(statement) || (ensureOpen() && exec(statement));
}

bool CollectorDatabase::begin()
{
    if (m_postgres)
        return begin(QStringLiteral("BEGIN"));
    m_writeTurn = std::unique_lock(sqliteWriteTurn());
    // IMMEDIATE: an SQLite writer takes the lock first, so it never fails half-way on a busy upgrade.
    if (begin(QStringLiteral("BEGIN IMMEDIATE")))
        return true;
    endWriteTurn();
    return false;
}

bool CollectorDatabase::beginRead()
{
    return begin(QStringLiteral("BEGIN"));
}

void CollectorDatabase::endRead()
{
    rollback();
}

bool CollectorDatabase::commit()
{
    const bool committed = exec(QStringLiteral("COMMIT"));
    endWriteTurn();
    return committed;
}

void CollectorDatabase::rollback()
{
    if (m_db.isOpen()) {
        QSqlQuery query(m_db);
        query.exec(QStringLiteral("ROLLBACK"));
    }
    endWriteTurn();
}

bool CollectorDatabase::migrate()
{
    if (!ensureOpen()
        || !exec(QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)")))
        return false;
    for (;;) {
        if (!begin())
            return false;
        QSqlQuery query(m_db);
        if (!query.exec(QStringLiteral("SELECT MAX(version) FROM schema_version")) || !query.next()) {
            fail(QStringLiteral("cannot read the schema version"), query.lastError().text());
            return false;
        }
        const int version = query.value(0).toInt();
        query.finish();
        if (version > schemaVersion) {
            rollback();
            m_error = QStringLiteral("the database has schema version %1; this collector knows up to %2")
                          .arg(version)
                          .arg(schemaVersion);
            return false;
        }
        if (version == schemaVersion) {
            rollback();
            return true;
        }
        for (QString statement : migration(version + 1)) {
            if (m_postgres)
                statement.replace(QLatin1String(" BLOB "), QLatin1String(" BYTEA "));
            if (!exec(statement))
                return false; // the connection is closed: PostgreSQL and SQLite drop the transaction
        }
        if (!exec(QStringLiteral("INSERT INTO schema_version (version) VALUES (%1)").arg(version + 1))
            || !commit())
            return false;
    }
}

CollectorDatabase::Stored CollectorDatabase::store(
    const QByteArray& body, const ReportRows& rows, qint64 receivedMs)
{
    if (!begin())
        return Stored::Failed;
    QSqlQuery query(m_db);
    auto run = [&](const QString& sql, const QVariantList& values) {
        if (!query.prepare(sql)) {
            fail(QStringLiteral("cannot prepare a statement"), query.lastError().text());
            return false;
        }
        for (const QVariant& value : values)
            query.addBindValue(value);
        if (query.exec())
            return true;
        fail(QStringLiteral("cannot store the report"), query.lastError().text());
        return false;
    };
    auto failed = [&] {
        query.finish();
        rollback();
        return Stored::Failed;
    };

    const QString id
        = QString::fromLatin1(QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex());
    if (!run(QStringLiteral("INSERT INTO reports (id, device, received_at, report_time, app_version, body)"
                            " VALUES (?, ?, ?, ?, ?, ?) ON CONFLICT (id) DO NOTHING"),
            { id, rows.device, receivedMs, rows.reportTimeMs, rows.appVersion, body }))
        return failed();
    if (query.numRowsAffected() == 0) {
        query.finish();
        rollback();
        return m_db.isOpen() ? Stored::AlreadyStored : Stored::Failed;
    }

    for (const ReportRows::Session& session : rows.sessions) {
        const QVariant latitude = session.latitudeTenths ? QVariant(*session.latitudeTenths) : QVariant();
        const QVariant longitude = session.longitudeTenths ? QVariant(*session.longitudeTenths) : QVariant();
        // Kept: the longest version; of two as long, the one reported last.
        if (!run(
                QStringLiteral(
                    "INSERT INTO sessions (device, start_time, day, length_ms, app_version, model, locale, "
                    "time_zone,"
                    " latitude_tenths, longitude_tenths, error_count, report_id, report_time)"
                    " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (device, start_time) DO "
                    "UPDATE SET"
                    " day = excluded.day, length_ms = excluded.length_ms, app_version = excluded.app_version,"
                    " model = excluded.model, locale = excluded.locale, time_zone = excluded.time_zone,"
                    " latitude_tenths = excluded.latitude_tenths, longitude_tenths = "
                    "excluded.longitude_tenths,"
                    " error_count = excluded.error_count, report_id = excluded.report_id,"
                    " report_time = excluded.report_time"
                    " WHERE excluded.length_ms > sessions.length_ms OR (excluded.length_ms = "
                    "sessions.length_ms"
                    " AND excluded.report_time >= sessions.report_time)"),
                { rows.device, session.startTimeMs, session.day, session.lengthMs, session.appVersion,
                    rows.model, session.locale, session.timeZone, latitude, longitude, session.errorCount, id,
                    rows.reportTimeMs }))
            return failed();
        if (query.numRowsAffected() == 0)
            continue; // an older or shorter version: what is stored stays
        const QVariantList key { rows.device, session.startTimeMs };
        for (const QString& table : sessionChildren) {
            if (!run(QStringLiteral("DELETE FROM %1 WHERE device = ? AND start_time = ?").arg(table), key))
                return failed();
        }
        // Events and errors keep their order in the session as `seq`.
        auto insertInOrder = [&](const QString& sql, qsizetype count, auto valuesOf) {
            for (qsizetype i = 0; i < count; ++i) {
                if (!run(sql, key + QVariantList { int(i) } + valuesOf(i)))
                    return false;
            }
            return true;
        };
        if (!insertInOrder(QStringLiteral("INSERT INTO events (device, start_time, seq, name, start_offset,"
                                          " duration, parameters) VALUES (?, ?, ?, ?, ?, ?, ?)"),
                session.events.size(),
                [&](qsizetype i) {
                    const ReportRows::Event& event = session.events[i];
                    return QVariantList { event.name, event.startOffsetMs, event.durationMs,
                        event.parameters };
                })
            || !insertInOrder(
                QStringLiteral("INSERT INTO errors (device, start_time, seq, time, error_id, message,"
                               " exception) VALUES (?, ?, ?, ?, ?, ?, ?)"),
                session.errors.size(), [&](qsizetype i) {
                    const ReportRows::Error& error = session.errors[i];
                    return QVariantList { error.timeMs, error.errorId, error.message, error.exception };
                }))
            return failed();
        for (auto it = session.eventCounts.cbegin(); it != session.eventCounts.cend(); ++it) {
            if (!run(QStringLiteral(
                         "INSERT INTO event_counts (device, start_time, name, total) VALUES (?, ?, ?, ?)"),
                    key + QVariantList { it.key(), it.value() }))
                return failed();
        }
        if (!run(QStringLiteral("INSERT INTO page_views (device, start_time, views) VALUES (?, ?, ?)"),
                key + QVariantList { session.pageViews }))
            return failed();
    }
    // Last: PostgreSQL holds the device's row lock from here to the commit, and a device's reports
    // (a re-send, the pause upload) may arrive together.
    if (!run(QStringLiteral(
                 "INSERT INTO devices (device, first_seen, last_seen, model, properties)"
                 " VALUES (?, ?, ?, ?, ?) ON CONFLICT (device) DO UPDATE SET"
                 " last_seen = CASE WHEN excluded.last_seen > devices.last_seen"
                 " THEN excluded.last_seen ELSE devices.last_seen END,"
                 " model = CASE WHEN excluded.model <> '' THEN excluded.model ELSE devices.model END,"
                 " properties = excluded.properties"),
            { rows.device, receivedMs, receivedMs, rows.model, rows.deviceProperties }))
        return failed();
    query.finish();
    if (!commit()) {
        rollback();
        return Stored::Failed;
    }
    return Stored::Added;
}

bool CollectorDatabase::deleteSessions(const QString& condition, const QVariantList& values, qint64* sessions)
{
    QStringList tables = sessionChildren;
    tables << QStringLiteral("sessions");
    for (const QString& table : tables) {
        QSqlQuery query(m_db);
        query.prepare(QStringLiteral("DELETE FROM %1 WHERE %2").arg(table, condition));
        for (const QVariant& value : values)
            query.addBindValue(value);
        if (!query.exec()) {
            fail(QStringLiteral("cannot delete"), query.lastError().text());
            return false;
        }
        if (table == QLatin1String("sessions"))
            *sessions = query.numRowsAffected();
    }
    return true;
}

std::optional<qint64> CollectorDatabase::deleteInOneGo(
    const QString& sessionCondition, const QStringList& otherRows, const QVariantList& values)
{
    qint64 sessions = 0;
    if (!begin())
        return std::nullopt;
    if (!deleteSessions(sessionCondition, values, &sessions)) {
        rollback();
        return std::nullopt;
    }
    for (const QString& rows : otherRows) {
        QSqlQuery query(m_db);
        query.prepare(QStringLiteral("DELETE FROM ") + rows);
        for (const QVariant& value : values)
            query.addBindValue(value);
        if (!query.exec()) {
            fail(QStringLiteral("cannot delete"), query.lastError().text());
            rollback();
            return std::nullopt;
        }
    }
    if (!commit()) {
        rollback();
        return std::nullopt;
    }
    return sessions;
}

std::optional<qint64> CollectorDatabase::forget(const QString& device)
{
    return deleteInOneGo(QStringLiteral("device IN (?, ?)"),
        { QStringLiteral("reports WHERE device IN (?, ?)"),
            QStringLiteral("devices WHERE device IN (?, ?)") },
        { ReportRows::hashDevice(device), device });
}

std::optional<qint64> CollectorDatabase::deleteBefore(qint64 cutoffMs)
{
    return deleteInOneGo(QStringLiteral("start_time < ?"),
        { QStringLiteral("reports WHERE received_at < ?"), QStringLiteral("devices WHERE last_seen < ?") },
        { cutoffMs });
}

} // namespace collector
