// The app and the collector as a user runs them: lumivue (headless, scripted) posts its reports to
// a running lumivue-collector on SQLite; photos, a trip to the background, a kill there and a
// restart; then the collector's summary holds each session once and each photo's event once, and
// its dashboard opens in a browser with nothing on the console.

#include <functional>

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include "server-dashboard/HeadlessChromium.h"
#include "support/Program.h"

namespace {

// lumivue-collector on a free port of 127.0.0.1 with its database in `folder`; SIGTERM at the end.
class RunningCollector {
public:
    explicit RunningCollector(const QTemporaryDir& folder)
    {
        m_process.setReadChannel(QProcess::StandardError);
        m_process.start(QStringLiteral(LUMIVUE_BINARY_DIR "/bin/lumivue-collector"),
            { "--listen", "127.0.0.1:0", "--db",
                "sqlite:" + folder.filePath(QStringLiteral("collector.sqlite")) });
        const QRegularExpression listening(QStringLiteral("listening on (http://127\\.0\\.0\\.1:\\d+)/"));
        QDeadlineTimer deadline(test_support::scaledLimitMs(30000));
        while (m_url.isEmpty()
            && m_process.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())))) {
            m_log += QString::fromUtf8(m_process.readAllStandardError());
            m_url = listening.match(m_log).captured(1);
        }
    }
    ~RunningCollector()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(test_support::scaledLimitMs(30000)))
            m_process.kill();
    }
    RunningCollector(const RunningCollector&) = delete;
    RunningCollector& operator=(const RunningCollector&) = delete;

    QString url() const { return m_url; } // empty when it did not start
    // GET of a JSON answer, empty when there is none within the limit.
    QJsonObject get(const QString& path) { return QJsonDocument::fromJson(getBytes(path)).object(); }
    QByteArray getBytes(const QString& path)
    {
        QNetworkAccessManager network;
        std::unique_ptr<QNetworkReply> reply(network.get(QNetworkRequest(QUrl(m_url + path))));
        QEventLoop loop;
        QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(test_support::scaledLimitMs(30000), &loop, &QEventLoop::quit);
        loop.exec();
        return reply->readAll();
    }
    int events(const char* name)
    {
        return get(QStringLiteral("/api/summary"))[QLatin1String("events")][QLatin1String(name)].toInt();
    }

private:
    QProcess m_process;
    QString m_log;
    QString m_url;
};

// Polls `condition` every tenth of a second within a generous limit.
bool eventually(const std::function<bool()>& condition)
{
    QDeadlineTimer deadline(test_support::scaledLimitMs(60000));
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QEventLoop loop;
        QTimer::singleShot(100, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

struct Lumivue : testing_support::Program {
    Lumivue(const QTemporaryDir& home, const QString& collector)
        : Program({ "--headless", "--camera", "synthetic", "--control", "-", "--album",
                      home.filePath(QStringLiteral("album")), "--data-dir",
                      home.filePath(QStringLiteral("analytics")), "--server-url",
                      collector + QStringLiteral("/report.do") },
            testing_support::homeIn(home))
    {
    }
    // Taps the shutter once it is enabled and waits until it is again (the still is handed to the
    // album; its file may come a moment later).
    void shoot() { say("until takePictureButton 60\ntap takePictureButton\nuntil takePictureButton 60\n"); }
};

TEST(AppToCollector, EverySessionAndPhotoIsCountedOnceAcrossAKillAndARestart)
{
    QTemporaryDir home;
    QTemporaryDir database;
    auto photos = [&] {
        return int(
            QDir(home.filePath(QStringLiteral("album"))).entryList({ "IMG_*.JPG" }, QDir::Files).size());
    };
    RunningCollector collector(database);
    ASSERT_FALSE(collector.url().isEmpty()) << "the collector did not start";

    {
        Lumivue app(home, collector.url());
        app.shoot();
        app.shoot();
        app.say("wait 1\nbackground\nwait 2\nforeground\n"); // a short absence: the same session
        app.shoot();
        app.say("background\n");
        // The third photo is on the disk and the pause's report has it; then the app dies there.
        ASSERT_TRUE(eventually([&] { return photos() == 3 && collector.events("TAKE_PICTURE") == 3; }))
            << app.errors().toStdString();
    }
    Lumivue next(home, collector.url()); // sends the killed session, then its own at the end
    next.shoot();
    // A video of a second or two: its length goes with its event.
    next.say("tap captureModeButton\ntap takePictureButton\nwait 2.2\ntap takePictureButton\n");
    ASSERT_EQ(next.quit(), 0) << next.errors().toStdString();
    ASSERT_EQ(photos(), 4) << next.errors().toStdString();

    const QJsonObject summary = collector.get(QStringLiteral("/api/summary"));
    EXPECT_EQ(summary[QLatin1String("sessions")].toInt(), 2) << "the killed session once, the restart's once";
    EXPECT_EQ(summary[QLatin1String("devices")].toInt(), 1);
    EXPECT_EQ(summary[QLatin1String("events")].toObject(),
        QJsonObject({ { "TAKE_PICTURE", 4 }, { "TAKE_VIDEO", 1 } }))
        << QJsonDocument(summary).toJson().toStdString();
    const QString events = QString::fromUtf8(collector.getBytes(QStringLiteral("/api/events.csv")));
    EXPECT_TRUE(events.contains(QRegularExpression(QStringLiteral("TAKE_VIDEO,.*seconds[^0-9]*2\\b"))))
        << events.toStdString();
    EXPECT_GE(summary[QLatin1String("sessionLengthSeconds")][QLatin1String("median")].toDouble(), 1)
        << "the killed session keeps the length it had";

    if (!testing_support::hasChromium())
        return;
    const auto page = testing_support::chromium({ "--dump-dom", collector.url() + QStringLiteral("/") });
    ASSERT_TRUE(page.ended);
    EXPECT_TRUE(page.console.isEmpty()) << page.console.join(u'\n').toStdString();
    EXPECT_GE(page.output.count("<svg"), 4) << "the charts of the app's day";
}

} // namespace
