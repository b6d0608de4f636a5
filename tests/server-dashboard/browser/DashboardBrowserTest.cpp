// The dashboard page in a real browser (Debian's chromium, headless): it loads with nothing refused,
// blocked or failed on its console, and its charts are painted, at a desktop's and at a phone's
// width. The page and the screenshots stay in build/dashboard-page/ to be looked at.

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QSaveFile>

#include <gtest/gtest.h>

#include "DashboardPage.h"
#include "server-dashboard/HeadlessChromium.h"

namespace {

const QString folder = QStringLiteral(LUMIVUE_BINARY_DIR "/dashboard-page");

using testing_support::chromium;

class DashboardInBrowser : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        QFile sample(QStringLiteral(LUMIVUE_SOURCE_DIR "/tests/server-dashboard/sample-dashboard.json"));
        ASSERT_TRUE(sample.open(QIODevice::ReadOnly));
        QDir().mkpath(folder);
        // Whole or not at all: the cases may run at once, each a process writing the same page.
        QSaveFile page(folder + QStringLiteral("/page.html"));
        ASSERT_TRUE(page.open(QIODevice::WriteOnly));
        page.write(collector::DashboardPage::render(QJsonDocument::fromJson(sample.readAll()).object()));
        ASSERT_TRUE(page.commit());
    }
    void SetUp() override
    {
        if (!testing_support::hasChromium())
            GTEST_SKIP() << "chromium is not installed";
    }
    static QString url() { return QStringLiteral("file://") + folder + QStringLiteral("/page.html"); }
};

// The document the browser built has every chart of the page, and nothing went wrong on the way.
TEST_F(DashboardInBrowser, LoadsWithAllChartsAndAQuietConsole)
{
    const testing_support::ChromiumRun run = chromium({ "--dump-dom", url() });
    ASSERT_TRUE(run.ended);
    EXPECT_TRUE(run.console.isEmpty()) << run.console.join(u'\n').toStdString();
    EXPECT_EQ(run.output.count("<svg"), 9) << "three column charts, a line chart, four bar charts, the map";
    EXPECT_EQ(run.output.count("<script"), 0);
}

// Painted, not merely present: the bars show in their colour (the style reached the inline SVG).
TEST_F(DashboardInBrowser, PaintsTheChartsAtDesktopAndPhoneWidths)
{
    for (const auto& [name, size] :
        { std::pair { "desktop", "1280,2200" }, std::pair { "phone", "390,5200" } }) {
        const QString shot = folder + QStringLiteral("/%1.png").arg(QLatin1String(name));
        QFile::remove(shot);
        const testing_support::ChromiumRun run
            = chromium({ QStringLiteral("--window-size=") + QLatin1String(size), "--hide-scrollbars",
                "--screenshot=" + shot, url() });
        ASSERT_TRUE(run.ended) << name;
        EXPECT_TRUE(run.console.isEmpty()) << run.console.join(u'\n').toStdString();
        const QImage image(shot);
        ASSERT_FALSE(image.isNull()) << name;
        qsizetype barPixels = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                barPixels += image.pixel(x, y) == qRgb(0x2e, 0x6d, 0xb0);
        EXPECT_GT(barPixels, image.width() * 20) << name;
    }
}

} // namespace
