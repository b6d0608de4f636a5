#include "analytics/TallySessionArchive.h"

#include "platform/system/KeyedArchiveWriter.h"

namespace analytics {

namespace {

using platform::KeyedArchive;

// Plain parameter values are written directly; anything else takes the general (slower) path.
void writeParameters(platform::KeyedArchiveWriter& out, const QVariantMap& parameters)
{
    out.beginObject(parameters.size());
    for (auto it = parameters.cbegin(); it != parameters.cend(); ++it) {
        out.string(it.key());
        const QVariant& value = it.value();
        switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::Short:
            out.int64(value.toLongLong());
            break;
        case QMetaType::Double:
            out.float64(value.toDouble());
            break;
        case QMetaType::Bool:
            out.boolean(value.toBool());
            break;
        case QMetaType::QString:
            out.string(value.toString());
            break;
        default:
            out.value(QCborValue::fromVariant(value));
            break;
        }
    }
}

QDateTime localDate(const std::optional<QDateTime>& date)
{
    return date ? date->toLocalTime() : QDateTime();
}

} // namespace

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
    platform::KeyedArchiveWriter out;
    const qsizetype optionalKeys = qsizetype(state.endTime.isValid()) + qsizetype(state.pauseTime.isValid())
        + qsizetype(!state.userID.isNull()) + qsizetype(state.age.isValid());
    out.beginObject(20 + optionalKeys);
    out.key(QLatin1StringView("serializationVersion"));
    out.int32(kSerializationVersion);
    out.key(QLatin1StringView("startTime"));
    out.date(state.startTime);
    if (state.endTime.isValid()) {
        out.key(QLatin1StringView("endTime"));
        out.date(state.endTime);
    }
    if (state.pauseTime.isValid()) {
        out.key(QLatin1StringView("pauseTime"));
        out.date(state.pauseTime);
    }
    out.key(QLatin1StringView("pauseIntervalMillis"));
    out.int64(state.totalPauseIntervalMillis);

    out.key(QLatin1StringView("eventCounts"));
    out.beginObject(state.eventCounts.size());
    for (auto it = state.eventCounts.cbegin(); it != state.eventCounts.cend(); ++it) {
        out.string(it.key());
        out.int32(it.value());
    }
    
    out.key(QLatin1StringView("eventLog"));
    out.beginList(state.eventLog.size());
    for (const TallyEvent& event : state.eventLog) {
        out.beginObject(4 + qsizetype(event.ended().isValid()) + qsizetype(event.parameters().has_value()));
        out.key(QLatin1StringView("name"));
        out.string(event.name());
        out.key(QLatin1StringView("started"));
        out.date(event.started());
        if (event.ended().isValid()) {
            out.key(QLatin1StringView("ended"));
            out.date(event.ended());
        }
        out.key(QLatin1StringView("timed"));
        out.boolean(event.isTimed());
        if (event.parameters()) {
            out.key(QLatin1StringView("parameters"));
            writeParameters(out, *event.parameters());
        }
        out.key(QLatin1StringView("automaticallyEnded"));
        out.boolean(event.isAutomaticallyEnded());
            }
        out.key(QLatin1StringView("eventLogComplete"));
    out.boolean(state.eventLogComplete);

    out.key(QLatin1StringView("errors"));
    out.beginList(state.errors.size());
    for (const auto& error : state.errors) {
        out.beginList(4);
        out.date(error.time);
        out.string(error.errorId);
        out.string(error.message);
        out.string(error.exceptionText);
            }
        out.key(QLatin1StringView("totalErrorCount"));
    out.int32(state.totalErrorCount);
    out.key(QLatin1StringView("adLog"));
    out.value(QCborArray::fromVariantList(state.adLog));
    out.key(QLatin1StringView("latitude"));
    out.float64(state.latitude);
    out.key(QLatin1StringView("longitude"));
    out.float64(state.longitude);
    out.key(QLatin1StringView("accuracy"));
    out.float32(state.accuracy);
    out.key(QLatin1StringView("crashed"));
    out.boolean(state.crashed);
    out.key(QLatin1StringView("apiKey"));
    out.string(state.apiKey);
    out.key(QLatin1StringView("appVersion"));
    out.string(state.appVersion);
    if (!state.userID.isNull()) {
        out.key(QLatin1StringView("userID"));
        out.string(state.userID);
    }
    out.key(QLatin1StringView("pageViewCount"));
    out.int32(state.pageViewCount);
    out.key(QLatin1StringView("locale"));
    out.string(state.locale);
    out.key(QLatin1StringView("timeZone"));
    out.string(state.timeZone);
    out.key(QLatin1StringView("internetAvailable"));
    out.boolean(state.internetAvailable);
    if (state.age.isValid()) {
        out.key(QLatin1StringView("age"));
        out.date(state.age);
    }
    out.key(QLatin1StringView("gender"));
    out.int32(state.gender);
        return out.bytes();
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
