#include "CollectorQueries.h"

#include <cmath>
#include <functional>

#include <QDateTime>
#include <QJsonArray>
#include <QMap>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

#include "CollectorDatabase.h"

namespace collector {

namespace {

constexpr qint64 kNoLimit = qint64(1) << 62;
constexpr int kMaxRangeDays = 3700; // ten years and some: the dashboard lists every day
constexpr int kMaxGroups = 50; // rows of each "top values" table

qint64 dayStartMs(const QDate& day)
{
    return QDateTime(day, QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
}

QString isoTime(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODate);
}

// A WHERE condition on `column` (a time in ms) and the app version, with its values.
struct Condition {
    QString sql;
    QVariantList values;
};

Condition rangeCondition(const QueryRange& range, const QString& time, const QString& version)
{
    Condition condition { QStringLiteral("%1 >= ? AND %1 < ?").arg(time),
        { range.from ? dayStartMs(*range.from) : -kNoLimit,
            range.to ? dayStartMs(range.to->addDays(1)) : kNoLimit } };
    if (!range.version.isEmpty()) {
        condition.sql += QStringLiteral(" AND %1 = ?").arg(version);
        condition.values.append(range.version);
    }
    return condition;
}

Condition sessionCondition(const QueryRange& range, const QString& alias = {})
{
    return rangeCondition(range, alias + QStringLiteral("start_time"), alias + QStringLiteral("app_version"));
}

const QString sessionJoin
    = QStringLiteral(" JOIN sessions s ON s.device = c.device AND s.start_time = c.start_time");

// Runs one SELECT and hands each row to `row`; false when the database failed.
bool select(CollectorDatabase& database, const QString& sql, const QVariantList& values,
    const std::function<void(const QSqlQuery&)>& row)
{
    if (!database.ensureOpen())
        return false;
    QSqlQuery query(database.connection());
    query.setForwardOnly(true);
    bool ok = query.prepare(sql);
    for (const QVariant& value : values)
        query.addBindValue(value);
    ok = ok && query.exec();
    if (!ok) {
        database.fail(QStringLiteral("cannot read the database"), query.lastError().text());
        return false;
    }
    while (query.next())
        row(query);
    return true;
}

// The value at quantile `q` of the `count` session lengths that `condition` selects, in seconds,
// interpolated between the two nearest ranks.
std::optional<double> lengthQuantile(
    CollectorDatabase& database, const Condition& condition, qint64 count, double q)
{
    if (count == 0)
        return 0.0;
    const double rank = q * double(count - 1);
    const qint64 below = static_cast<qint64>(std::floor(rank));
    QList<double> values;
    if (!select(database,
            QStringLiteral("SELECT length_ms FROM sessions WHERE %1 ORDER BY length_ms LIMIT 2 OFFSET %2")
                .arg(condition.sql)
                .arg(below),
            condition.values, [&](const QSqlQuery& row) { values.append(row.value(0).toDouble() / 1000.0); }))
        return std::nullopt;
    if (values.isEmpty())
        return 0.0;
    const double upper = values.size() > 1 ? values[1] : values[0];
    return values[0] + (upper - values[0]) * (rank - double(below));
}

// Strings a spreadsheet would run as a formula get a leading apostrophe; cells with separators,
// quotes or line breaks are quoted.
QByteArray csvCell(const QVariant& value)
{
    if (value.isNull())
        return {};
    QString text = value.toString();
    if (value.typeId() == QMetaType::QString && !text.isEmpty()
        && QStringLiteral("=+-@\t\r").contains(text[0]))
        text.prepend(QLatin1Char('\''));
    if (text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) || text.contains(QLatin1Char('\n'))
        || text.contains(QLatin1Char('\r'))) {
        text.replace(QLatin1String("\""), QLatin1String("\"\""));
        text = QLatin1Char('"') + text + QLatin1Char('"');
    }
    return text.toUtf8();
}

std::optional<QByteArray> csv(CollectorDatabase& database, const QByteArray& header, const QString& sql,
    const QVariantList& values, const QList<int>& timeColumns)
{
    QByteArray out = header + "\r\n";
    const bool ok = select(database, sql, values, [&](const QSqlQuery& row) {
        const int columns = row.record().count();
        for (int i = 0; i < columns; ++i) {
            if (i > 0)
                out += ',';
            out += timeColumns.contains(i) ? isoTime(row.value(i).toLongLong()).toUtf8()
                                           : csvCell(row.value(i));
        }
        out += "\r\n";
    });
    return ok ? std::optional(out) : std::nullopt;
}

} // namespace

