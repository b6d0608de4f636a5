#pragma once

// What the dashboard and the API read from the collector's database, for a date range (UTC days,
// both included) and optionally one app version. Sessions count on the day they started; reports
// on the day they were received. Runs on the calling thread's connection.

#include <optional>

#include <QByteArray>
#include <QDate>
#include <QJsonObject>
#include <QString>

namespace collector {

class CollectorDatabase;

struct QueryRange {
    std::optional<QDate> from; // none: from the beginning
    std::optional<QDate> to; // none: up to now
    QString version; // empty: every version

    // From the request's from, to and version parameters; a one-line reason when they are wrong.
    static std::optional<QueryRange> parse(
        const QString& from, const QString& to, const QString& version, QString* error);
};

class CollectorQueries {
public:
    explicit CollectorQueries(CollectorDatabase& database)
        : m_database(database)
    {
    }

    // Each returns nothing when the database failed (the database's error() says why).
    std::optional<QJsonObject> summary(const QueryRange& range);
    // The shape documented in dashboard/DashboardPage.h; without from/to: the last 30 days.
    std::optional<QJsonObject> dashboard(const QueryRange& range, const QDate& today);
    std::optional<QByteArray> sessionsCsv(const QueryRange& range);
    std::optional<QByteArray> eventsCsv(const QueryRange& range);

private:
    CollectorDatabase& m_database;
};

} // namespace collector
