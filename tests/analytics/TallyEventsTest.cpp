// Recording into a session what the app records: its events and its errors, within their limits.
#include "platform/system/Error.h"
#include "support/AnalyticsFixture.h"

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

    std::shared_ptr<TallySession> session;
};

TEST_F(TallyEvents, CountsBeyondTheLimitsButKeepsAThousandEventsAndTenErrors)
{
    const std::logic_error exception("bad state");
    for (int i = 0; i < 1200; ++i) {
        TallyAPI::logEvent(QStringLiteral("TAKE_PICTURE"));
        if (i < 11)
            TallyAPI::logError(QStringLiteral("Uncaught"), QStringLiteral("Crash!"), &exception);
    }
    const TallySessionState state = session->state();
    EXPECT_EQ(state.eventLog.size(), 1000);
    EXPECT_FALSE(state.eventLogComplete);
    // Every recording, kept or not, rewrote the current-session archive.
    const TallySessionState archived = store->current();
    EXPECT_EQ(archived.eventCounts.value(QStringLiteral("TAKE_PICTURE")), 1200);
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

} // namespace
} // namespace analytics::test