std::optional<QueryRange> QueryRange::parse(
    const QString& from, const QString& to, const QString& version, QString* error)
{
    QueryRange range;
    range.version = version;
    for (auto [text, day, name] :
        { std::tuple(&from, &range.from, "from"), std::tuple(&to, &range.to, "to") }) {
        if (text->isEmpty())
            continue;
        const QDate date = QDate::fromString(*text, Qt::ISODate);
        if (!date.isValid() || text->size() != 10) {
            *error
                = QStringLiteral("%1 wants a date as YYYY-MM-DD, not '%2'").arg(QLatin1String(name), *text);
            return std::nullopt;
        }
        *day = date;
    }
    if (range.from && range.to && *range.from > *range.to) {
        *error = QStringLiteral("from is after to");
        return std::nullopt;
    }
    return range;
}

std::optional<QJsonObject> CollectorQueries::summary(const QueryRange& range)
{
    QJsonObject summary;
    const Condition reports
        = rangeCondition(range, QStringLiteral("received_at"), QStringLiteral("app_version"));
    const Condition sessions = sessionCondition(range);
    const Condition joined = sessionCondition(range, QStringLiteral("s."));
    qint64 sessionCount = 0;
    QJsonObject events;
    const bool ok
        = select(m_database, QStringLiteral("SELECT COUNT(*) FROM reports WHERE ") + reports.sql,
              reports.values,
              [&](const QSqlQuery& row) { summary[QLatin1String("reports")] = row.value(0).toLongLong(); })
        && select(m_database,
            QStringLiteral(
                "SELECT COUNT(*), COUNT(DISTINCT device), COALESCE(SUM(error_count), 0) FROM sessions WHERE ")
                + sessions.sql,
            sessions.values,
            [&](const QSqlQuery& row) {
                sessionCount = row.value(0).toLongLong();
                summary[QLatin1String("sessions")] = sessionCount;
                summary[QLatin1String("devices")] = row.value(1).toLongLong();
                summary[QLatin1String("errors")] = row.value(2).toLongLong();
            })
        && select(m_database,
            QStringLiteral("SELECT c.name, SUM(c.total) FROM event_counts c") + sessionJoin
                + QStringLiteral(" WHERE ") + joined.sql + QStringLiteral(" GROUP BY c.name"),
            joined.values,
            [&](const QSqlQuery& row) { events[row.value(0).toString()] = row.value(1).toLongLong(); });
    if (!ok)
        return std::nullopt;
    summary[QLatin1String("events")] = events;
    const auto median = lengthQuantile(m_database, sessions, sessionCount, 0.5);
    const auto p90 = lengthQuantile(m_database, sessions, sessionCount, 0.9);
    if (!median || !p90)
        return std::nullopt;
    summary[QLatin1String("sessionLengthSeconds")]
        = QJsonObject { { QLatin1String("median"), *median }, { QLatin1String("p90"), *p90 } };
    return summary;
}

