#include "analytics/TallyArchiveDecoder.h"

#include <QCborArray>
#include <QJsonArray>

#include "analytics/TallyReportDecoder.h"
#include "analytics/TallySessionArchive.h"
#include "platform/system/KeyedArchive.h"

namespace analytics {

namespace {

using platform::KeyedArchive;

void putDate(QJsonObject& object, const char* key, const QDateTime& date)
{
    if (date.isValid())
        object[QLatin1String(key)] = double(date.toMSecsSinceEpoch());
}

TallyArchiveDecoder::Result failure(const QString& why)
{
    TallyArchiveDecoder::Result result;
    result.error = why;
    return result;
}

} // namespace

QJsonObject TallyArchiveDecoder::sessionToJson(const TallySessionState& state)
{
    QJsonObject session;
    session[QLatin1String("serializationVersion")] = state.serializationVersion;
    putDate(session, "startTime", state.startTime);
    putDate(session, "endTime", state.endTime);
    putDate(session, "pauseTime", state.pauseTime);
    session[QLatin1String("pauseIntervalMillis")] = double(state.totalPauseIntervalMillis);
    QJsonObject counts;
    for (auto it = state.eventCounts.cbegin(); it != state.eventCounts.cend(); ++it)
        counts[it.key()] = it.value();
    session[QLatin1String("eventCounts")] = counts;
    QJsonArray events;
    for (const TallyEvent& event : state.eventLog) {
        QJsonObject json;
        json[QLatin1String("name")] = event.name();
        putDate(json, "started", event.started());
        putDate(json, "ended", event.ended());
        json[QLatin1String("timed")] = event.isTimed();
        if (event.parameters())
            json[QLatin1String("parameters")] = QJsonObject::fromVariantMap(*event.parameters());
        json[QLatin1String("automaticallyEnded")] = event.isAutomaticallyEnded();
        events.append(json);
    }
    session[QLatin1String("eventLog")] = events;
    session[QLatin1String("eventLogComplete")] = state.eventLogComplete;
    QJsonArray errors;
    for (const auto& error : state.errors) {
        QJsonObject json;
        putDate(json, "time", error.time);
        json[QLatin1String("errorId")] = error.errorId;
        json[QLatin1String("message")] = error.message;
        json[QLatin1String("exception")] = error.exceptionText;
        errors.append(json);
    }
    session[QLatin1String("errors")] = errors;
    session[QLatin1String("totalErrorCount")] = state.totalErrorCount;
    session[QLatin1String("adLog")] = QJsonArray::fromVariantList(state.adLog);
    session[QLatin1String("latitude")] = state.latitude;
    session[QLatin1String("longitude")] = state.longitude;
    session[QLatin1String("accuracy")] = double(state.accuracy);
    session[QLatin1String("crashed")] = state.crashed;
    session[QLatin1String("apiKey")] = state.apiKey;
    session[QLatin1String("appVersion")] = state.appVersion;
    if (!state.userID.isNull())
        session[QLatin1String("userID")] = state.userID;
    session[QLatin1String("pageViewCount")] = state.pageViewCount;
    session[QLatin1String("locale")] = state.locale;
    session[QLatin1String("timeZone")] = state.timeZone;
    session[QLatin1String("internetAvailable")] = state.internetAvailable;
    putDate(session, "age", state.age);
    session[QLatin1String("gender")] = state.gender;
    return session;
}

TallyArchiveDecoder::Result TallyArchiveDecoder::decode(const QByteArray& bytes)
{
    const auto root = KeyedArchive::unarchive(bytes);
    if (!root)
        return failure(bytes.isEmpty()
                ? QStringLiteral("empty file (the sent marker is empty; it holds no archive)")
                : QStringLiteral("not a keyed archive, or damaged"));
    Result result;
    if (root->isMap()) {
        const auto version = KeyedArchive(root->toMap()).decodeInt32(QStringLiteral("serializationVersion"));
        const auto state = TallySessionArchive::decodeSession(KeyedArchive(root->toMap()));
        if (!state)
            return failure(QStringLiteral("session archive of unsupported serializationVersion %1")
                               .arg(version.value_or(-1)));
        result.json[QLatin1String("kind")] = QStringLiteral("session");
        result.json[QLatin1String("session")] = sessionToJson(*state);
        return result;
    }
    if (root->isArray()) {
        QJsonArray sessions;
        const QCborArray list = root->toArray();
        for (qsizetype i = 0; i < list.size(); ++i) {
            if (!list.at(i).isByteArray())
                return failure(QStringLiteral("saved session %1 is not a session record").arg(i));
            const auto record = TallyReportDecoder::decodeSessionRecord(list.at(i).toByteArray());
            if (!record.ok())
                return failure(QStringLiteral("saved session %1: %2").arg(i).arg(record.error));
            sessions.append(record.json);
        }
        result.json[QLatin1String("kind")] = QStringLiteral("savedSessions");
        result.json[QLatin1String("sessions")] = sessions;
        return result;
    }
    if (const auto date = KeyedArchive::toDate(*root)) {
        result.json[QLatin1String("kind")] = QStringLiteral("initialTimestamp");
        result.json[QLatin1String("initialTimestamp")] = double(date->toMSecsSinceEpoch());
        return result;
    }
    return failure(QStringLiteral("an archive, but not one of the analytics files"));
}

} // namespace analytics
