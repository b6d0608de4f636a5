// Start-up: the handler is in place before the analytics session starts, the key follows the
// device class, the screen is put on the window, and an exception nobody catches reaches
// analytics before the process ends as usual.

#include <cstdio>
#include <stdexcept>
#include <thread>

#include "LumivueAppDelegate.h"
#include "ScreenTestSupport.h"
#include "UncaughtExceptionHandler.h"
#include "support/Emulation.h"

namespace ui::test {

namespace {

using platform::Device;

// Notes, when the session starts, whether the crash handler was already there.
class StartOrderStore : public testing_support::MemorySessionStore {
public:
    void setApiKey(const QString& key) override
    {
        m_handlerBeforeSession = isUncaughtExceptionHandlerInstalled();
        m_key = m_key.isNull() ? key : m_key;
    }
    bool m_handlerBeforeSession { false };
    QString m_key; // the first one set
};

class LumivueAppDelegateTest : public ScreenTest {
protected:
    void SetUp() override
    {
        ScreenTest::SetUp();
        analytics::TallySessionStore::setInstance(m_orderStore);
    }
    void TearDown() override
    {
        uninstallUncaughtExceptionHandler();
        ScreenTest::TearDown();
    }
    QString launchAndGetKey()
    {
        int shown = 0;
        LumivueAppDelegate delegate([&shown] { ++shown; });
        EXPECT_TRUE(delegate.didFinishLaunching());
        EXPECT_EQ(shown, 1); // the screen is put on the window once
        EXPECT_TRUE(delegate.isStatusBarHidden());
        return m_orderStore->m_key;
    }
    std::shared_ptr<StartOrderStore> m_orderStore { std::make_shared<StartOrderStore>() };
};

// The crash handler is installed before the session starts; the tablet key only on a device that
// says it is a tablet, and the same start-up line either way.
struct Idiom {
    bool tablet;
    bool answersQuery;
    bool expectTabletKey;
};

class LumivueAppDelegateIdiom : public LumivueAppDelegateTest,
                                public ::testing::WithParamInterface<Idiom> { };

TEST_P(LumivueAppDelegateIdiom, StartsWithTheKeyOfTheDeviceAfterTheHandlerIsInstalled)
{
    const Idiom idiom = GetParam();
    if (idiom.tablet)
        Device::current().setUserInterfaceIdiom(Device::IdiomTablet);
    Device::current().setAnswersIdiomQuery(idiom.answersQuery);
    const QString key = launchAndGetKey();
    Device::current().setAnswersIdiomQuery(true);
    EXPECT_EQ(key,
        idiom.expectTabletKey ? LumivueAppDelegate::tabletApplicationKey
                              : LumivueAppDelegate::phoneApplicationKey);
    EXPECT_TRUE(m_orderStore->m_handlerBeforeSession);
    EXPECT_TRUE(logLines().contains(QStringLiteral("LUMIVUE_IPHONE")));
}

INSTANTIATE_TEST_SUITE_P(Devices, LumivueAppDelegateIdiom,
    ::testing::Values(Idiom { false, true, false }, Idiom { true, true, true }, Idiom { true, false, false }),
    [](const auto& row) {
        return std::string(row.param.tablet ? "Tablet" : "Phone")
            + (row.param.answersQuery ? "" : "SilentIdiom");
    });

// Prints what analytics archived for the session, so the parent can read it from the child.
class PrintingStore : public analytics::TallySessionStore {
public:
    void saveCurrentSession(const analytics::TallySessionState& state) override
    {
        for (const auto& error : state.errors)
            std::fprintf(stderr, "archived error [%s] [%s] [%s]\n", qPrintable(error.errorId),
                qPrintable(error.message), qPrintable(error.exceptionText));
    }
};

[[noreturn]] void crashWith(std::function<void()> thrower)
{
    analytics::TallyAPI::resetForTesting();
    analytics::TallySessionStore::setInstance(std::make_shared<PrintingStore>());
    analytics::TallyAPI::startSession(QStringLiteral("KEY"));
    installUncaughtExceptionHandler();
    std::thread thread(std::move(thrower)); // nothing on that thread catches
    thread.join();
    std::_Exit(0);
}

// An exception of any type that escapes reaches analytics, and then the process ends.
TEST(UncaughtExceptionDeathTest, AnEscapingExceptionReachesAnalyticsAndThenEndsTheProcess)
{
    LUMIVUE_SKIP_WHEN_EMULATED(); // a death test runs itself again as a child
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(crashWith([] { throw std::out_of_range("frame 7 of 3"); }),
        "archived error \\[Uncaught\\] \\[Crash!\\] \\[.*out_of_range.*frame 7 of 3\\]");
    EXPECT_DEATH(
        crashWith([] { throw 42; }), "archived error \\[Uncaught\\] \\[Crash!\\] \\[.*not std::exception\\]");
}

TEST(UncaughtExceptionHandler, InstallingTwiceKeepsTheOriginalHandlerForTheEnd)
{
    const std::terminate_handler original = std::get_terminate();
    installUncaughtExceptionHandler();
    installUncaughtExceptionHandler();
    EXPECT_TRUE(isUncaughtExceptionHandlerInstalled());
    uninstallUncaughtExceptionHandler();
    EXPECT_EQ(std::get_terminate(), original);
}

} // namespace

} // namespace ui::test
