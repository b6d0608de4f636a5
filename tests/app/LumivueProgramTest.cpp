// End-to-end runs of the lumivue program: headless screenshots and scripted control.

#include <QElapsedTimer>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "analytics-io/TestHttpServer.h"
#include "support/Program.h"

namespace {

using testing_support::ProgramRun;

// Never touches the user's analytics files.
ProgramRun runLumivue(QStringList arguments, const QByteArray& script = {},
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    return testing_support::runProgram(arguments << QStringLiteral("--no-analytics"), script, environment);
}

// How many pixels differ between two same-sized images, within a region.
int changedPixels(const QImage& a, const QImage& b, const QRect& region)
{
    int changed = 0;
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x)
            changed += a.pixel(x, y) != b.pixel(x, y);
    return changed;
}

} // namespace

// The duration alone ends a headless run (the runner counts one that does not end as failed).
TEST(LumivueProgram, AHeadlessRunEndsAfterItsDurationWithAScreenshotOfTheScreenSize)
{
    QTemporaryDir dir;
    const QString phone = dir.filePath(QStringLiteral("phone.png"));
    ProgramRun run = runLumivue({ "--headless", "--screenshot", phone, "--duration", "1" });
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_EQ(QImage(phone).size(), QSize(640, 960));

    const QString tablet = dir.filePath(QStringLiteral("tablet.png"));
    run = runLumivue(
        { "--headless", "--idiom", "tablet", "--scale", "1", "--screenshot", tablet, "--duration", "0" });
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_EQ(QImage(tablet).size(), QSize(768, 1024));
}

TEST(LumivueProgram, ScriptedTapShowsInALaterScreenshotAndBadLinesAreReported)
{
    QTemporaryDir dir;
    const QString before = dir.filePath(QStringLiteral("before.png"));
    const QString after = dir.filePath(QStringLiteral("after.png"));
    // A still picture as the feed, and a second for the camera's start-up marks to fade, so the
    // only change between the screenshots is the tap's.
    const QString feed = QStringLiteral("image:" LUMIVUE_SOURCE_DIR "/assets/samples/dim-street.png");
    const QByteArray script = QStringLiteral("wait 1\n"
                                             "screenshot %1\n"
                                             "tap noSuchView\n"
                                             "jump NVButton\n"
                                             "tap NVButton\n"
                                             "wait 0.2\n"
                                             "screenshot %2\n"
                                             "quit\n")
                                  .arg(before, after)
                                  .toUtf8();
    const ProgramRun run = runLumivue({ "--headless", "--camera", feed, "--control", "-" }, script);
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains(QStringLiteral("no view named 'noSuchView'")))
        << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains(QStringLiteral("unknown command 'jump'"))) << run.errors.toStdString();

    const QImage a(before), b(after);
    ASSERT_EQ(a.size(), QSize(640, 960));
    ASSERT_EQ(b.size(), a.size());
    // The grid toggle hides the option panel (top left); the shutter (bottom centre) stays put.
    EXPECT_GT(changedPixels(a, b, QRect(40, 40, 200, 200)), 5000);
    EXPECT_EQ(changedPixels(a, b, QRect(260, 820, 120, 120)), 0);
}

TEST(LumivueProgram, WithoutADisplayItPointsAtHeadless)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    const ProgramRun run = runLumivue({}, {}, environment);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.errors.contains(QStringLiteral("--headless"))) << run.errors.toStdString();
    EXPECT_EQ(run.errors.trimmed().count(QLatin1Char('\n')), 0);
}

// The help says what is collected, where it goes and how to turn it off.
TEST(LumivueProgram, HelpSaysWhatAnalyticsCollectAndHowToTurnThemOff)
{
    testing_support::Program help({ "--help" });
    ASSERT_EQ(help.finish(), 0);
    const QString text = QString::fromUtf8(help.output());
    for (const char* phrase : { "TAKE_PICTURE", "127.0.0.1:8642", "--analytics off" })
        EXPECT_TRUE(text.contains(QLatin1String(phrase))) << phrase;
}

namespace {

struct BadFlag {
    const char* name;
    const char* flag;
    const char* value;
};
class LumivueBadFlag : public ::testing::TestWithParam<BadFlag> { };

} // namespace

