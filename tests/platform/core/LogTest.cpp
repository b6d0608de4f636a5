#include "platform/core/Log.h"

#include <QLoggingCategory>
#include <QStringList>

#include <gtest/gtest.h>

#include "platform/core/AlertPresenter.h"
#include "support/LogCapture.h"

namespace {

using testing_support::LogCapture;

TEST(Log, FormatsLinesAndLeavesSilencedCategoriesOut)
{
    LogCapture outer;
    {
        LogCapture log;
        platform::log("%s", "Just Take Picture!!!");
        platform::log(platform::lcScope(), "Preview Scale %f", 2.0);
        platform::logLine(platform::lcPhotos(), QStringLiteral("Enum Group"));
        // The rules a user puts in QT_LOGGING_RULES; some systems also turn every debug level off.
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\nlumivue.scope=false"));
        platform::log(platform::lcScope(), "Preview Scale %f", 3.0);
        platform::logLine(platform::lcPhotos(), QStringLiteral("taking thumbnail OK"));
        QLoggingCategory::setFilterRules(QString());
        EXPECT_EQ(log.lines(),
            QStringList(
                { "Just Take Picture!!!", "Preview Scale 2.000000", "Enum Group", "taking thumbnail OK" }));
    }
    platform::log("Preview Scale %f", 1.5);
    EXPECT_EQ(outer.lines(), QStringList { "Preview Scale 1.500000" }) << "the previous sink is back";
}

TEST(AlertPresenter, FallsBackToTheLogWithoutAPresenter)
{
    LogCapture log;
    platform::presentAlert("Error!", "The album is full", "OK");
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(log.lines()[0].contains("Error!"));
    EXPECT_TRUE(log.lines()[0].contains("The album is full"));
}

} // namespace
