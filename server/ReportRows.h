#pragma once

// A decoded report (the JSON of analytics::TallyReportDecoder) as the rows the collector stores.
// The device is known only by the SHA-256 of its id; strings lose NUL characters (PostgreSQL text
// cannot hold them, and a report refused by the database would be sent again for ever); a session
// that comes twice in one report is kept once, at its longest. Pure; any thread.

#include <optional>

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

class QJsonObject;

namespace collector {

struct ReportRows {
    struct Event {
        QString name;
        QString parameters; // a JSON object
        qint64 startOffsetMs { 0 };
        qint64 durationMs { 0 };
    };
    struct Error {
        qint64 timeMs { 0 };
        QString errorId;
        QString message;
        QString exception;
    };
    struct Session {
        qint64 startTimeMs { 0 };
        qint64 lengthMs { 0 };
        QString day; // YYYY-MM-DD of the start, UTC
        QString appVersion;
        QString locale;
        QString timeZone;
        std::optional<int> latitudeTenths; // rounded to 0.1 degree; none when the session has no fix
        std::optional<int> longitudeTenths;
        int pageViews { 0 };
        int errorCount { 0 };
        QMap<QString, qint64> eventCounts;
        QList<Event> events;
        QList<Error> errors;
    };

    QString device; // SHA-256 hex of phoneID / tallyID
    qint64 reportTimeMs { 0 };
    QString appVersion;
    QString model;
    QString deviceProperties; // a JSON object
    QList<Session> sessions;

    // The rows of a decoded report, or nothing with the reason in `error`.
    static std::optional<ReportRows> fromReport(const QJsonObject& report, QString* error);
    static QString hashDevice(const QString& deviceId);
    static QString dayOf(qint64 msSinceEpoch);
};

} // namespace collector
