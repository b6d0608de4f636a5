#include "analytics/TallySessionArchive.h"

#include <functional>
#include <utility>
#include <vector>

#include "platform/system/KeyedArchiveWriter.h"

namespace analytics {

namespace {

using platform::KeyedArchive;
using namespace Qt::StringLiterals;

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
    out.endObject();
}

// The keys of one archived object, gathered before any is written, so that the map's size is the
// number of keys actually present (optional keys that are unset are never added).
class ArchivedObject {
public:
    using Write = std::function<void(platform::KeyedArchiveWriter&)>;

    void add(QLatin1StringView key, Write write) { m_keys.emplace_back(key, std::move(write)); }
    void addIf(bool present, QLatin1StringView key, Write write)
    {
        if (present)
            add(key, std::move(write));
    }

    void writeTo(platform::KeyedArchiveWriter& out) const
    {
        out.beginObject(qsizetype(m_keys.size()));
        for (const auto& [key, write] : m_keys) {
            out.key(key);
            write(out);
        }
        out.endObject();
    }

private:
    std::vector<std::pair<QLatin1StringView, Write>> m_keys;
};

void writeEvent(platform::KeyedArchiveWriter& out, const TallyEvent& event)
{
    ArchivedObject object;
    object.add("name"_L1, [&](auto& o) { o.string(event.name()); });
    object.add("started"_L1, [&](auto& o) { o.date(event.started()); });
    object.addIf(event.ended().isValid(), "ended"_L1, [&](auto& o) { o.date(event.ended()); });
    object.add("timed"_L1, [&](auto& o) { o.boolean(event.isTimed()); });
    object.addIf(event.parameters().has_value(), "parameters"_L1,
        [&](auto& o) { writeParameters(o, *event.parameters()); });
    object.add("automaticallyEnded"_L1, [&](auto& o) { o.boolean(event.isAutomaticallyEnded()); });
    object.writeTo(out);
}

void writeEventCounts(platform::KeyedArchiveWriter& out, const TallySessionState& state)
{
    out.beginObject(state.eventCounts.size());
    for (auto it = state.eventCounts.cbegin(); it != state.eventCounts.cend(); ++it) {
        out.string(it.key());
        out.int32(it.value());
    }
    out.endObject();
}

void writeEventLog(platform::KeyedArchiveWriter& out, const TallySessionState& state)
{
    out.beginList(state.eventLog.size());
    for (const TallyEvent& event : state.eventLog)
        writeEvent(out, event);
    out.endList();
}

// Each error is a list: [date, id, message, exception text].
constexpr qsizetype kErrorEntryFields = 4;

void writeErrors(platform::KeyedArchiveWriter& out, const TallySessionState& state)
{
    out.beginList(state.errors.size());
    for (const auto& error : state.errors) {
        out.beginList(kErrorEntryFields);
        out.date(error.time);
        out.string(error.errorId);
        out.string(error.message);
        out.string(error.exceptionText);
        out.endList();
    }
    out.endList();
}

// The session's keys, in their archived order (see TallySessionArchive.h).
void addTimeKeys(ArchivedObject& session, const TallySessionState& state)
{
    session.add(
        "serializationVersion"_L1, [](auto& o) { o.int32(TallySessionArchive::kSerializationVersion); });
    session.add("startTime"_L1, [&](auto& o) { o.date(state.startTime); });
    session.addIf(state.endTime.isValid(), "endTime"_L1, [&](auto& o) { o.date(state.endTime); });
    session.addIf(state.pauseTime.isValid(), "pauseTime"_L1, [&](auto& o) { o.date(state.pauseTime); });
    session.add("pauseIntervalMillis"_L1, [&](auto& o) { o.int64(state.totalPauseIntervalMillis); });
}

void addEventAndErrorKeys(ArchivedObject& session, const TallySessionState& state)
{
    session.add("eventCounts"_L1, [&](auto& o) { writeEventCounts(o, state); });
    session.add("eventLog"_L1, [&](auto& o) { writeEventLog(o, state); });
    session.add("eventLogComplete"_L1, [&](auto& o) { o.boolean(state.eventLogComplete); });
    session.add("errors"_L1, [&](auto& o) { writeErrors(o, state); });
    session.add("totalErrorCount"_L1, [&](auto& o) { o.int32(state.totalErrorCount); });
    session.add("adLog"_L1, [&](auto& o) { o.value(QCborArray::fromVariantList(state.adLog)); });
}

void addDeviceAndUserKeys(ArchivedObject& session, const TallySessionState& state)
{
    session.add("latitude"_L1, [&](auto& o) { o.float64(state.latitude); });
    session.add("longitude"_L1, [&](auto& o) { o.float64(state.longitude); });
    session.add("accuracy"_L1, [&](auto& o) { o.float32(state.accuracy); });
    session.add("crashed"_L1, [&](auto& o) { o.boolean(state.crashed); });
    session.add("apiKey"_L1, [&](auto& o) { o.string(state.apiKey); });
    session.add("appVersion"_L1, [&](auto& o) { o.string(state.appVersion); });
    session.addIf(!state.userID.isNull(), "userID"_L1, [&](auto& o) { o.string(state.userID); });
    session.add("pageViewCount"_L1, [&](auto& o) { o.int32(state.pageViewCount); });
    session.add("locale"_L1, [&](auto& o) { o.string(state.locale); });
    session.add("timeZone"_L1, [&](auto& o) { o.string(state.timeZone); });
    session.add("internetAvailable"_L1, [&](auto& o) { o.boolean(state.internetAvailable); });
    session.addIf(state.age.isValid(), "age"_L1, [&](auto& o) { o.date(state.age); });
    session.add("gender"_L1, [&](auto& o) { o.int32(state.gender); });
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
    for (const auto& value : events) {
        if (auto event = decodeEvent(value))
            state.eventLog.append(*event);
    }
    state.eventLogComplete = archive.decodeBool(QStringLiteral("eventLogComplete")).value_or(false);

    const QCborArray errors = archive.decodeList(QStringLiteral("errors")).value_or(QCborArray());
    for (const auto& value : errors) {
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
    return sessionFile(state, StoreKeys {});
}

QByteArray TallySessionArchive::sessionFile(const TallySessionState& state, const StoreKeys& storeKeys)
{
    ArchivedObject session;
    addTimeKeys(session, state);
    addEventAndErrorKeys(session, state);
    addDeviceAndUserKeys(session, state);
    session.addIf(storeKeys.sequence >= 0, kSequenceKey, [&](auto& o) { o.int64(storeKeys.sequence); });
    session.addIf(storeKeys.handedOverRecord != nullptr, kHandedOverKey,
        [&](auto& o) { o.bytes(*storeKeys.handedOverRecord); });
    platform::KeyedArchiveWriter out;
    session.writeTo(out);
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
