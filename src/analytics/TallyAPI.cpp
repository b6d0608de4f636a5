#include "analytics/TallyAPI.h"

#include <atomic>
#include <mutex>
#include <vector>

#include <QObject>

#include "analytics/TallyDataFolder.h"
#include "analytics/TallyFileSessionStore.h"
#include "analytics/TallyNetworkUploader.h"
#include "analytics/TallyPageViewDelegate.h"
#include "analytics/TallyPaths.h"
#include "analytics/TallySession.h"
#include "analytics/TallySessionStore.h"
#include "analytics/TallyUploadThreads.h"
#include "analytics/TallyUploader.h"
#include "analytics/TallyUtil.h"
#include "platform/core/AlertPresenter.h"
#include "platform/core/ThreadChecker.h"
#include "platform/system/ApplicationLifecycle.h"
#include "platform/system/BackgroundTasks.h"
#include "platform/system/Clock.h"
#include "platform/system/DeviceInfo.h"
#include "platform/system/HttpClient.h"

namespace analytics {

namespace {

// Off (--no-analytics): no operation does anything. Read by every operation; any thread.
std::atomic<bool> g_enabled { true };
// Bound while the program starts, so on the main thread.
[[maybe_unused]] platform::ThreadChecker g_mainThread;

struct Settings {
    QString apiKey;
    QString appVersionOverride; // null: the bundle version is used
    std::int32_t sessionContinueSeconds { 10 };
    bool sessionReportsOnCloseEnabled { true };
    bool sessionReportsOnPauseEnabled { true };
    bool eventLoggingEnabled { true };
    std::int32_t age { -1 };
    QString userID; // null: none
    QString gender; // null: none
    QString serverURL { TallyAPI::defaultServerURL() };
    QString savedResponseURL;
    QDateTime pauseDate;
    platform::BackgroundTaskId backgroundTask { platform::BackgroundTasks::invalidTask };
};

// The layer's process-wide state. Upload threads read the URLs and end the background task, so
// the settings are locked; the connections are touched on the main thread only.
struct State {
    std::mutex mutex; // guards settings
    Settings settings;
    std::vector<QMetaObject::Connection> lifecycleConnections;
};

State& state()
{
    static State theState;
    return theState;
}

// Constructed after state() is first used, so destroyed (joining the uploads) before it.
TallyUploadThreads& uploadThreads()
{
    static TallyUploadThreads threads;
    return threads;
}

template <typename Function> auto readSettings(Function function)
{
    State& s = state();
    std::scoped_lock lock(s.mutex);
    return function(s.settings);
}

template <typename Function> void writeSettings(Function function)
{
    State& s = state();
    std::scoped_lock lock(s.mutex);
    function(s.settings);
}

void withCurrentSession(const std::function<void(TallySession&)>& body)
{
    if (const auto session = TallySession::currentSession())
        body(*session);
}

void startUpload(bool shortTimeout, bool sendCurrentSession, bool stopBackgroundTaskAfterwards)
{
    std::shared_ptr<TallyUploader> uploader = TallyUploader::instance();
    uploadThreads().start([uploader, shortTimeout, sendCurrentSession, stopBackgroundTaskAfterwards] {
        TallyUtil::guard(
            [&] { uploader->sendSessionsToServer(shortTimeout, false, false, sendCurrentSession); });
        if (stopBackgroundTaskAfterwards)
            TallyAPI::stopBackgroundTask();
    });
}

void connectLifecycle()
{
    State& s = state();
    if (!s.lifecycleConnections.empty())
        return;
    auto& lifecycle = platform::ApplicationLifecycle::instance();
    lifecycle.attach();
    using platform::ApplicationLifecycle;
    s.lifecycleConnections.push_back(
        QObject::connect(&lifecycle, &ApplicationLifecycle::willTerminate, &TallyAPI::endSession));
    s.lifecycleConnections.push_back(
        QObject::connect(&lifecycle, &ApplicationLifecycle::willResignActive, &TallyAPI::pauseSession));
    s.lifecycleConnections.push_back(
        QObject::connect(&lifecycle, &ApplicationLifecycle::didBecomeActive, &TallyAPI::resumeSession));
}

} // namespace

QString TallyAPI::defaultServerURL()
{
    return QStringLiteral("http://127.0.0.1:8642/report.do");
}

void TallyAPI::usePersistenceAndUpload()
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    TallySessionStore::setInstance(std::make_shared<TallyFileSessionStore>());
    TallyUploader::setInstance(std::make_shared<TallyNetworkUploader>());
}

std::optional<QStringList> TallyAPI::removeStoredData()
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    return TallyDataFolder::removeStoredData();
}

