#pragma once

// Every field of one analytics session, as a plain value. TallySession keeps one under its lock
// and hands out copies, so a reader (an upload thread building the report, the store archiving
// the session) always sees one consistent moment. The session store rebuilds sessions from it.

#include <cstdint>

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QVariantList>

#include "analytics/TallyEvent.h"

namespace analytics {

struct TallySessionState {
    // One recorded error: when, the error id, the message and the exception text ("" if none).
    struct ErrorEntry {
        QDateTime time;
        QString errorId;
        QString message;
        QString exceptionText;
    };

    std::int32_t serializationVersion { 0 }; // 1 once the session has been archived
    QDateTime startTime;
    QDateTime endTime; // null while the session was never ended or paused
    QDateTime pauseTime; // null unless a pause is in progress
    std::int64_t totalPauseIntervalMillis { 0 };
    double latitude { 0 };
    double longitude { 0 };
    float accuracy { 0 };
    bool crashed { false };
    QString apiKey;
    QString appVersion;
    QString userID; // null when absent; sent as ""
    QMap<QString, std::int32_t> eventCounts;
    QList<TallyEvent> eventLog;
    bool eventLogComplete { true };
    QList<ErrorEntry> errors;
    std::int32_t totalErrorCount { 0 };
    QVariantList adLog; // always empty in this system
    bool eventLoggingEnabled { true };
    bool sessionReportsOnCloseEnabled { true };
    bool sessionReportsOnPauseEnabled { false };
    std::int32_t pageViewCount { 0 };
    QString locale;
    QString timeZone;
    bool internetAvailable { true };
    std::int32_t gender { -1 }; // 1 male, 0 female, -1 unknown
    QDateTime age; // 1 January of the birth year, local time; null when not set
};

} // namespace analytics
