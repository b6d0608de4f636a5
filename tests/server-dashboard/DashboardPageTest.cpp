// The dashboard page from the dashboard JSON: strings from reports stay text however they are
// made, the page is well-formed markup without scripts, charts are drawn to scale, and missing
// data reads as "No data" rather than as broken charts.

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include "DashboardPage.h"
#include "support/TestNames.h"

namespace {

QJsonObject sample()
{
    QFile file(QStringLiteral(LUMIVUE_SOURCE_DIR "/tests/server-dashboard/sample-dashboard.json"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return QJsonDocument::fromJson(file.readAll()).object();
}

// What a parser makes of the page: every element, the text of each, and the bars of the charts.
struct Parsed {
    QString error;
    QStringList elements;
    QStringList attributes; // name=value
    QString text; // character data, decoded
    QList<QList<double>> barHeights; // per <svg>, the heights of its bars
    int noData { 0 };
};

Parsed parse(const QByteArray& page)
{
    Parsed parsed;
    QXmlStreamReader xml(page);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const QString name = xml.name().toString();
            parsed.elements.append(name);
            for (const auto& attribute : xml.attributes())
                parsed.attributes.append(
                    attribute.name().toString() + QLatin1Char('=') + attribute.value().toString());
            if (name == u"svg")
                parsed.barHeights.append(QList<double> {});
            if (name == u"rect" && xml.attributes().value(QLatin1String("class")) == u"bar")
                parsed.barHeights.last().append(xml.attributes().value(QLatin1String("height")).toDouble());
            if (name == u"p" && xml.attributes().value(QLatin1String("class")) == u"empty")
                ++parsed.noData;
        } else if (xml.isCharacters()) {
            parsed.text += xml.text();
        }
    }
    if (xml.hasError())
        parsed.error = xml.errorString() + QStringLiteral(" at line %1").arg(xml.lineNumber());
    return parsed;
}

// Each string a report can carry, as the page must show it.
TEST(DashboardPage, StringsFromReportsStayText)
{
    const QJsonObject dashboard = sample();
    const Parsed page = parse(collector::DashboardPage::render(dashboard));
    ASSERT_TRUE(page.error.isEmpty()) << page.error.toStdString();

    for (const char* forbidden : { "script", "img", "iframe", "object", "embed", "i", "x" })
        EXPECT_FALSE(page.elements.contains(QLatin1String(forbidden))) << forbidden;
    for (const QString& attribute : page.attributes)
        EXPECT_FALSE(attribute.startsWith(QLatin1String("on"))) << attribute.toStdString();

    const QString shown[] = { QStringLiteral("</td><script>alert('x')</script>"),
        QStringLiteral("1.2\"/><svg onload=alert(1)>"), QStringLiteral("'><img src=x onerror=alert(1)>"),
        QStringLiteral("]]><x>&amp;"), QStringLiteral("<b>BOLD_</b>\uFFFD%1"),
        QStringLiteral("lone \uFFFD surrogate & a bell \uFFFD"),
        QStringLiteral("2026-12-01 08:00:00Z\"><i>") };
    for (const QString& text : shown)
        EXPECT_TRUE(page.text.contains(text)) << text.toStdString();
}

// Bars stand in proportion to their values, on one baseline, within the frame.
TEST(DashboardPage, BarsAreDrawnToScale)
{
    const QJsonObject dashboard = sample();
    const Parsed page = parse(collector::DashboardPage::render(dashboard));
    ASSERT_TRUE(page.error.isEmpty()) << page.error.toStdString();
    ASSERT_GE(page.barHeights.size(), 2);
    const QJsonArray days = dashboard[QLatin1String("days")].toArray();
    for (const auto& [chart, key] : { std::pair { 0, "sessions" }, std::pair { 1, "devices" } }) {
        const QList<double>& heights = page.barHeights[chart];
        ASSERT_EQ(heights.size(), days.size()) << key;
        const double unit = heights[0] / days[0][QLatin1String(key)].toDouble();
        for (qsizetype i = 0; i < days.size(); ++i) {
            EXPECT_NEAR(heights[i], unit * days[i][QLatin1String(key)].toDouble(), 0.15)
                << key << " day " << i;
            EXPECT_LE(heights[i], 188) << "inside the plot";
        }
    }
}

struct EmptyCase {
    const char* name;
    const char* json;
};
using testing_support::PrintTo;

class EmptyDashboard : public ::testing::TestWithParam<EmptyCase> { };

// No rows, rows of zeros, or values of the wrong type: every chart says "No data", and no number
// that is not one reaches the markup.
TEST_P(EmptyDashboard, SaysNoData)
{
    const QByteArray html
        = collector::DashboardPage::render(QJsonDocument::fromJson(GetParam().json).object());
    const Parsed page = parse(html);
    ASSERT_TRUE(page.error.isEmpty()) << page.error.toStdString();
    EXPECT_EQ(page.noData, 10) << html.toStdString();
    for (const char* broken : { "nan", "inf", "NaN" })
        EXPECT_FALSE(html.contains(broken)) << broken;
}

INSTANTIATE_TEST_SUITE_P(DashboardPage, EmptyDashboard,
    ::testing::Values(EmptyCase { "NothingStored", "{}" },
        EmptyCase { "ZerosOnly",
            R"({"days":[{"date":"2026-12-01","sessions":0,"devices":0}],
                "sessionLengths":[{"fromSeconds":0,"toSeconds":null,"sessions":0}],
                "eventsPerDay":[{"date":"2026-12-01","name":"TAKE_PICTURE","count":0}],
                "appVersions":[{"value":"1.0","sessions":0}],
                "locations":[{"latitude":120,"longitude":0,"sessions":3}]})" },
        EmptyCase { "WrongTypes",
            R"({"days":"x","errorGroups":{},"sessions":"many","sessionLengthSeconds":{"median":"a"},
                "appVersions":[1,2],"locations":[{"latitude":"north"}]})" }),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