bool TallyAPI::takeDataFolder()
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    if (!isEnabled())
        return false;
    if (TallyDataFolder::takeOwnership() == TallyDataFolder::Ownership::Owned)
        return true;
    setEnabled(false);
    return false;
}

void TallyAPI::setDataDirectory(const QString& folder)
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    TallyPaths::setDataDirectory(folder);
}

void TallyAPI::setEnabled(bool enabled)
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    g_enabled.store(enabled, std::memory_order_relaxed);
}

bool TallyAPI::isEnabled()
{
    return g_enabled.load(std::memory_order_relaxed);
}

void TallyAPI::startSession(const QString& apiKey)
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    if (!isEnabled())
        return;
    TallyUtil::guard([&] {
        TallyUtil::debugLog(QStringLiteral("Start session called with apiKey[%1]").arg(apiKey));
        QString key = apiKey;
        key.remove(QLatin1Char(' '));
        TallyUtil::debugLog(QStringLiteral("Trim white space and use apiKey[%1]").arg(key));
        writeSettings([&](Settings& settings) { settings.apiKey = key; });
        TallyUploader::instance()->startHeartbeat(1.0);
        TallySessionStore::instance()->setApiKey(key); // the per-key file cache
        createAndSendSession();
        connectLifecycle();
        TallyUtil::debugLog(QStringLiteral("Finish starting session with apiKey[%1]").arg(key));
    });
}

void TallyAPI::createAndSendSession()
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    if (!isEnabled())
        return;
    TallyUtil::guard([] {
        const Settings settings = readSettings([](const Settings& s) { return s; });
        const QString version = settings.appVersionOverride.isNull() ? platform::DeviceInfo::bundleVersion()
                                                                     : settings.appVersionOverride;
        const auto session = TallySession::createActiveTallySession(settings.apiKey, version);
        session->setSessionReportsOnCloseEnabled(settings.sessionReportsOnCloseEnabled);
        session->setSessionReportsOnPauseEnabled(settings.sessionReportsOnPauseEnabled);
        session->setEventLoggingEnabled(settings.eventLoggingEnabled);
        session->setAge(settings.age);
        if (!settings.userID.isNull())
            session->setUserID(settings.userID);
        if (!settings.gender.isNull())
            session->setGender(settings.gender);
        startUpload(false, false, false);
    });
}

void TallyAPI::logEvent(const QString& eventName)
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    if (!isEnabled())
        return;
    TallyUtil::guard([&] { withCurrentSession([&](TallySession& s) { s.recordEvent(eventName); }); });
}

void TallyAPI::logEvent(const QString& eventName, const QVariantMap& parameters)
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    if (!isEnabled())
        return;
    TallyUtil::guard(
        [&] { withCurrentSession([&](TallySession& s) { s.recordEvent(eventName, parameters); }); });
}

void TallyAPI::logEvent(const QString& eventName, bool timed)
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    if (!isEnabled())
        return;
    TallyUtil::guard(
        [&] { withCurrentSession([&](TallySession& s) { s.recordEvent(eventName, std::nullopt, timed); }); });
}

void TallyAPI::logEvent(const QString& eventName, const QVariantMap& parameters, bool timed)
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    if (!isEnabled())
        return;
    TallyUtil::guard(
        [&] { withCurrentSession([&](TallySession& s) { s.recordEvent(eventName, parameters, timed); }); });
}

void TallyAPI::endTimedEvent(const QString& eventName, const std::optional<QVariantMap>& parameters)
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    if (!isEnabled())
        return;
    TallyUtil::guard(
        [&] { withCurrentSession([&](TallySession& s) { s.endTimedEvent(eventName, parameters); }); });
}

void TallyAPI::logError(const QString& errorId, const QString& message, const std::exception* exception)
{
    if (!isEnabled())
        return;
    TallyUtil::guard(
        [&] { withCurrentSession([&](TallySession& s) { s.recordError(errorId, message, exception); }); });
}

void TallyAPI::logError(const QString& errorId, const QString& message, const platform::Error* error)
{
    if (!isEnabled())
        return;
    TallyUtil::guard(
        [&] { withCurrentSession([&](TallySession& s) { s.recordError(errorId, message, error); }); });
}

void TallyAPI::logPageView()
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    if (!isEnabled())
        return;
    TallyUtil::guard([] { withCurrentSession([](TallySession& s) { s.maybeIncrementPageView(); }); });
}

void TallyAPI::logAllPageViews(TallyNavigationController& controller)
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    if (!isEnabled())
        return;
    TallyUtil::guard([&] { TallyPageViewDelegate::createDelegateOnTarget(controller); });
}

