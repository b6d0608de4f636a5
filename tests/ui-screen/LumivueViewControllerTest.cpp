// The camera screen's set-up and lifecycle: what loading builds, the viewer and the background
// stopping and starting the camera, destruction, and the controls wired to the scope.

#include <functional>
#include <vector>

#include <QDir>
#include <QTemporaryDir>

#include "ScreenTestSupport.h"
#include "platform/camera/CaptureSession.h"
#include "platform/camera/ImageFileFrameSource.h"
#include "platform/camera/StreamBackend.h"
#include "platform/camera/StreamCaptureDevice.h"
#include "platform/device/Application.h"
#include "support/WaitUntil.h"
#include "ui/LumivueViewController.h"

namespace ui::test {

namespace {

using platform::Device;

class LumivueViewControllerTest : public ScreenTest { };

// What loading builds on each kind of device: a tablet has the large scope and no preset chooser.
// (A tablet that does not answer the idiom query is a phone: the start-up key's test.)
struct DeviceRow {
    const char* name;
    int idiom;
    int scope; // points across
    QRectF grid;
    QRectF panel;
};

class LumivueViewControllerLoading : public LumivueViewControllerTest,
                                     public ::testing::WithParamInterface<DeviceRow> { };

TEST_P(LumivueViewControllerLoading, BuildsTheCameraTheScopeAndTheControls)
{
    const DeviceRow& row = GetParam();
    useIdiom(row.idiom);
    analytics::TallyAPI::startSession(QStringLiteral("KEY"));
    ScreenHarness h(syntheticCameras());
    LumivueViewController& screen = h.screen();

    ASSERT_NE(screen.session(), nullptr);
    EXPECT_TRUE(screen.session()->isRunning());
    EXPECT_TRUE(screen.isTimerThreadRunning());
    ASSERT_NE(screen.locationManager(), nullptr);
    EXPECT_TRUE(screen.locationManager()->isUpdatingLocation());
    // The first fix went to analytics.
    EXPECT_NEAR(m_store->current().latitude, 48.8584, 1e-3); // analytics keeps three decimals
    EXPECT_NEAR(m_store->current().longitude, 2.2945, 1e-3);

    EXPECT_FALSE(h.shown("sliderNVLevel")); // Enlight starts on Auto
    EXPECT_EQ(screen.scopePixelSize(), row.scope);
    EXPECT_EQ(screen.scopeScreenRadius(), row.scope);
    EXPECT_EQ(h.sceneRect("scopeGrid"), row.grid);
    EXPECT_EQ(h.sceneRect("scopeImage"), row.grid);
    EXPECT_EQ(h.sceneRect("controllHUDView"), row.panel);
    // Two synthetic cameras: the switch shows.
    EXPECT_TRUE(h.shown("cameraButton"));
    EXPECT_EQ(h.shown("bPreset"), row.idiom == Device::IdiomPhone);
}

INSTANTIATE_TEST_SUITE_P(Devices, LumivueViewControllerLoading,
    ::testing::Values(
        DeviceRow { "Phone", Device::IdiomPhone, 200, QRectF(60, 140, 200, 200), QRectF(8, 8, 232, 128) },
        DeviceRow { "Tablet", Device::IdiomTablet, 600, QRectF(84, 212, 600, 600), QRectF(8, 8, 222, 88) }),
    [](const auto& row) { return std::string(row.param.name); });

// The viewer over the screen and the app in the background both release the camera; the
// background also stops the timer, so nothing wakes the app there.
TEST_F(LumivueViewControllerTest, TheViewerAndTheBackgroundReleaseTheCameraAndTheForegroundResumes)
{
    ScreenHarness h(syntheticCameras());
    LumivueViewController& screen = h.screen();
    ASSERT_TRUE(screen.session());

    screen.viewWillDisappear(); // covered by the photo viewer
    EXPECT_FALSE(screen.session()->isRunning());
    EXPECT_FALSE(screen.locationManager()->isUpdatingLocation());
    EXPECT_FALSE(screen.qImage().isFull());
    screen.viewWillAppear(); // the viewer closed
    EXPECT_TRUE(screen.session()->isRunning());
    EXPECT_TRUE(screen.locationManager()->isUpdatingLocation());

    platform::Application::enterBackground();
    EXPECT_FALSE(screen.session()->isRunning());
    EXPECT_FALSE(screen.isTimerThreadRunning());
    EXPECT_FALSE(screen.locationManager()->isUpdatingLocation());
    EXPECT_TRUE(logLines().contains(QStringLiteral("Camera released in the background")));
    screen.viewWillAppear(); // the viewer closing in the background starts nothing
    EXPECT_FALSE(screen.session()->isRunning());

    platform::Application::enterForeground();
    EXPECT_TRUE(screen.session()->isRunning());
    EXPECT_TRUE(screen.isTimerThreadRunning());
    EXPECT_TRUE(screen.locationManager()->isUpdatingLocation());
}

TEST_F(LumivueViewControllerTest, WithoutALocationSourceTheScreenWorksAndReportsNoPosition)
{
    platform::LocationManager::configure(std::nullopt, platform::LocationManager::SystemSource::Ignore);
    analytics::TallyAPI::startSession(QStringLiteral("KEY"));
    ScreenHarness h(syntheticCameras());
    EXPECT_EQ(h.screen().locationManager(), nullptr);
    h.screen().viewWillDisappear();
    h.screen().viewWillAppear();
    EXPECT_EQ(m_store->current().latitude, 0.0);
    EXPECT_TRUE(h.screen().session()->isRunning());
}

TEST_F(LumivueViewControllerTest, DestructionStopsEverythingAndLeavesNoObserver)
{
    auto h = std::make_unique<ScreenHarness>(syntheticCameras());
    const auto session = h->screen().session();
    h.reset();
    EXPECT_TRUE(logLines().contains(QStringLiteral("LumivueViewController dealoc")));
    EXPECT_FALSE(session->isRunning());
    EXPECT_FALSE(Device::current().isGeneratingDeviceOrientationNotifications());
    // A notification after the controller is gone reaches nothing (the sanitizers would see it).
    platform::NotificationCenter::defaultCenter().post(
        Device::orientationDidChangeNotification, &Device::current());
}

// Each control in turn, worked as a finger would on one screen: what it does to the scope, and
// whether it clicks. The choosers and the toggles click; the sliders and the camera switch are
// silent.
TEST_F(LumivueViewControllerTest, EachControlDrivesTheScopeAndClicksOrStaysSilent)
{
    ScreenHarness h(syntheticCameras());
    LumivueViewController& s = h.screen();
    int levelBefore = 0;
    const struct {
        const char* what;
        std::function<void()> act;
        int clicks;
        std::function<bool()> holds;
    } rows[] = {
        { "Enlight Manual", [&] { h.choose("bEnlight", 1); }, 1,
            [&] { return s.scopeNightVisionMode() == 2 && h.shown("sliderNVLevel"); } },
        { "level slider", [&] { h.slide("sliderNVLevel", 40); }, 0,
            [&] { return s.scopeNightVisionLevel() == 40; } },
        { "Color GREEN", [&] { h.choose("bColorSpace", 1); }, 1,
            [&] { return s.scopeNightVisionColorFilter() == 1; } },
        { "Enlight Auto hides the level slider", [&] { h.choose("bEnlight", 0); }, 1,
            [&] { return s.scopeNightVisionMode() == 1 && !h.shown("sliderNVLevel"); } },
        { "zoom narrows the scope's window", [&] { h.slide("sliderZoom", 0.5); }, 0,
            [&] { return s.settings().zoom() == 0.5f; } },
        { "Enlight Off", [&] { h.choose("bEnlight", 2); }, 1, [&] { return s.scopeNightVisionMode() == 0; } },
        { "an unknown Enlight item keeps Off", [&] { s.enlightChange(7); }, 1,
            [&] { return s.scopeNightVisionMode() == 0; } },
        { "the level acts only in manual mode",
            [&] {
                levelBefore = s.scopeNightVisionLevel();
                s.sliderNVAction(levelBefore + 30.0f);
            },
            0, [&] { return s.scopeNightVisionLevel() == levelBefore; } },
        { "an open chooser stays open for a tap on its title", [&] { h.tap("bColorSpace"); }, 0,
            [&] { return h.item("bColorSpace")->property("expanded").toBool(); } },
        { "grid", [&] { h.tap("NVButton"); }, 1, [&] { return !h.shown("controllHUDView"); } },
        { "grid again", [&] { h.tap("NVButton"); }, 1, [&] { return h.shown("controllHUDView"); } },
        { "night mode", [&] { h.tap("denoiseButton"); }, 1, [&] { return s.settings().isNightMode(); } },
        { "camera switch", [&] { h.tap("cameraButton"); }, 0, [] { return true; } },
        { "self-timer 3 s", [&] { h.tap("timerButton"); }, 1, [&] { return s.timerSeconds() == 3; } },
        { "self-timer 10 s", [&] { h.tap("timerButton"); }, 1, [&] { return s.timerSeconds() == 10; } },
        { "self-timer off", [&] { h.tap("timerButton"); }, 1, [&] { return s.timerSeconds() == 0; } },
        { "video mode", [&] { h.tap("captureModeButton"); }, 1, [&] { return s.isVideoMode(); } },
        { "photo mode", [&] { h.tap("captureModeButton"); }, 1, [&] { return !s.isVideoMode(); } },
    };
    for (const auto& row : rows) {
        const int before = platform::SystemSound::playCount();
        row.act();
        EXPECT_EQ(platform::SystemSound::playCount() - before, row.clicks) << row.what;
        EXPECT_TRUE(row.holds()) << row.what;
    }
}

// With the self-timer set the shutter counts down and takes the photo at the end, not before; a tap
// on the countdown cancels it, and no photo follows.
TEST_F(LumivueViewControllerTest, TheSelfTimerTakesThePhotoAfterItsTimeAndATapCancelsIt)
{
    ScreenHarness h(syntheticCameras());
    LumivueViewController& s = h.screen();
    s.setTimerSeconds(3);
    h.tap("takePictureButton");
    EXPECT_EQ(s.countdown(), 3);
    ASSERT_TRUE(h.shown("countdownView"));
    const auto photos = [this] { return logLines().count(QStringLiteral("Capture start")); };
    const auto photoTaken = [&] { return photos() > 0; };
    runEvents(2300);
    EXPECT_EQ(s.countdown(), 1);
    EXPECT_FALSE(photoTaken()) << "the photo was taken before its time";
    runEvents(1200);
    EXPECT_EQ(s.countdown(), 0);
    EXPECT_TRUE(photoTaken()) << "no photo at the end of the countdown";
    EXPECT_TRUE(logLines().contains(QStringLiteral("Self-timer: 3 s")));
    const int taken = photos();

    ScreenHarness again(syntheticCameras());
    again.screen().setTimerSeconds(3);
    again.tap("takePictureButton");
    runEvents(500);
    again.tap("countdownView");
    EXPECT_EQ(again.screen().countdown(), 0);
    runEvents(3200);
    EXPECT_EQ(photos(), taken) << "a cancelled countdown took the photo";
    EXPECT_TRUE(logLines().contains(QStringLiteral("Self-timer cancelled")));
}

// In video mode the countdown starts a recording, not before its end; the next tap stops it and the
// video joins the album; going to the background stops a recording too, and keeps it.
TEST_F(LumivueViewControllerTest, VideoModeRecordsAfterTheCountdownAndTheBackgroundKeepsTheRecording)
{
    QTemporaryDir album;
    ScreenHarness h(syntheticCameras(true), QSize(), [&](LumivueViewController& screen) {
        screen.setAlbumDirectory(album.path());
        screen.setAudioEnabled(false);
    });
    LumivueViewController& s = h.screen();
    h.tap("captureModeButton");
    s.setTimerSeconds(3);
    h.tap("takePictureButton");
    runEvents(2300);
    EXPECT_FALSE(s.isRecording()) << "recording before the countdown's end";
    runEvents(1200);
    ASSERT_TRUE(s.isRecording());
    EXPECT_TRUE(h.shown("recordingView"));
    EXPECT_FALSE(h.item("captureModeButton")->isEnabled()) << "the mode changes under a recording";
    runEvents(1000);
    h.tap("takePictureButton");
    EXPECT_FALSE(s.isRecording());
    const auto saved = [&] { return logLines().filter(QStringLiteral("Video saved")).size(); };
    ASSERT_TRUE(testing_support::waitUntil([&] { return saved() == 1; }, std::chrono::seconds(60)));

    s.setTimerSeconds(0);
    h.tap("takePictureButton");
    ASSERT_TRUE(s.isRecording());
    runEvents(1000);
    platform::Application::enterBackground();
    EXPECT_FALSE(s.isRecording());
    ASSERT_TRUE(testing_support::waitUntil([&] { return saved() == 2; }, std::chrono::seconds(60)));
    platform::Application::enterForeground();
    EXPECT_EQ(QDir(album.path()).entryList({ "VID_*" }).size(), 2); // MP4, or WebM without H.264

    // Without a camera there is nothing to record: the user is told at once.
    ScreenHarness none(nullptr);
    none.tap("captureModeButton");
    none.tap("takePictureButton");
    EXPECT_FALSE(none.screen().isRecording());
    EXPECT_TRUE(none.screen().isAlertShown());
}

// Alerts show one at a time, in order; while one shows, nothing under it takes a touch.
TEST_F(LumivueViewControllerTest, AlertsShowInTurnAndKeepTouchesFromTheScreen)
{
    ScreenHarness h(nullptr);
    h.screen().presentAlert(QStringLiteral("Error!"), QStringLiteral("first"), QStringLiteral("OK"));
    h.screen().presentAlert(QStringLiteral("Error!"), QStringLiteral("second"), QStringLiteral("OK"));
    ASSERT_TRUE(h.shown("alertButton"));
    EXPECT_EQ(h.screen().alertMessage(), QStringLiteral("first"));
    EXPECT_TRUE(logLines().contains(QStringLiteral("Alert: Error!: first [OK]")));
    h.tap("takePictureButton");
    EXPECT_TRUE(h.screen().isShutterEnabled()) << "the shutter under the alert took the tap";
    h.tap("alertButton");
    EXPECT_EQ(h.screen().alertMessage(), QStringLiteral("second"));
    h.tap("alertButton");
    EXPECT_FALSE(h.shown("alertButton"));
}

// The grid toggle never shows a switch that cannot work: with one camera and no torch both stay
// hidden.
TEST_F(LumivueViewControllerTest, TheGridToggleHidesAndShowsOnlyTheSideControlsThatWork)
{
    std::vector<std::shared_ptr<platform::StreamCaptureDevice>> devices {
        std::make_shared<platform::StreamCaptureDevice>(
            QStringLiteral("Lone Camera"), platform::CaptureDevicePosition::Back, false, m_frameClock, 0)
    };
    auto source = platform::ImageFileFrameSource::open(
        QStringLiteral(LUMIVUE_SOURCE_DIR "/assets/samples/dim-street.png"));
    ASSERT_TRUE(source);
    ScreenHarness h(
        std::make_shared<platform::StreamBackend>(std::move(devices), source.value(), m_frameClock));
    const auto sides = [&h] {
        return std::vector<bool> { h.shown("controllHUDView"), h.shown("torchButton"),
            h.shown("cameraButton"), h.shown("denoiseButton"), h.shown("takePictureButton") };
    };
    EXPECT_EQ(sides(), (std::vector<bool> { true, false, false, true, true }));
    h.tap("NVButton");
    EXPECT_EQ(sides(), (std::vector<bool> { false, false, false, false, true }));
    h.tap("NVButton");
    EXPECT_EQ(sides(), (std::vector<bool> { true, false, false, true, true }));
}

} // namespace

} // namespace ui::test
