#pragma once

#include <chrono>

// The analytics layer's whole public surface: class operations only. startSession() once at
// launch; then events, errors and page views go to the current session, and the layer follows
// the application's lifecycle by itself (pause on will-resign-active, continue or start anew on
// did-become-active, end on will-terminate). Nothing here ever throws to the caller: exceptions
// inside the layer go to TallyUtil::handleException. Operations forwarding to the session do
// nothing beyond storing the setting while there is no current session.
//
// Threads: every operation on the main thread (checked in debug builds), except the readers (any
// thread), logError() (also called by the uncaught-exception handler on whichever thread is
// ending) and stopBackgroundTask() (also called from the pause upload's thread).

#include <cstdint>
#include <exception>
#include <optional>

#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace platform {
struct Error;
}

namespace analytics {

class TallyNavigationController;
class TallyTabBarController;

class TallyAPI {
public:
    TallyAPI() = delete;

    // Where reports go unless setServerURL() says otherwise: a collection server on this machine
    // (http://127.0.0.1:8642/report.do), so nothing leaves the device until the application
    // names its collection server.
    static QString defaultServerURL();

    // --- Host set-up, before startSession (main thread) ---
    // Keeps sessions in files (TallyFileSessionStore) and sends reports over HTTP
    // (TallyNetworkUploader) instead of the do-nothing defaults.
    static void usePersistenceAndUpload();
    // Moves the layer's files (sessions, file cache, debug copies) under one folder; empty
    // restores Qt's standard locations. See TallyPaths.
    static void setDataDirectory(const QString& folder);
    // Off: the layer does nothing at all — no files, no threads, no traffic; every operation
    // returns at once. On by default.
    static void setEnabled(bool enabled);
    static bool isEnabled();
    // Makes the data folder and takes it for this process (TallyDataFolder), before
    // startSession. When another running process owns it, or it cannot be written, one line is
    // logged, the layer turns itself off and this returns false.
    static bool takeDataFolder();
    // Deletes the files the layer keeps under TallyPaths' folders, by their exact names, and the
    // folders it made that this leaves empty (TallyDataFolder). Returns the files removed; absent,
    // with nothing deleted, when another running process owns the folder. For a host whose user
    // turned analytics off; call it while the layer is not running.
    static std::optional<QStringList> removeStoredData();

    static void startSession(const QString& apiKey);

    static void logEvent(const QString& eventName);
    static void logEvent(const QString& eventName, const QVariantMap& parameters);
    static void logEvent(const QString& eventName, bool timed);
    static void logEvent(const QString& eventName, const QVariantMap& parameters, bool timed);
    static void endTimedEvent(
        const QString& eventName, const std::optional<QVariantMap>& parameters = std::nullopt);
    static void logError(const QString& errorId, const QString& message, const std::exception* exception);
    static void logError(const QString& errorId, const QString& message, const platform::Error* error);
    static void logPageView();
    static void logAllPageViews(TallyNavigationController& controller);
    static void logAllPageViews(TallyTabBarController& controller);

    static void setUserID(const QString& userID);
    static void setAge(std::int32_t age);
    static void setGender(const QString& gender);
    static void setEventLoggingEnabled(bool enabled);
    static void setSessionReportsOnCloseEnabled(bool enabled);
    static void setSessionReportsOnPauseEnabled(bool enabled);
    static void setSessionContinueSeconds(std::int32_t seconds);
    static void setMaxSessionsSaved(std::int32_t maximum);
    static void setLatitude(
        double latitude, double longitude, float horizontalAccuracy, float verticalAccuracy);
    // Only before startSession(); afterwards it alerts the developer and changes nothing.
    static void setAppVersion(const QString& version);
    static void setServerURL(const QString& url);
    static void setSavedResponseURL(const QString& url);
    static void setDebugLogEnabled(bool enabled);
    static void setShowErrorInLogEnabled(bool enabled);

    // The lifecycle handlers (connected to the platform's notifications by startSession()).
    static void pauseSession();
    static void resumeSession();
    static void endSession();
    static void createAndSendSession();
    static void stopBackgroundTask();

    static QString getTallyAgentVersion();
    static QString appVersion(); // the override, null when none was set
    static QString serverURL();
    static QString savedResponseURL();
    static bool udidEnabled();

    // Blocks until every background upload has finished (main thread; tests call it before they
    // look at what was uploaded).
    static void waitForUploads();
    // The same, for at most `limit`; true when none is left running.
    static bool waitForUploads(std::chrono::milliseconds limit);
    // Ends every upload in flight at once and waits for their threads, which then return within
    // milliseconds; later uploads fail at once. The application calls it when it quits, so no
    // server, silent or slow, holds up the exit. Main thread.
    static void abortUploads();
    // The end-of-session upload: the report is built now, on the main thread, and sent on an
    // upload thread. Called by the session as it ends.
    static void startEndOfSessionUpload();

    // Back to the state of a fresh process: joins uploads, disconnects the lifecycle, drops the
    // current session, restores every setting and the default store and uploader. Tests only.
    static void resetForTesting();
};

} // namespace analytics