void TallyAPI::logAllPageViews(TallyTabBarController& controller)
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    if (!isEnabled())
        return;
    TallyUtil::guard([&] { TallyPageViewDelegate::createDelegateOnTarget(controller); });
}

void TallyAPI::setUserID(const QString& userID)
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    if (!isEnabled())
        return;
    TallyUtil::guard([&] {
        writeSettings([&](Settings& s) { s.userID = userID.isNull() ? QString(QLatin1String("")) : userID; });
        withCurrentSession([&](TallySession& s) { s.setUserID(userID); });
    });
}

void TallyAPI::setAge(std::int32_t age)
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    if (!isEnabled())
        return;
    TallyUtil::guard([&] {
        writeSettings([&](Settings& s) { s.age = age; });
        withCurrentSession([&](TallySession& s) { s.setAge(age); });
    });
}

void TallyAPI::setGender(const QString& gender)
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    if (!isEnabled())
        return;
    TallyUtil::guard([&] {
        writeSettings([&](Settings& s) { s.gender = gender.isNull() ? QString(QLatin1String("")) : gender; });
        withCurrentSession([&](TallySession& s) { s.setGender(gender); });
    });
}

void TallyAPI::setEventLoggingEnabled(bool enabled)
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    if (!isEnabled())
        return;
    TallyUtil::guard([&] {
        writeSettings([&](Settings& s) { s.eventLoggingEnabled = enabled; });
        withCurrentSession([&](TallySession& s) { s.setEventLoggingEnabled(enabled); });
    });
}

void TallyAPI::setSessionReportsOnCloseEnabled(bool enabled)
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    if (!isEnabled())
        return;
    TallyUtil::guard([&] {
        writeSettings([&](Settings& s) { s.sessionReportsOnCloseEnabled = enabled; });
        withCurrentSession([&](TallySession& s) { s.setSessionReportsOnCloseEnabled(enabled); });
    });
}

void TallyAPI::setSessionReportsOnPauseEnabled(bool enabled)
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    if (!isEnabled())
        return;
    TallyUtil::guard([&] {
        writeSettings([&](Settings& s) { s.sessionReportsOnPauseEnabled = enabled; });
        withCurrentSession([&](TallySession& s) { s.setSessionReportsOnPauseEnabled(enabled); });
    });
}

void TallyAPI::setSessionContinueSeconds(std::int32_t seconds)
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    if (!isEnabled())
        return;
    TallyUtil::guard([&] { writeSettings([&](Settings& s) { s.sessionContinueSeconds = seconds; }); });
}

void TallyAPI::setMaxSessionsSaved(std::int32_t maximum)
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    if (!isEnabled())
        return;
    TallyUtil::guard([&] { TallySession::setMaxSessions(maximum); });
}

void TallyAPI::setLatitude(
    double latitude, double longitude, float horizontalAccuracy, float verticalAccuracy)
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    if (!isEnabled())
        return;
    TallyUtil::guard([&] {
        withCurrentSession([&](TallySession& s) {
            s.setLatitude(latitude, longitude, horizontalAccuracy, verticalAccuracy);
        });
    });
}

void TallyAPI::setAppVersion(const QString& version)
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    if (!isEnabled())
        return;
    TallyUtil::guard([&] {
        if (TallySession::currentSession()) {
            platform::presentAlert(QString(),
                QStringLiteral("TallyAPI: Please call setAppVersion before startSession."),
                QStringLiteral("Cancel"));
            return;
        }
        writeSettings([&](Settings& s) {
            s.appVersionOverride = version.isNull() ? QString(QLatin1String("")) : version;
        });
    });
}

void TallyAPI::setServerURL(const QString& url)
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    if (!isEnabled())
        return;
    TallyUtil::guard([&] { writeSettings([&](Settings& s) { s.serverURL = url; }); });
}

void TallyAPI::setSavedResponseURL(const QString& url)
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    if (!isEnabled())
        return;
    TallyUtil::guard([&] { writeSettings([&](Settings& s) { s.savedResponseURL = url; }); });
}

void TallyAPI::setDebugLogEnabled(bool enabled)
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    TallyUtil::setDebugLogEnabled(enabled);
}

void TallyAPI::setShowErrorInLogEnabled(bool enabled)
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    TallyUtil::setShowErrorInLogEnabled(enabled);
}

