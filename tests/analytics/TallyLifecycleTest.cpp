// The session lifecycle driven by the application's notifications, and the layer's guards.
#include <atomic>
#include <thread>

#include "analytics/TallyReportDecoder.h"
#include "analytics/TallyUtil.h"
#include "platform/core/AlertPresenter.h"
#include "platform/system/ApplicationLifecycle.h"
#include "platform/system/BackgroundTasks.h"
#include "support/AnalyticsFixture.h"
#include "support/TestNames.h"

namespace analytics::test {
namespace {

using platform::ApplicationLifecycle;

class TallyLifecycle : public AnalyticsTest {
protected:
    void SetUp() override
    {
        AnalyticsTest::SetUp();
        TallyAPI::startSession(QStringLiteral("life cycle"));
        TallyAPI::waitForUploads();
        first = TallySession::currentSession();
        ASSERT_TRUE(first);
    }

    static void post(ApplicationLifecycle::Notification notification)
    {
        ApplicationLifecycle::instance().post(notification);
        TallyAPI::waitForUploads();
    }

    std::shared_ptr<TallySession> first;
};

// Absences up to the grace period continue the session and count the pause; a clock set back
// (pause date in the future) continues without a negative pause.
struct Absence {
    qint64 millis;
    qint64 countedPause;
};

class TallyGracePeriod : public TallyLifecycle, public ::testing::WithParamInterface<Absence> { };

TEST_P(TallyGracePeriod, ContinuesTheSession)
{
    platform::Clock::advance(1000);
    post(ApplicationLifecycle::Notification::WillResignActive);
    EXPECT_TRUE(store->current().pauseTime.isValid()) << "the pause is archived";
    platform::Clock::advance(GetParam().millis);
    post(ApplicationLifecycle::Notification::DidBecomeActive);
    EXPECT_EQ(TallySession::currentSession(), first);
    const TallySessionState state = first->state();
    EXPECT_EQ(state.totalPauseIntervalMillis, GetParam().countedPause);
    EXPECT_FALSE(state.pauseTime.isValid());
    EXPECT_EQ(first->sessionLength(), 1000) << "ended at the pause";
    EXPECT_TRUE(store->savedSessions().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Absences, TallyGracePeriod,
    ::testing::Values(Absence { 10000, 10000 }, Absence { -60000, 0 }),
    [](const auto& row) { return "Away" + testing_support::signedName(row.param.millis) + "ms"; });

// Killed while active (no will-terminate), the next start recovers the session with no length
// and its open timed event unended. (Killed in the background, the length it reached is the
// analytics program test's.)
TEST_F(TallyLifecycle, AKillWhileActiveRecoversTheSessionWithNoLength)
{
    platform::Clock::advance(2000);
    TallyAPI::logEvent(QStringLiteral("ZOOM"), true);
    platform::Clock::advance(61500);
    TallySession::setCurrentSession(nullptr); // killed: only the archive is left
    TallyAPI::createAndSendSession();
    TallyAPI::waitForUploads();

    const auto saved = store->savedSessions();
    ASSERT_EQ(saved.size(), 1);
    const auto record = TallyReportDecoder::decodeSessionRecord(saved.first());
    ASSERT_TRUE(record.ok()) << record.error.toStdString();
    EXPECT_EQ(record.json[QLatin1String("sessionLength")].toDouble(), -1);
    const QJsonArray events = record.json[QLatin1String("events")].toArray();
    ASSERT_EQ(events.size(), 1);
    EXPECT_EQ(events[0].toObject()[QLatin1String("duration")].toDouble(), 0);
}

TEST_F(TallyLifecycle, ASecondBecomeActiveWithoutAPauseKeepsTheSession)
{
    post(ApplicationLifecycle::Notification::WillResignActive);
    platform::Clock::advance(2000);
    TallyAPI::resumeSession();
    platform::Clock::advance(60000);
    TallyAPI::resumeSession(); // no pause in between: nothing to measure
    EXPECT_EQ(TallySession::currentSession(), first);
    EXPECT_EQ(first->state().totalPauseIntervalMillis, 2000);
}

TEST_F(TallyLifecycle, PauseSendsSavedAndCurrentUnderABackgroundTask)
{
    post(ApplicationLifecycle::Notification::WillResignActive);
    const auto uploads = uploader->uploads();
    ASSERT_EQ(uploads.size(), 2);
    EXPECT_TRUE(uploads[1].shortTimeout);
    EXPECT_TRUE(uploads[1].sendCurrentSession);
    const auto report = TallyReportDecoder::decodeReport(uploads[1].report);
    ASSERT_TRUE(report.ok());
    const QJsonObject current = report.json[QLatin1String("sessions")].toArray()[0].toObject();
    EXPECT_EQ(current[QLatin1String("sessionLength")].toDouble(), 0);
    EXPECT_EQ(uploads[1].backgroundTasks, 1) << "the upload runs under a background task";
    EXPECT_EQ(platform::BackgroundTasks::activeCount(), 0) << "which ends with it";

    TallyAPI::setSessionReportsOnPauseEnabled(false);
    post(ApplicationLifecycle::Notification::DidBecomeActive);
    post(ApplicationLifecycle::Notification::WillResignActive);
    EXPECT_EQ(uploader->uploads().size(), 2);
}

TEST(TallyApiBeforeStart, LoggingBeforeStartDoesNothingAndSettingsCarryOver)
{
    TallyAPI::resetForTesting();
    TallyAPI::logEvent(QStringLiteral("EARLY"));
    TallyAPI::logError(
        QStringLiteral("Uncaught"), QStringLiteral("Crash!"), static_cast<const std::exception*>(nullptr));
    TallyAPI::setLatitude(1, 2, 3, 4);
    TallyAPI::logPageView();
    EXPECT_FALSE(TallySession::currentSession());

    TallyAPI::setUserID(QStringLiteral("u1"));
    TallyAPI::setSessionReportsOnPauseEnabled(false);
    TallyAPI::startSession(QStringLiteral("k"));
    const auto session = TallySession::currentSession();
    ASSERT_TRUE(session);
    EXPECT_EQ(session->userID(), QStringLiteral("u1"));
    EXPECT_FALSE(session->sessionReportsOnPauseEnabled());
    EXPECT_TRUE(session->state().eventCounts.isEmpty());
    TallyAPI::resetForTesting();
}

TEST_F(TallyLifecycle, SetAppVersionAfterStartAlertsAndKeepsTheVersion)
{
    int alerts = 0;
    const auto previous
        = platform::setAlertPresenter([&](const QString&, const QString&, const QString&) { ++alerts; });
    TallyAPI::setAppVersion(QStringLiteral("9.9"));
    platform::setAlertPresenter(previous);
    EXPECT_EQ(alerts, 1);
    EXPECT_TRUE(TallyAPI::appVersion().isNull());
    EXPECT_NE(first->appVersion(), QStringLiteral("9.9"));
}

class ThrowingUploader : public TallyUploader {
public:
    void sendSessionsToServer(bool, bool, bool, bool) override
    {
        throw std::runtime_error("socket exploded");
    }
    void sendPreparedReport(const QByteArray&) override { throw std::runtime_error("socket exploded"); }
};

TEST_F(TallyLifecycle, ExceptionsStayInsideAndAreLoggedOnlyWhenAsked)
{
    TallyUploader::setInstance(std::make_shared<ThrowingUploader>());
    EXPECT_NO_THROW(TallyAPI::endSession());
    EXPECT_FALSE(logLines().join('\n').contains(QLatin1String("Tally:")));
    EXPECT_EQ(store->savedSessions().size(), 1)
        << "a failed upload does not keep the session from being saved";
    EXPECT_FALSE(TallySession::currentSession());

    TallyAPI::createAndSendSession();
    TallyAPI::waitForUploads();
    TallyAPI::setDebugLogEnabled(true);
    TallyAPI::endSession(); // debug on, show-errors off: steps logged, the exception not
    EXPECT_FALSE(logLines().join('\n').contains(QLatin1String("Caught Exception")));
    EXPECT_TRUE(logLines().join('\n').contains(QLatin1String("Tally: Ending session with endTime[")));

    TallyAPI::createAndSendSession();
    TallyAPI::waitForUploads();
    TallyAPI::setShowErrorInLogEnabled(true);
    TallyAPI::endSession();
    TallyAPI::waitForUploads();
    const QStringList lines = logLines();
    const qsizetype caught = lines.indexOf(QStringLiteral("Tally: Caught Exception in Tally Analytics Code"));
    ASSERT_GE(caught, 0);
    EXPECT_EQ(lines.mid(caught + 2, 2),
        QStringList({ "Tally: Name:std::runtime_error Reason:socket exploded", "Tally: {}" }))
        << "the block is whole, whatever else logs";
}

TEST_F(TallyLifecycle, RecordsStayConsistentWhileAnUploadThreadReadsThem)
{
    std::atomic<bool> stop { false };
    std::atomic<int> bad { 0 };
    std::thread reader([&] {
        while (!stop.load()) {
            const auto report = TallySession::dataForSessions(TallySession::sessionsToSend(true), false);
            const auto decoded = TallyReportDecoder::decodeReport(report);
            if (!decoded.ok())
                ++bad;
            first->setInternetAvailable(true);
        }
    });
    for (int i = 0; i < 3000; ++i) {
        TallyAPI::logEvent(
            QStringLiteral("E%1").arg(i % 150), QVariantMap { { QStringLiteral("i"), i } }, i % 2 == 0);
        if (i % 100 == 0)
            TallyAPI::logError(
                QStringLiteral("x"), QStringLiteral("y"), static_cast<const std::exception*>(nullptr));
    }
    stop = true;
    reader.join();
    EXPECT_EQ(bad.load(), 0);
}

} // namespace
} // namespace analytics::test