std::optional<QJsonObject> CollectorQueries::dashboard(const QueryRange& requested, const QDate& today)
{
    QueryRange range = requested;
    if (!range.to)
        range.to = range.from ? std::max(*range.from, today) : today;
    if (!range.from)
        range.from = range.to->addDays(-29);
    if (range.from->daysTo(*range.to) > kMaxRangeDays)
        range.from = range.to->addDays(-kMaxRangeDays);
    std::optional<QJsonObject> summary = this->summary(range);
    if (!summary)
        return std::nullopt;
    QJsonObject dashboard = *summary;
    dashboard.remove(QLatin1String("events"));
    dashboard[QLatin1String("from")] = range.from->toString(Qt::ISODate);
    dashboard[QLatin1String("to")] = range.to->toString(Qt::ISODate);
    dashboard[QLatin1String("version")] = range.version;

    const Condition sessions = sessionCondition(range);
    const Condition joined = sessionCondition(range, QStringLiteral("s."));
    QJsonArray versions;
    QMap<QString, std::pair<qint64, qint64>> perDay;
    QJsonArray lengths;
    QJsonArray eventsPerDay;
    QJsonArray errorGroups;
    QJsonArray locations;
    bool ok
        = select(m_database, QStringLiteral("SELECT DISTINCT app_version FROM sessions ORDER BY app_version"),
              {}, [&](const QSqlQuery& row) { versions.append(row.value(0).toString()); })
        && select(m_database,
            QStringLiteral("SELECT day, COUNT(*), COUNT(DISTINCT device) FROM sessions WHERE %1 GROUP BY day")
                .arg(sessions.sql),
            sessions.values, [&](const QSqlQuery& row) {
                perDay[row.value(0).toString()] = { row.value(1).toLongLong(), row.value(2).toLongLong() };
            });

    // Session lengths in buckets whose edges a person reads at a glance (seconds).
    static const QList<qint64> edges { 0, 10, 30, 60, 120, 300, 600, 1800, 3600 };
    QStringList buckets;
    for (qsizetype i = 0; i < edges.size(); ++i) {
        buckets << (i + 1 < edges.size()
                ? QStringLiteral("SUM(CASE WHEN length_ms >= %1 AND length_ms < %2 THEN 1 "
                                 "ELSE 0 END)")
                      .arg(edges[i] * 1000)
                      .arg(edges[i + 1] * 1000)
                : QStringLiteral("SUM(CASE WHEN length_ms >= %1 THEN 1 ELSE 0 END)").arg(edges[i] * 1000));
    }
    ok = ok
        && select(m_database,
            QStringLiteral("SELECT %1 FROM sessions WHERE %2").arg(buckets.join(','), sessions.sql),
            sessions.values,
            [&](const QSqlQuery& row) {
                for (qsizetype i = 0; i < edges.size(); ++i) {
                    lengths.append(QJsonObject { { QLatin1String("fromSeconds"), edges[i] },
                        { QLatin1String("toSeconds"),
                            i + 1 < edges.size() ? QJsonValue(edges[i + 1]) : QJsonValue(QJsonValue::Null) },
                        { QLatin1String("sessions"), row.value(int(i)).toLongLong() } });
                }
            })
        && select(m_database,
            QStringLiteral("SELECT s.day, c.name, SUM(c.total) FROM event_counts c") + sessionJoin
                + QStringLiteral(" WHERE %1 GROUP BY s.day, c.name ORDER BY s.day, c.name").arg(joined.sql),
            joined.values,
            [&](const QSqlQuery& row) {
                eventsPerDay.append(QJsonObject { { QLatin1String("date"), row.value(0).toString() },
                    { QLatin1String("name"), row.value(1).toString() },
                    { QLatin1String("count"), row.value(2).toLongLong() } });
            })
        && select(m_database,
            QStringLiteral("SELECT c.message, COUNT(*), MAX(c.time) FROM errors c") + sessionJoin
                + QStringLiteral(" WHERE %1 GROUP BY c.message ORDER BY COUNT(*) DESC, c.message LIMIT %2")
                      .arg(joined.sql)
                      .arg(kMaxGroups),
            joined.values,
            [&](const QSqlQuery& row) {
                errorGroups.append(QJsonObject { { QLatin1String("message"), row.value(0).toString() },
                    { QLatin1String("count"), row.value(1).toLongLong() },
                    { QLatin1String("lastSeen"), isoTime(row.value(2).toLongLong()) } });
            })
        && select(m_database,
            QStringLiteral("SELECT latitude_tenths, longitude_tenths, COUNT(*) FROM sessions WHERE %1 AND "
                           "latitude_tenths IS NOT NULL GROUP BY latitude_tenths, longitude_tenths "
                           "ORDER BY COUNT(*) DESC, latitude_tenths, longitude_tenths LIMIT 500")
                .arg(sessions.sql),
            sessions.values, [&](const QSqlQuery& row) {
                locations.append(QJsonObject { { QLatin1String("latitude"), row.value(0).toInt() / 10.0 },
                    { QLatin1String("longitude"), row.value(1).toInt() / 10.0 },
                    { QLatin1String("sessions"), row.value(2).toLongLong() } });
            });
    for (auto [key, column] : { std::pair("appVersions", "app_version"), std::pair("deviceModels", "model"),
             std::pair("locales", "locale"), std::pair("timeZones", "time_zone") }) {
        QJsonArray values;
        ok = ok
            && select(m_database,
                QStringLiteral(
                    "SELECT %1, COUNT(*) FROM sessions WHERE %2 GROUP BY %1 ORDER BY COUNT(*) DESC, %1 "
                    "LIMIT %3")
                    .arg(QLatin1String(column), sessions.sql)
                    .arg(kMaxGroups),
                sessions.values, [&](const QSqlQuery& row) {
                    values.append(QJsonObject { { QLatin1String("value"), row.value(0).toString() },
                        { QLatin1String("sessions"), row.value(1).toLongLong() } });
                });
        dashboard[QLatin1String(key)] = values;
    }
    if (!ok)
        return std::nullopt;

    QJsonArray days;
    for (QDate day = *range.from; day <= *range.to; day = day.addDays(1)) {
        const auto counts = perDay.value(day.toString(Qt::ISODate));
        days.append(QJsonObject { { QLatin1String("date"), day.toString(Qt::ISODate) },
            { QLatin1String("sessions"), counts.first }, { QLatin1String("devices"), counts.second } });
    }
    dashboard[QLatin1String("versions")] = versions;
    dashboard[QLatin1String("days")] = days;
    dashboard[QLatin1String("sessionLengths")] = lengths;
    dashboard[QLatin1String("eventsPerDay")] = eventsPerDay;
    dashboard[QLatin1String("errorGroups")] = errorGroups;
    dashboard[QLatin1String("locations")] = locations;
    return dashboard;
}

