#include "platform/core/Log.h"

#include <QLoggingCategory>
#include <QStringList>

#include <gtest/gtest.h>

#include "platform/core/AlertPresenter.h"

namespace {

TEST(Log, FormatsLinesAndRestoresThePreviousSink)
{
    QStringList lines;
    auto previous = platform::setLogSink([&](const QString& line) { lines << line; });
    platform::log("Preview Scale %f", 1.5);
    platform::log("%s", "Just Take Picture!!!");
    platform::setLogSink(previous);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], "Preview Scale 1.500000");
    EXPECT_EQ(lines[1], "Just Take Picture!!!");
}

TEST(Log, CategoriesAreOnByDefaultAndSilencedByLoggingRules)
{
    QStringList lines;
    auto previous = platform::setLogSink([&](const QString& line) { lines << line; });
    platform::log(platform::lcScope(), "Preview Scale %f", 2.0);
    platform::logLine(platform::lcPhotos(), QStringLiteral("Enum Group"));
    // The rules a user puts in QT_LOGGING_RULES; some systems also turn every debug level off.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\nlumivue.scope=false"));
    platform::log(platform::lcScope(), "Preview Scale %f", 3.0);
    platform::logLine(platform::lcPhotos(), QStringLiteral("taking thumbnail OK"));
    QLoggingCategory::setFilterRules(QString());
    platform::setLogSink(previous);
    EXPECT_EQ(lines, QStringList({ "Preview Scale 2.000000", "Enum Group", "taking thumbnail OK" }));
}

TEST(AlertPresenter, FallsBackToTheLogWithoutAPresenter)
{
    QStringList lines;
    auto previous = platform::setLogSink([&](const QString& line) { lines << line; });
    platform::presentAlert("Error!", "The album is full", "OK");
    platform::setLogSink(previous);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].contains("Error!"));
    EXPECT_TRUE(lines[0].contains("The album is full"));
}

} // namespace