void TallyAPI::pauseSession()
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    if (!isEnabled())
        return;
    TallyUtil::guard([] {
        writeSettings([](Settings& s) { s.pauseDate = platform::Clock::now(); });
        const auto session = TallySession::currentSession();
        if (!session)
            return;
        // Ended first, then archived by the pause: a phone app is usually killed in the
        // background, and the session it leaves behind must carry its length up to the pause
        // and its open timed events closed there, not a length of -1.
        session->endSessionAndSend(false, false);
        session->pauseSession();
        if (!session->sessionReportsOnPauseEnabled())
            return;
        if (platform::BackgroundTasks::isSupported()) {
            stopBackgroundTask();
            TallyUtil::debugLog(QStringLiteral("start background task"));
            const auto task = platform::BackgroundTasks::begin([] { TallyAPI::stopBackgroundTask(); });
            writeSettings([&](Settings& s) { s.backgroundTask = task; });
        }
        startUpload(true, true, true);
    });
}

void TallyAPI::resumeSession()
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    if (!isEnabled())
        return;
    TallyUtil::guard([] {
        const QDateTime now = platform::Clock::now();
        // The pause is consumed here: a second did-become-active without a pause in between must
        // not measure its absence from an old pause and end a session that is in use.
        const auto [pauseDate, continueSeconds] = readSettings([](Settings& s) {
            return std::pair(std::exchange(s.pauseDate, QDateTime()), s.sessionContinueSeconds);
        });
        const std::int64_t absence = pauseDate.isValid() ? pauseDate.msecsTo(now) : 0;
        const auto session = TallySession::currentSession();
        if (absence <= std::int64_t(continueSeconds) * 1000) {
            if (session)
                session->resumeSession();
            return;
        }
        if (session)
            session->saveSession();
        createAndSendSession();
    });
}

void TallyAPI::endSession()
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    if (!isEnabled())
        return;
    TallyUtil::guard([] {
        if (const auto session = TallySession::currentSession())
            session->endSession();
    });
}

void TallyAPI::stopBackgroundTask()
{
    if (!isEnabled())
        return;
    TallyUtil::guard([] {
        if (!platform::BackgroundTasks::isSupported())
            return;
        const auto task = readSettings([](Settings& s) {
            return std::exchange(s.backgroundTask, platform::BackgroundTasks::invalidTask);
        });
        if (task == platform::BackgroundTasks::invalidTask)
            return;
        TallyUtil::debugLog(QStringLiteral("stop background task"));
        platform::BackgroundTasks::end(task);
    });
}

QString TallyAPI::getTallyAgentVersion()
{
    return TallySession::getAgentVersion();
}

QString TallyAPI::appVersion()
{
    return readSettings([](const Settings& s) { return s.appVersionOverride; });
}

QString TallyAPI::serverURL()
{
    return readSettings([](const Settings& s) { return s.serverURL; });
}

QString TallyAPI::savedResponseURL()
{
    return readSettings([](const Settings& s) { return s.savedResponseURL; });
}

bool TallyAPI::udidEnabled()
{
    return true;
}

void TallyAPI::waitForUploads()
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    uploadThreads().waitForAll();
}

bool TallyAPI::waitForUploads(std::chrono::milliseconds limit)
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    return uploadThreads().waitForAll(limit);
}

void TallyAPI::startEndOfSessionUpload()
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    if (!isEnabled())
        return;
    TallyUtil::guard([] {
        // Built now, while the ending session is the current one; sent once it has been saved.
        const QByteArray report = TallySession::dataForSessions(TallySession::sessionsToSend(true), false);
        std::shared_ptr<TallyUploader> uploader = TallyUploader::instance();
        uploadThreads().start(
            [uploader, report] { TallyUtil::guard([&] { uploader->sendPreparedReport(report); }); });
    });
}

void TallyAPI::abortUploads()
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    // Every record an upload carries is saved before the upload starts and removed only after a
    // complete answer, so an upload cut off here is simply sent again by the next start.
    platform::HttpClient::abortAll();
    uploadThreads().waitForAll();
}

void TallyAPI::resetForTesting()
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    uploadThreads().waitForAll();
    platform::HttpClient::allowRequests();
    State& s = state();
    for (const auto& connection : s.lifecycleConnections)
        QObject::disconnect(connection);
    s.lifecycleConnections.clear();
    platform::ApplicationLifecycle::instance().reset();
    const auto task = readSettings([](Settings& settings) { return settings.backgroundTask; });
    platform::BackgroundTasks::end(task);
    writeSettings([](Settings& settings) { settings = Settings(); });
    TallySession::setCurrentSession(nullptr);
    TallySession::resetPageViewClock();
    TallySessionStore::setInstance(nullptr);
    TallyUploader::setInstance(nullptr);
    TallyUtil::setDebugLogEnabled(false);
    TallyUtil::setShowErrorInLogEnabled(false);
    setEnabled(true);
}

} // namespace analytics
