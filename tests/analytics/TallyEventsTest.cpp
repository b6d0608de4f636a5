// Recording into a session: event limits, timed events, errors, page views, user attributes.
#include "AnalyticsFixture.h"
#include "analytics/TallyNavigationController.h"
#include "analytics/TallyPageViewDelegate.h"
#include "analytics/TallyTabBarController.h"
#include "platform/system/Error.h"

namespace analytics::test {
namespace {

class TallyEvents : public AnalyticsTest {
protected:
    void SetUp() override
    {
        AnalyticsTest::SetUp();
        TallyAPI::startSession(QStringLiteral("events"));
        TallyAPI::waitForUploads();
        session = TallySession::currentSession();
        ASSERT_TRUE(session);
    }

    static QVariantMap parameters(int count)
    {
        QVariantMap map;
        for (int i = 0; i < count; ++i)
            map.insert(QStringLiteral("p%1").arg(i), i);
        return map;
    }

    std::shared_ptr<TallySession> session;
};

TEST_F(TallyEvents, CountsBeyondTheLogLimitButLogsAThousand)
{
    for (int i = 0; i < 1200; ++i)
        TallyAPI::logEvent(QStringLiteral("TAKE_PICTURE"));
    const TallySessionState state = session->state();
    EXPECT_EQ(state.eventCounts.value(QStringLiteral("TAKE_PICTURE")), 1200);
    EXPECT_EQ(state.eventLog.size(), 1000);
    EXPECT_FALSE(state.eventLogComplete);
    // Every recording, kept or not, rewrote the current-session archive.
    EXPECT_EQ(store->current().eventCounts.value(QStringLiteral("TAKE_PICTURE")), 1200);
}

TEST_F(TallyEvents, MoreThanTenParametersDropTheEvent)
{
    TallyAPI::logEvent(QStringLiteral("TEN"), parameters(10));
    EXPECT_TRUE(session->state().eventLogComplete);
    TallyAPI::logEvent(QStringLiteral("ELEVEN"), parameters(11));
    const TallySessionState state = session->state();
    EXPECT_FALSE(state.eventLogComplete);
    EXPECT_EQ(state.eventCounts.keys(), QStringList { QStringLiteral("TEN") });
    EXPECT_EQ(state.eventLog.size(), 1);
}

// Parameter values are kept no longer than the report can carry them, so the current-session
// archive cannot grow without bound; what is kept is exactly what the report sends.
struct LongParameter {
    const char* name;
    QVariant value;
    bool atEnd; // given when the timed event ends rather than when it starts
};

class TallyLongParameter : public TallyEvents, public ::testing::WithParamInterface<LongParameter> { };

TEST_P(TallyLongParameter, IsKeptAsTheReportCutsIt)
{
    const QString longKey(300, QLatin1Char('k'));
    const QVariantMap given { { QStringLiteral("v"), GetParam().value }, { longKey, 7 } };
    if (GetParam().atEnd) {
        TallyAPI::logEvent(QStringLiteral("E"), true);
        TallyAPI::endTimedEvent(QStringLiteral("E"), given);
        TallyAPI::logEvent(QStringLiteral("ARCHIVE")); // the end itself does not archive
    } else {
        TallyAPI::logEvent(QStringLiteral("E"), given);
    }
    const TallySessionState state = store->current();
    const auto archived = state.eventLog.first().parameters();
    ASSERT_TRUE(archived);
    EXPECT_EQ(archived->value(QStringLiteral("v")).toString().size(), 255);
    EXPECT_EQ(archived->value(longKey.left(255)).toInt(), 7) << "the key is cut too";
    const TallyEvent sent(QStringLiteral("E"), false, given);
    EXPECT_EQ(state.eventLog.first().dataRelativeToSessionStart(start).left(300),
        sent.dataRelativeToSessionStart(start).left(300));
}

INSTANTIATE_TEST_SUITE_P(Values, TallyLongParameter,
    ::testing::Values(LongParameter { "Text", QString(100000, QLatin1Char('x')), false },
        LongParameter { "List", QVariantList(20000, 12345), false },
        LongParameter { "TextGivenAtTheEnd", QString(100000, QLatin1Char('x')), true }),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(TallyEvents, AHundredAndFirstNameIsDroppedButKnownNamesStillCount)
{
    for (int i = 0; i < 100; ++i)
        TallyAPI::logEvent(QStringLiteral("E%1").arg(i));
    EXPECT_TRUE(session->state().eventLogComplete);
    TallyAPI::logEvent(QStringLiteral("NEW"));
    TallyAPI::logEvent(QStringLiteral("E5"));
    const TallySessionState state = session->state();
    EXPECT_FALSE(state.eventCounts.contains(QStringLiteral("NEW")));
    EXPECT_EQ(state.eventCounts.size(), 100);
    EXPECT_EQ(state.eventCounts.value(QStringLiteral("E5")), 2);
    EXPECT_EQ(state.eventLog.size(), 101);
    EXPECT_EQ(state.eventLog.last().name(), QStringLiteral("E5"));
    EXPECT_FALSE(state.eventLogComplete);
}

TEST_F(TallyEvents, EmptyNamesAndDisabledLoggingMarkTheLogIncomplete)
{
    TallyAPI::logEvent(QString());
    EXPECT_FALSE(session->state().eventLogComplete);
    EXPECT_TRUE(session->state().eventCounts.isEmpty());

    TallyAPI::resetForTesting();
    SetUp();
    TallyAPI::setEventLoggingEnabled(false);
    TallyAPI::logEvent(QStringLiteral("COUNTED"));
    const TallySessionState state = session->state();
    EXPECT_EQ(state.eventCounts.value(QStringLiteral("COUNTED")), 1);
    EXPECT_TRUE(state.eventLog.isEmpty());
    EXPECT_FALSE(state.eventLogComplete);
}

TEST_F(TallyEvents, TimedEventsEndByNameAndFollowPausesToTheSessionEnd)
{
    TallyAPI::logEvent(QStringLiteral("VIEW"), true);
    TallyAPI::logEvent(QStringLiteral("VIEW"), true);
    TallyAPI::logEvent(QStringLiteral("OPEN"), true);
    platform::Clock::advance(100);
    TallyAPI::endTimedEvent(
        QStringLiteral("VIEW"), QVariantMap { { QStringLiteral("r"), QStringLiteral("done") } });
    platform::Clock::advance(400);
    TallyAPI::pauseSession(); // OPEN ends automatically at the pause
    auto log = session->state().eventLog;
    EXPECT_EQ(log[0].duration(), 100);
    EXPECT_EQ(log[1].duration(), 100);
    EXPECT_EQ(log[1].parameters()->value(QStringLiteral("r")).toString(), QStringLiteral("done"));
    EXPECT_EQ(log[2].duration(), 500);
    EXPECT_TRUE(log[2].isAutomaticallyEnded());

    platform::Clock::advance(2000);
    TallyAPI::resumeSession();
    platform::Clock::advance(1000);
    session->endSessionAndSend(false, false);
    log = session->state().eventLog;
    EXPECT_EQ(log[0].duration(), 100) << "an event the caller ended keeps its end";
    EXPECT_EQ(log[2].duration(), 3500) << "an automatically ended event moves to the session end";
}

TEST_F(TallyEvents, ElevenErrorsAreCountedAndTenStored)
{
    const std::logic_error exception("bad state");
    for (int i = 0; i < 11; ++i)
        TallyAPI::logError(QStringLiteral("Uncaught"), QStringLiteral("Crash!"), &exception);
    const TallySessionState archived = store->current();
    EXPECT_EQ(archived.totalErrorCount, 11);
    ASSERT_EQ(archived.errors.size(), 10);
    EXPECT_EQ(archived.errors[0].exceptionText, QStringLiteral("std::logic_error: bad state"));
}

TEST_F(TallyEvents, ErrorTextsOfPlatformErrorsAndMissingExceptions)
{
    auto fresh = std::make_shared<TallySession>(QStringLiteral("k"), QStringLiteral("1"));
    const platform::Error error { 5, QStringLiteral("album"), QStringLiteral("Write failed"),
        QStringLiteral("Disk full"), {} };
    fresh->recordError(QStringLiteral("E"), QString(), &error);
    fresh->recordError(QStringLiteral("N"), QStringLiteral("m"), static_cast<const std::exception*>(nullptr));
    const auto errors = fresh->state().errors;
    ASSERT_EQ(errors.size(), 2);
    EXPECT_EQ(errors[0].exceptionText, QStringLiteral("Write failed: Disk full"));
    EXPECT_TRUE(errors[0].message.isEmpty() && !errors[0].message.isNull());
    EXPECT_EQ(errors[1].exceptionText, QStringLiteral("nil"));
}

TEST_F(TallyEvents, PageViewsCloserThanThreeTenthsOfASecondCountOnce)
{
    TallyAPI::logPageView();
    platform::Clock::advance(200);
    TallyAPI::logPageView();
    EXPECT_EQ(session->pageViewCount(), 1);
    platform::Clock::advance(200); // 0.4 s after the first counted one
    TallyAPI::logPageView();
    EXPECT_EQ(session->pageViewCount(), 2);
    platform::Clock::advance(300); // exactly 0.3 s is not more than 0.3 s
    TallyAPI::logPageView();
    EXPECT_EQ(session->pageViewCount(), 2);
}

class Navigation : public TallyNavigationController {
public:
    std::shared_ptr<TallyNavigationDelegate> navigationDelegate() const override { return delegate; }
    void setNavigationDelegate(std::shared_ptr<TallyNavigationDelegate> d) override
    {
        delegate = std::move(d);
    }
    std::shared_ptr<TallyNavigationDelegate> delegate;
};

class TabBar : public TallyTabBarController {
public:
    std::shared_ptr<TallyTabBarDelegate> tabBarDelegate() const override { return delegate; }
    void setTabBarDelegate(std::shared_ptr<TallyTabBarDelegate> d) override { delegate = std::move(d); }
    std::shared_ptr<TallyTabBarDelegate> delegate;
};

class AppTabDelegate : public TallyTabBarDelegate {
public:
    bool tabBarControllerShouldSelect(QObject*, QObject*) override { return false; }
    void tabBarControllerDidSelect(QObject*, QObject*) override { ++selected; }
    int selected { 0 };
};

class ThrowingNavigationDelegate : public TallyNavigationDelegate {
public:
    void navigationControllerDidShow(QObject*, QObject*, bool) override
    {
        throw std::runtime_error("app bug");
    }
};

TEST_F(TallyEvents, PageViewObserverForwardsToThePreviousDelegateThenCounts)
{
    TabBar tabs;
    auto app = std::make_shared<AppTabDelegate>();
    tabs.delegate = app;
    TallyAPI::logAllPageViews(tabs);
    ASSERT_NE(tabs.delegate, app);
    EXPECT_FALSE(tabs.delegate->tabBarControllerShouldSelect(nullptr, nullptr)) << "the app's answer is kept";
    tabs.delegate->tabBarControllerDidSelect(nullptr, nullptr);
    EXPECT_EQ(app->selected, 1);
    EXPECT_EQ(session->pageViewCount(), 1);

    Navigation navigation;
    navigation.delegate = std::make_shared<ThrowingNavigationDelegate>();
    TallyAPI::logAllPageViews(navigation);
    platform::Clock::advance(1000);
    EXPECT_NO_THROW(navigation.delegate->navigationControllerDidShow(nullptr, nullptr, true));
    navigation.delegate->navigationControllerWillShow(nullptr, nullptr, true);

    Navigation bare;
    TallyAPI::logAllPageViews(bare);
    platform::Clock::advance(1000);
    bare.delegate->navigationControllerDidShow(nullptr, nullptr, false);
    EXPECT_EQ(session->pageViewCount(), 2);
}

TEST_F(TallyEvents, AgeIsTheFirstLocalInstantOfTheBirthYear)
{
    platform::Clock::setNow(QDateTime(QDate(2012, 7, 1), QTime(12, 0), Qt::LocalTime));
    TallyAPI::setAge(0);
    TallyAPI::setAge(151);
    TallyAPI::setAge(-1);
    EXPECT_FALSE(session->state().age.isValid());
    TallyAPI::setAge(30);
    EXPECT_EQ(session->state().age, QDateTime(QDate(1982, 1, 1), QTime(0, 0), Qt::LocalTime));
    TallyAPI::setAge(151);
    EXPECT_EQ(session->state().age.date(), QDate(1982, 1, 1)) << "an invalid age leaves the stored one";
}

TEST_F(TallyEvents, GenderCodesAreOneForMZeroForFAndMinusOneOtherwise)
{
    for (const auto& [given, code] : { std::pair { "m", 1 }, { "f", 0 }, { "M", -1 } }) {
        TallyAPI::setGender(QString::fromLatin1(given));
        EXPECT_EQ(session->state().gender, code) << given;
    }
}

} // namespace
} // namespace analytics::test
