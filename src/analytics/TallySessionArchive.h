#pragma once

// The archived forms of a session and of an event: keyed archives (platform::KeyedArchive) with
// exactly these keys, in this order.
//
// Session: "serializationVersion" (int32, always 1), "startTime" (date), "endTime" (date, only
// when set), "pauseTime" (date, only when set), "pauseIntervalMillis" (int64), "eventCounts" (map
// text → int), "eventLog" (list of events), "eventLogComplete" (flag), "errors" (list of
// [date, id, message, exception text]), "totalErrorCount" (int32), "adLog" (list, empty),
// "latitude" (double), "longitude" (double), "accuracy" (float), "crashed" (flag), "apiKey",
// "appVersion", "userID" (only when set), "pageViewCount" (int32), "locale", "timeZone" (text),
// "internetAvailable" (flag), "age" (date, only when set), "gender" (int32).
// Event: "name", "started", "ended" (only when set), "timed", "parameters" (map, only when set),
// "automaticallyEnded".
//
// The file store may add two keys of its own after these: "storeSequence" (int64, larger in every
// newer file, so the newest of several copies is known) and "handedOverRecord" (bytes: the
// session's record, written once the session has ended and is being moved to the saved list).
//
// Reading: a session whose "serializationVersion" is present, greater than 0 and not 1 is
// unreadable (absent). Otherwise every key is read; a missing key, or one holding another type,
// reads as absent, 0 or off. The report settings (event logging, reports on close and on pause)
// are not archived and read back off. Plain functions; any thread.

#include <optional>

#include <QByteArray>
#include <QCborValue>
#include <QString>

#include "analytics/TallyEvent.h"
#include "analytics/TallySessionState.h"
#include "platform/system/KeyedArchive.h"

namespace analytics {

class TallySessionArchive {
public:
    TallySessionArchive() = delete;

    static constexpr std::int32_t kSerializationVersion = 1;

    // A whole current-session file (written straight to bytes: it is rewritten after every
    // event), and back (absent for anything unreadable).
    static QByteArray sessionFile(const TallySessionState& state);
    struct StoreKeys {
        qint64 sequence { -1 }; // written when 0 or more
        const QByteArray* handedOverRecord { nullptr }; // written when set
    };
    static QByteArray sessionFile(const TallySessionState& state, const StoreKeys& storeKeys);
    static constexpr QLatin1StringView kSequenceKey { "storeSequence" };
    static constexpr QLatin1StringView kHandedOverKey { "handedOverRecord" };
    static std::optional<TallySessionState> sessionFromFile(const QByteArray& bytes);

    static std::optional<TallySessionState> decodeSession(const platform::KeyedArchive& archive);
    static std::optional<TallyEvent> decodeEvent(const QCborValue& value);
};

} // namespace analytics