std::optional<QByteArray> CollectorQueries::sessionsCsv(const QueryRange& range)
{
    const Condition joined = sessionCondition(range, QStringLiteral("s."));
    return csv(m_database,
        "device,start,length_seconds,app_version,model,locale,time_zone,latitude,longitude,errors,page_views",
        QStringLiteral(
            "SELECT s.device, s.start_time, s.length_ms / 1000.0, s.app_version, s.model, s.locale,"
            " s.time_zone, s.latitude_tenths / 10.0, s.longitude_tenths / 10.0, s.error_count, p.views"
            " FROM sessions s LEFT JOIN page_views p ON p.device = s.device AND p.start_time = s.start_time"
            " WHERE %1 ORDER BY s.start_time, s.device")
            .arg(joined.sql),
        joined.values, { 1 });
}

std::optional<QByteArray> CollectorQueries::eventsCsv(const QueryRange& range)
{
    const Condition joined = sessionCondition(range, QStringLiteral("s."));
    return csv(m_database, "device,session_start,seq,name,start_offset_ms,duration_ms,parameters",
        QStringLiteral(
            "SELECT c.device, c.start_time, c.seq, c.name, c.start_offset, c.duration, c.parameters"
            " FROM events c")
            + sessionJoin
            + QStringLiteral(" WHERE %1 ORDER BY c.start_time, c.device, c.seq").arg(joined.sql),
        joined.values, { 1 });
}

} // namespace collector
