#include "ReportRows.h"

#include <algorithm>
#include <cmath>

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace collector {

namespace {

QString text(const QJsonValue& value)
{
    QString string = value.toString();
    string.remove(QChar(u'\0'));
    return string;
}

qint64 integer(const QJsonValue& value)
{
    const double number = value.toDouble();
    // ±2^62: any timestamp or count the app can send, and no overflow when the collector adds them.
    constexpr double limit = 4611686018427387904.0;
    return std::isfinite(number) ? static_cast<qint64>(std::clamp(number, -limit, limit)) : 0;
}

QString jsonText(const QJsonObject& object)
{
    QString json = QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
    json.remove(QChar(u'\0')); // escaped as \u0000 already; kept out of text columns all the same
    return json;
}

std::optional<int> tenths(double degrees, double limit)
{
    if (!std::isfinite(degrees) || std::abs(degrees) > limit)
        return std::nullopt;
    return static_cast<int>(std::lround(degrees * 10.0));
}

ReportRows::Session sessionRows(const QJsonObject& json, const QString& reportAppVersion)
{
    ReportRows::Session session;
    session.startTimeMs = integer(json.value(QLatin1String("startTime")));
    session.lengthMs = std::max<qint64>(0, integer(json.value(QLatin1String("sessionLength"))));
    session.day = ReportRows::dayOf(session.startTimeMs);
    session.appVersion = text(json.value(QLatin1String("appVersion")));
    if (session.appVersion.isEmpty())
        session.appVersion = reportAppVersion;
    session.locale = text(json.value(QLatin1String("locale")));
    session.timeZone = text(json.value(QLatin1String("timeZone")));
    // The app sends 0, 0 when it has no fix.
    const double latitude = json.value(QLatin1String("latitude")).toDouble();
    const double longitude = json.value(QLatin1String("longitude")).toDouble();
    if (latitude != 0.0 || longitude != 0.0) {
        session.latitudeTenths = tenths(latitude, 90.0);
        session.longitudeTenths = tenths(longitude, 180.0);
        if (!session.latitudeTenths || !session.longitudeTenths)
            session.latitudeTenths = session.longitudeTenths = std::nullopt;
    }
    session.pageViews = std::max(0, json.value(QLatin1String("pageViewCount")).toInt());
    session.errorCount = std::max(0, json.value(QLatin1String("totalErrorCount")).toInt());
    const QJsonObject counts = json.value(QLatin1String("eventCounts")).toObject();
    for (auto it = counts.begin(); it != counts.end(); ++it) {
        QString name = it.key();
        name.remove(QChar(u'\0'));
        session.eventCounts[name] += std::max<qint64>(0, integer(it.value()));
    }
    for (const QJsonValue& value : json.value(QLatin1String("events")).toArray()) {
        const QJsonObject event = value.toObject();
        session.events.append({ text(event.value(QLatin1String("name"))),
            jsonText(event.value(QLatin1String("parameters")).toObject()),
            integer(event.value(QLatin1String("startOffset"))),
            integer(event.value(QLatin1String("duration"))) });
    }
    for (const QJsonValue& value : json.value(QLatin1String("errors")).toArray()) {
        const QJsonObject error = value.toObject();
        session.errors.append(
            { integer(error.value(QLatin1String("time"))), text(error.value(QLatin1String("errorId"))),
                text(error.value(QLatin1String("message"))), text(error.value(QLatin1String("exception"))) });
    }
    // A count below what the log holds would make the summary disagree with the error list.
    session.errorCount = std::max<int>(session.errorCount, static_cast<int>(session.errors.size()));
    return session;
}

} // namespace

QString ReportRows::hashDevice(const QString& deviceId)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(deviceId.toUtf8(), QCryptographicHash::Sha256).toHex());
}

QString ReportRows::dayOf(qint64 msSinceEpoch)
{
    return QDateTime::fromMSecsSinceEpoch(msSinceEpoch, Qt::UTC).date().toString(Qt::ISODate);
}

std::optional<ReportRows> ReportRows::fromReport(const QJsonObject& report, QString* error)
{
    ReportRows rows;
    const QString deviceId = report.contains(QLatin1String("phoneID"))
        ? report.value(QLatin1String("phoneID")).toString()
        : report.value(QLatin1String("tallyID")).toString();
    if (deviceId.isEmpty()) {
        if (error)
            *error = QStringLiteral("report without a device id");
        return std::nullopt;
    }
    rows.device = hashDevice(deviceId);
    rows.reportTimeMs = integer(report.value(QLatin1String("reportTime")));
    rows.appVersion = text(report.value(QLatin1String("appVersion")));
    const QJsonObject properties = report.value(QLatin1String("deviceProperties")).toObject();
    rows.model = text(properties.value(QLatin1String("device.model.1")));
    rows.deviceProperties = jsonText(properties);
    for (const QJsonValue& value : report.value(QLatin1String("sessions")).toArray()) {
        Session session = sessionRows(value.toObject(), rows.appVersion);
        const auto same = std::find_if(rows.sessions.begin(), rows.sessions.end(),
            [&](const Session& kept) { return kept.startTimeMs == session.startTimeMs; });
        if (same == rows.sessions.end())
            rows.sessions.append(std::move(session));
        else if (session.lengthMs >= same->lengthMs)
            *same = std::move(session);
    }
    return rows;
}

} // namespace collector
