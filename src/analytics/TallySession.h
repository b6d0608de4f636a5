#pragma once

// One analytics session: when it started, paused and ended, what it counted and logged, and the
// user's declared attributes; its binary report record; and the class-wide current session.
//
// Threads: recording, the setters and the lifecycle operations run on the main thread (checked in
// debug builds), except recordError() and the saveToDisk() it makes, which the uncaught-exception
// handler calls on whichever thread is ending; data(), state(), the readers and the setters marked
// below may run on any thread (upload threads read the record while the main thread records). Every
// field is guarded by m_mutex, so a record always shows one consistent moment. No lock is held
// while the store, the uploader or the log runs.

#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <variant>

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariantMap>

#include "analytics/TallySessionState.h"
#include "platform/core/ThreadChecker.h"

namespace platform {
struct Error;
}

namespace analytics {

class TallySession;

// An element of a report: a record already encoded (a saved session), or a live session.
using TallyReportItem = std::variant<QByteArray, std::shared_ptr<const TallySession>>;

class TallySession {
public:
    // Recording limits.
    static constexpr int maxEventNames = 100;
    static constexpr int maxLoggedEvents = 1000;
    static constexpr int maxEventParameters = 10;
    static constexpr int maxStoredErrors = 10;
    static constexpr std::int64_t pageViewSpacingMillis = 300;
    static constexpr int minAge = 1;
    static constexpr int maxAge = 150;
    // The report's format and agent versions, and its device-family codes.
    static constexpr std::uint16_t reportFormatVersion = 15;
    static constexpr std::uint16_t agentVersion = 48;
    static constexpr std::uint16_t phoneFamily = 2;
    static constexpr std::uint16_t tabletFamily = 8;

    // A fresh session starting now, with the platform's locale and time zone.
    TallySession(const QString& apiKey, const QString& appVersion);
    // A session restored from its archived fields (the session store).
    explicit TallySession(TallySessionState state);
    TallySession(const TallySession&) = delete;
    TallySession& operator=(const TallySession&) = delete;

    // --- The current session (any thread) ---
    // Creates a session for the key (saving a session a dead process left behind as crashed),
    // archives it and makes it current.
    static std::shared_ptr<TallySession> createActiveTallySession(
        const QString& apiKey, const QString& appVersion);
    static std::shared_ptr<TallySession> currentSession();
    static void setCurrentSession(std::shared_ptr<TallySession> session);
    static QString getAgentVersion();
    static void setMaxSessions(int maximum);

    // --- Lifecycle (main thread) ---
    void pauseSession();
    void resumeSession();
    // Appends this session's record to the saved sessions, removes its archive and, when it is
    // the current session, leaves no current session.
    void saveSession();
    void endSession() { endSessionAndSend(true, true); }
    void endSessionAndSend(bool send, bool removeCurrentSession);
    // Archives the session as the current-session file.
    void saveToDisk();

    // Milliseconds from start to end, -1 while never ended or paused.
    std::int64_t sessionLength() const;
    std::int64_t timeIntervalSinceSessionStart(const QDateTime& date) const;

    // --- Events, errors, page views, user attributes (main thread) ---
    void recordEvent(
        const QString& name, std::optional<QVariantMap> parameters = std::nullopt, bool timed = false);
    void endTimedEvent(const QString& name, const std::optional<QVariantMap>& parameters = std::nullopt);
    void endTimedEvents();
    void recordError(const QString& errorId, const QString& message, const std::exception* exception);
    void recordError(const QString& errorId, const QString& message, const platform::Error* error);
    void recordError(const QString& errorId, const QString& message, const QString& exceptionString);
    // Counts a page view unless the last counted one (of any session) is 0.3 s old or younger.
    void maybeIncrementPageView();
    static void resetPageViewClock();

    void setUserID(const QString& userID);
    void setGender(const QString& gender);
    void setAge(std::int32_t age);
    void setEventLoggingEnabled(bool enabled);
    void setSessionReportsOnCloseEnabled(bool enabled);
    void setSessionReportsOnPauseEnabled(bool enabled);
    void setLatitude(double latitude, double longitude, float horizontalAccuracy, float verticalAccuracy);

    // --- Readers and the setters other parts use (any thread) ---
    TallySessionState state() const;
    QDateTime startTime() const;
    QDateTime endTime() const;
    QDateTime pauseTime() const;
    QString apiKey() const;
    QString appVersion() const;
    QString userID() const;
    bool isCrashed() const;
    std::int32_t pageViewCount() const;
    bool isInternetAvailable() const;
    bool sessionReportsOnCloseEnabled() const;
    bool sessionReportsOnPauseEnabled() const;
    void setEndTime(const QDateTime& endTime);
    void setAppVersion(const QString& appVersion);
    void setCrashed(bool crashed);
    void setPageViewCount(std::int32_t count);
    void setInternetAvailable(bool available);

    // --- The report (any thread) ---
    // This session's record.
    QByteArray data() const;
    // The whole report: header, then the records of the items that encode, and their count.
    static QByteArray dataForSessions(const QList<TallyReportItem>& sessions, bool requestAds);
    // The saved records, then (when asked) the current session.
    static QList<TallyReportItem> sessionsToSend(bool includeCurrentSession);

    // --- Device identity and location reduction (any thread) ---
    static QString phoneID();
    static QByteArray tallyID();
    static QByteArray hashData(const QByteArray& bytes);
    static QString hashDataToHexString(const QByteArray& bytes, int length);
    static QString devicePlatform();
    // Truncates toward zero to 1/1000; NaN and values beyond ±2147483.647 are clamped.
    static double reduceLocationPrecision(double value);

private:
    mutable std::mutex m_mutex; // guards m_state
    TallySessionState m_state;
    [[no_unique_address]] platform::ThreadChecker m_mainThread;
};

} // namespace analytics