// A value the app could not use is refused at start with one line naming the flag: a server the
// uploads could never reach would otherwise fail silently run after run, a noise level out of
// range would quietly become another one, a picture feed that cannot be read would show nothing.
TEST_P(LumivueBadFlag, IsRefusedWithOneLineNamingTheFlag)
{
    const BadFlag row = GetParam();
    QTemporaryDir runtime; // else Qt itself warns about it once the camera is being opened
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    const ProgramRun run
        = runLumivue({ "--headless", "--duration", "0", row.flag, row.value }, {}, environment);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.errors.contains(QLatin1String(row.flag))) << run.errors.toStdString();
    EXPECT_EQ(run.errors.trimmed().count(QLatin1Char('\n')), 0) << run.errors.toStdString();
    if (QLatin1String(row.value).startsWith(QLatin1String("image:"))) { // the reason names the file
        EXPECT_TRUE(run.errors.contains(QLatin1String(row.value + 6))) << run.errors.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Values, LumivueBadFlag,
    ::testing::Values(BadFlag { "UrlLocalFile", "--server-url", "file:///tmp/report" },
        BadFlag { "UrlNoHost", "--server-url", "http:///report.do" },
        BadFlag { "NoiseAbove64", "--sensor-noise", "65" },
        BadFlag { "ShakeAbove16", "--sensor-shake", "17" }, BadFlag { "FramesZero", "--stack-frames", "0" },
        BadFlag { "IdiomWatch", "--idiom", "watch" }, BadFlag { "CameraUnknown", "--camera", "webcam" },
        BadFlag { "CameraImageMissing", "--camera", "image:/nonexistent/dark.jpg" },
        BadFlag { "CameraImageNotAPicture", "--camera", "image:" LUMIVUE_SOURCE_DIR "/README.md" },
        BadFlag { "AnalyticsNeitherOffNorOn", "--analytics", "maybe" },
        BadFlag { "CameraRotationNotAQuarter", "--camera-rotation", "45" }),
    [](const auto& row) { return std::string(row.param.name); });

// A collection server that accepts the connection and never answers must not hold up the quit.
TEST(LumivueProgram, QuitsAtOnceWhileTheServerStaysSilent)
{
    testing_support::TestHttpServer server;
    server.setDefaultAnswer(testing_support::ScriptedAnswer::silence());
    QTemporaryDir dir;
    QElapsedTimer clock;
    clock.start();
    testing_support::Program lumivue(
        { "--headless", "--screenshot", dir.filePath(QStringLiteral("shot.png")), "--duration", "1",
            "--data-dir", dir.path(), "--server-url", server.url().toString(), "--control", "-" });
    // Going to the background and back starts a pause upload too, so two uploads hang at the quit.
    EXPECT_EQ(lumivue.finish("background\nforeground\n", 20000), 0) << lumivue.errors().toStdString();
    EXPECT_TRUE(server.waitForRequests(2));
    // The run itself takes about a second; the uploads' 5 and 20 s limits must not show.
    EXPECT_LT(clock.elapsed(), test_support::scaledLimitMs(4000));
}

// The self-timer set in one run counts down the shutter in the next: it is kept with the app's
// settings.
TEST(LumivueProgram, TheSelfTimerIsKeptForTheNextStart)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QStringList arguments { QStringLiteral("--headless"), QStringLiteral("--camera"),
        QStringLiteral("synthetic"), QStringLiteral("--album"), home.filePath(QStringLiteral("album")),
        QStringLiteral("--control"), QStringLiteral("-") };
    const auto environment = testing_support::homeIn(home);
    const ProgramRun set = runLumivue(arguments, "tap timerButton\nquit\n", environment);
    ASSERT_EQ(set.exitCode, 0) << set.errors.toStdString();
    const ProgramRun next = runLumivue(arguments,
        "until takePictureButton 30\ntap takePictureButton\nwait 0.5\ntap countdownView\nquit\n",
        environment);
    EXPECT_TRUE(next.errors.contains(QStringLiteral("Self-timer: 3 s"))) << next.errors.toStdString();
    EXPECT_TRUE(next.errors.contains(QStringLiteral("Self-timer cancelled"))) << next.errors.toStdString();
}
