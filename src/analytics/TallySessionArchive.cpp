#include "analytics/TallySessionArchive.h"

namespace analytics {

namespace {

using platform::KeyedArchive;

QDateTime localDate(const std::optional<QDateTime>& date)
{
    return date ? date->toLocalTime() : QDateTime();
}

} // namespace

KeyedArchive TallySessionArchive::encodeEvent(const TallyEvent& event)
{
    KeyedArchive archive;
    archive.encodeString(QStringLiteral("name"), event.name());
    archive.encodeDate(QStringLiteral("started"), event.started());
    if (event.ended().isValid())
        archive.encodeDate(QStringLiteral("ended"), event.ended());
    archive.encodeBool(QStringLiteral("timed"), event.isTimed());
    if (event.parameters())
        archive.encodeMap(QStringLiteral("parameters"), QCborMap::fromVariantMap(*event.parameters()));
    archive.encodeBool(QStringLiteral("automaticallyEnded"), event.isAutomaticallyEnded());
    return archive;
}

std::optional<TallyEvent> TallySessionArchive::decodeEvent(const QCborValue& value)
{
    const auto archive = KeyedArchive::fromValue(value);
    if (!archive)
        return std::nullopt;
    std::optional<QVariantMap> parameters;
    if (const auto map = archive->decodeMap(QStringLiteral("parameters")))
        parameters = map->toVariantMap();
    TallyEvent event(archive->decodeString(QStringLiteral("name")).value_or(QString()),
                     archive->decodeBool(QStringLiteral("timed")).value_or(false), std::move(parameters));
    event.setStarted(localDate(archive->decodeDate(QStringLiteral("started"))));
    event.setEnded(localDate(archive->decodeDate(QStringLiteral("ended"))));
    event.setAutomaticallyEnded(archive->decodeBool(QStringLiteral("automaticallyEnded")).value_or(false));
    return event;
}

KeyedArchive TallySessionArchive::encodeSession(const TallySessionState& state)
{
    KeyedArchive archive;
    archive.encodeInt32(QStringLiteral("serializationVersion"), kSerializationVersion);
    archive.encodeDate(QStringLiteral("startTime"), state.startTime);
    if (state.endTime.isValid())
        archive.encodeDate(QStringLiteral("endTime"), state.endTime);
    if (state.pauseTime.isValid())
        archive.encodeDate(QStringLiteral("pauseTime"), state.pauseTime);
    archive.encodeInt64(QStringLiteral("pauseIntervalMillis"), state.totalPauseIntervalMillis);

    QCborMap counts;
    for (auto it = state.eventCounts.cbegin(); it != state.eventCounts.cend(); ++it)
        counts.insert(it.key(), qint64(it.value()));
    archive.encodeMap(QStringLiteral("eventCounts"), counts);

    QCborArray events;
    for (const TallyEvent& event : state.eventLog)
        events.append(encodeEvent(event).toValue());
    archive.encodeList(QStringLiteral("eventLog"), events);
    archive.encodeBool(QStringLiteral("eventLogComplete"), state.eventLogComplete);

    QCborArray errors;
    for (const auto& error : state.errors)
        errors.append(QCborArray { KeyedArchive::dateValue(error.time), error.errorId, error.message, error.exceptionText });
    archive.encodeList(QStringLiteral("errors"), errors);
    archive.encodeInt32(QStringLiteral("totalErrorCount"), state.totalErrorCount);
    archive.encodeList(QStringLiteral("adLog"), QCborArray::fromVariantList(state.adLog));
    archive.encodeDouble(QStringLiteral("latitude"), state.latitude);
    archive.encodeDouble(QStringLiteral("longitude"), state.longitude);
    archive.encodeFloat(QStringLiteral("accuracy"), state.accuracy);
    archive.encodeBool(QStringLiteral("crashed"), state.crashed);
    archive.encodeString(QStringLiteral("apiKey"), state.apiKey);
    archive.encodeString(QStringLiteral("appVersion"), state.appVersion);
    if (!state.userID.isNull())
        archive.encodeString(QStringLiteral("userID"), state.userID);
    archive.encodeInt32(QStringLiteral("pageViewCount"), state.pageViewCount);
    archive.encodeString(QStringLiteral("locale"), state.locale);
    archive.encodeString(QStringLiteral("timeZone"), state.timeZone);
    archive.encodeBool(QStringLiteral("internetAvailable"), state.internetAvailable);
    if (state.age.isValid())
        archive.encodeDate(QStringLiteral("age"), state.age);
    archive.encodeInt32(QStringLiteral("gender"), state.gender);
    return archive;
}

std::optional<TallySessionState> TallySessionArchive::decodeSession(const KeyedArchive& archive)
{
    TallySessionState state;
    const std::int32_t version = archive.decodeInt32(QStringLiteral("serializationVersion")).value_or(0);
    if (version > 0 && version != kSerializationVersion)
        return std::nullopt; // written by a newer version of the layer
    if (archive.contains(QStringLiteral("serializationVersion"))
        && !archive.decodeInt32(QStringLiteral("serializationVersion")))
        return std::nullopt; // a version that is not even a number cannot be trusted either
    state.serializationVersion = version;
    state.startTime = localDate(archive.decodeDate(QStringLiteral("startTime")));
    state.endTime = localDate(archive.decodeDate(QStringLiteral("endTime")));
    state.pauseTime = localDate(archive.decodeDate(QStringLiteral("pauseTime")));
    state.totalPauseIntervalMillis = archive.decodeInt64(QStringLiteral("pauseIntervalMillis")).value_or(0);

    const QCborMap counts = archive.decodeMap(QStringLiteral("eventCounts")).value_or(QCborMap());
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.key().isString() && it.value().isInteger())
            state.eventCounts.insert(it.key().toString(), std::int32_t(it.value().toInteger()));
    }
    const QCborArray events = archive.decodeList(QStringLiteral("eventLog")).value_or(QCborArray());
    for (const QCborValue& value : events) {
        if (auto event = decodeEvent(value))
            state.eventLog.append(*event);
    }
    state.eventLogComplete = archive.decodeBool(QStringLiteral("eventLogComplete")).value_or(false);

    const QCborArray errors = archive.decodeList(QStringLiteral("errors")).value_or(QCborArray());
    for (const QCborValue& value : errors) {
        const QCborArray entry = value.toArray();
        if (!value.isArray() || entry.size() < 4)
            continue;
        state.errors.append({ localDate(KeyedArchive::toDate(entry.at(0))), entry.at(1).toString(),
                              entry.at(2).toString(), entry.at(3).toString() });
    }
    state.totalErrorCount = archive.decodeInt32(QStringLiteral("totalErrorCount")).value_or(0);
    state.adLog = archive.decodeList(QStringLiteral("adLog")).value_or(QCborArray()).toVariantList();
    state.latitude = archive.decodeDouble(QStringLiteral("latitude")).value_or(0.0);
    state.longitude = archive.decodeDouble(QStringLiteral("longitude")).value_or(0.0);
    state.accuracy = archive.decodeFloat(QStringLiteral("accuracy")).value_or(0.0f);
    state.crashed = archive.decodeBool(QStringLiteral("crashed")).value_or(false);
    state.apiKey = archive.decodeString(QStringLiteral("apiKey")).value_or(QString());
    state.appVersion = archive.decodeString(QStringLiteral("appVersion")).value_or(QString());
    state.userID = archive.decodeString(QStringLiteral("userID")).value_or(QString());
    state.pageViewCount = archive.decodeInt32(QStringLiteral("pageViewCount")).value_or(0);
    state.locale = archive.decodeString(QStringLiteral("locale")).value_or(QString());
    state.timeZone = archive.decodeString(QStringLiteral("timeZone")).value_or(QString());
    state.internetAvailable = archive.decodeBool(QStringLiteral("internetAvailable")).value_or(false);
    state.age = localDate(archive.decodeDate(QStringLiteral("age")));
    // A missing gender is unknown, not female.
    state.gender = archive.decodeInt32(QStringLiteral("gender")).value_or(-1);
    // Not archived: a session read back does not record or report by itself.
    state.eventLoggingEnabled = false;
    state.sessionReportsOnCloseEnabled = false;
    state.sessionReportsOnPauseEnabled = false;
    return state;
}

QByteArray TallySessionArchive::sessionFile(const TallySessionState& state)
{
    return KeyedArchive::archive(encodeSession(state).toValue());
}

std::optional<TallySessionState> TallySessionArchive::sessionFromFile(const QByteArray& bytes)
{
    const auto root = KeyedArchive::unarchive(bytes);
    if (!root)
        return std::nullopt;
    const auto archive = KeyedArchive::fromValue(*root);
    if (!archive)
        return std::nullopt;
    return decodeSession(*archive);
}

} // namespace analytics
