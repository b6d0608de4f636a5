// The camera screen's set-up and lifecycle: what loading builds, appearing and disappearing,
// unloading, loading again and destruction, and the controls wired to the scope.

#include <QImage>
#include <functional>

#include "ScreenTestSupport.h"
#include "imaging/LivePreviewLayer.h"
#include "platform/camera/CaptureSession.h"
#include "platform/camera/ImageFileFrameSource.h"
#include "platform/camera/StreamBackend.h"
#include "platform/camera/StreamCaptureDevice.h"
#include "platform/core/NotificationCenter.h"
#include "platform/graphics/Layer.h"
#include "platform/ui/Button.h"
#include "platform/ui/Slider.h"
#include "platform/device/SystemSound.h"
#include "platform/ui/Window.h"
#include "ui/HUDView.h"
#include "ui/LumivueViewController.h"
#include "ui/OptionButton.h"

namespace ui::test {

namespace {

using platform::Device;

int optionButtonsOn(const HUDView& panel)
{
    int count = 0;
    for (platform::View* view : panel.subviews())
        count += dynamic_cast<OptionButton*>(view) != nullptr;
    return count;
}

class LumivueViewControllerTest : public ScreenTest {
protected:
    std::unique_ptr<LumivueViewController> makeScreen()
    {
        return std::make_unique<LumivueViewController>(syntheticCameras());
    }
};

// What loading builds on each kind of device: a tablet has the large scope and no preset chooser.
// (A tablet that does not answer the idiom query is a phone: the start-up key's test.)
struct DeviceRow {
    const char* name;
    int idiom;
    int scope; // points across
    QSizeF preview; // the screen the controller lays out
    QRectF grid;
    QRectF panel;
    int options; // option buttons on the panel
};

class LumivueViewControllerLoading : public LumivueViewControllerTest,
                                     public ::testing::WithParamInterface<DeviceRow> { };

TEST_P(LumivueViewControllerLoading, BuildsTheCameraTheScopeAndTheControls)
{
    const DeviceRow& row = GetParam();
    useIdiom(row.idiom);
    analytics::TallyAPI::startSession(QStringLiteral("KEY"));
    auto screen = makeScreen();
    screen->view();

    ASSERT_NE(screen->session(), nullptr);
    EXPECT_TRUE(screen->session()->isRunning());
    EXPECT_TRUE(screen->isTimerThreadRunning());
    ASSERT_NE(screen->locationManager(), nullptr);
    EXPECT_TRUE(screen->locationManager()->isUpdatingLocation());
    // The first fix went to analytics.
    EXPECT_NEAR(m_store->current().latitude, 48.8584, 1e-3); // analytics keeps three decimals
    EXPECT_NEAR(m_store->current().longitude, 2.2945, 1e-3);

    EXPECT_TRUE(screen->sliderNVLevel()->isHidden()); // Enlight starts on Auto
    EXPECT_EQ(screen->scopePixelSize(), row.scope);
    EXPECT_EQ(screen->scopeScreenRadius(), row.scope);

    // Live picture at the bottom, then the picture square, then the overlay on top, both
    // centred on the full-screen preview.
    const auto& layers = screen->previewView()->layer().sublayers();
    ASSERT_EQ(layers.size(), 3u);
    EXPECT_EQ(layers[0], screen->previewLayer()->layer());
    EXPECT_EQ(layers[1], screen->scopeImageLayer());
    EXPECT_EQ(layers[2], screen->scopeGridLayer());
    EXPECT_EQ(screen->scopeGridLayer()->frame(), row.grid);
    EXPECT_EQ(screen->previewView()->frame(), QRectF(QPointF(), row.preview));

    // Two synthetic cameras: the switch shows.
    EXPECT_FALSE(screen->cameraButton()->isHidden());
    EXPECT_EQ(screen->controllHUDView()->frame(), row.panel);
    EXPECT_EQ(optionButtonsOn(*screen->controllHUDView()), row.options);
    EXPECT_EQ(screen->bPreset() != nullptr, row.options == 3);
}

INSTANTIATE_TEST_SUITE_P(Devices, LumivueViewControllerLoading,
    ::testing::Values(DeviceRow { "Phone", Device::IdiomPhone, 200, QSizeF(320, 480),
                          QRectF(60, 140, 200, 200), QRectF(8, 8, 232, 128), 3 },
        DeviceRow { "Tablet", Device::IdiomTablet, 600, QSizeF(768, 1024), QRectF(84, 212, 600, 600),
            QRectF(8, 8, 222, 88), 2 }),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(LumivueViewControllerTest, AppearingAndDisappearingStartAndStopTheCameraAndTheLocationUpdates)
{
    auto screen = makeScreen();
    platform::Window window(platform::Screen::main().bounds());
    window.setRootViewController(screen.get()); // loads, then will-appear
    ASSERT_TRUE(screen->session());
    EXPECT_TRUE(screen->session()->isRunning());
    EXPECT_TRUE(screen->locationManager()->isUpdatingLocation());

    screen->viewWillDisappear(false); // covered by the photo viewer
    EXPECT_FALSE(screen->session()->isRunning());
    EXPECT_FALSE(screen->locationManager()->isUpdatingLocation());
    EXPECT_FALSE(screen->qImage().isFull());

    screen->viewWillAppear(false); // the viewer closed
    EXPECT_TRUE(screen->session()->isRunning());
    EXPECT_TRUE(screen->locationManager()->isUpdatingLocation());
    EXPECT_FALSE(screen->torchButton()->isHidden());
    window.setRootViewController(nullptr);
}

TEST_F(LumivueViewControllerTest, WithoutALocationSourceTheScreenWorksAndReportsNoPosition)
{
    platform::LocationManager::configure(std::nullopt, platform::LocationManager::SystemSource::Ignore);
    analytics::TallyAPI::startSession(QStringLiteral("KEY"));
    auto screen = makeScreen();
    screen->view();
    EXPECT_EQ(screen->locationManager(), nullptr);
    screen->viewWillAppear(false);
    screen->viewWillDisappear(false);
    EXPECT_EQ(m_store->current().latitude, 0.0);
    EXPECT_FALSE(screen->session()->isRunning());
}

TEST_F(LumivueViewControllerTest, UnloadingReloadingAndDestructionStopAndRebuildEverything)
{
    auto screen = makeScreen();
    screen->view();
    const auto firstSession = screen->session();
    ASSERT_TRUE(screen->unloadView());
    EXPECT_TRUE(logLines().contains(QStringLiteral("LumivueViewController viewDidUnload")));
    EXPECT_EQ(screen->bEnlight(), nullptr);
    EXPECT_EQ(screen->controllHUDView(), nullptr);
    EXPECT_FALSE(screen->isTimerThreadRunning());
    EXPECT_FALSE(firstSession->isRunning());
    EXPECT_FALSE(Device::current().isGeneratingDeviceOrientationNotifications());
    // With the view gone, a turn reaches nothing.
    Device::current().setOrientation(3);
    Device::current().setOrientation(1);

    screen->view();
    EXPECT_EQ(optionButtonsOn(*screen->controllHUDView()), 3);
    EXPECT_EQ(screen->bEnlight()->superview(), screen->controllHUDView());
    EXPECT_TRUE(screen->session()->isRunning());
    EXPECT_TRUE(screen->isTimerThreadRunning());
    // The new chooser drives the new slider.
    ASSERT_TRUE(screen->bEnlight()->chooseItemForScript(1));
    EXPECT_FALSE(screen->sliderNVLevel()->isHidden());
    // One observer, not two: a turn animates the new buttons once.
    Device::current().setOrientation(3);
    EXPECT_EQ(
        platform::Animator::instance().runningAnimations().count(QStringLiteral("chanheOrientation")), 1);

    // Destroyed, it logs, stops everything and leaves no observer behind.
    screen.reset();
    EXPECT_TRUE(logLines().contains(QStringLiteral("LumivueViewController dealoc")));
    EXPECT_FALSE(Device::current().isGeneratingDeviceOrientationNotifications());
    // A notification after the controller is gone reaches nothing (the sanitizers would see it).
    platform::NotificationCenter::defaultCenter().post(
        Device::orientationDidChangeNotification, &Device::current());
}

// Each control in turn, on one screen: what it does to the scope, and whether it clicks. The
// choosers and the toggles click; the sliders and the camera switch are silent.
TEST_F(LumivueViewControllerTest, EachControlDrivesTheScopeAndClicksOrStaysSilent)
{
    auto screen = makeScreen();
    screen->view();
    const auto tap = [](platform::Control* control) {
        control->sendActionsForControlEvents(platform::ControlEventTouchUpInside);
    };
    auto& s = *screen;
    int levelBefore = 0;
    const struct {
        const char* what;
        std::function<void()> act;
        int clicks;
        std::function<bool()> holds;
    } rows[] = {
        { "Enlight Manual", [&] { s.bEnlight()->chooseItemForScript(1); }, 1,
            [&] { return s.scopeNightVisionMode() == 2 && !s.sliderNVLevel()->isHidden(); } },
        { "level slider", [&] { s.sliderNVLevel()->slideForScript(40); }, 0,
            [&] { return s.scopeNightVisionLevel() == 40; } },
        { "Color GREEN", [&] { s.bColorSpace()->chooseItemForScript(1); }, 1,
            [&] { return s.scopeNightVisionColorFilter() == 1; } },
        { "Enlight Auto hides the level slider", [&] { s.bEnlight()->chooseItemForScript(0); }, 1,
            [&] { return s.scopeNightVisionMode() == 1 && s.sliderNVLevel()->isHidden(); } },
        { "zoom narrows the scope's window", [&] { s.sliderZoom()->slideForScript(0.5f); }, 0,
            [&] { return s.settings().zoom() == 0.5f; } },
        { "Enlight Off", [&] { s.bEnlight()->chooseItemForScript(2); }, 1,
            [&] { return s.scopeNightVisionMode() == 0; } },
        { "an unknown Enlight item keeps Off", [&] { s.enlightChange(7); }, 1,
            [&] { return s.scopeNightVisionMode() == 0; } },
        { "the level acts only in manual mode",
            [&] {
                levelBefore = s.scopeNightVisionLevel();
                s.sliderNVAction(levelBefore + 30.0f);
            },
            0, [&] { return s.scopeNightVisionLevel() == levelBefore; } },
        { "grid", [&] { tap(s.NVButton()); }, 1, [] { return true; } },
        { "night mode", [&] { tap(s.denoiseButton()); }, 1, [&] { return s.settings().isNightMode(); } },
        { "camera switch", [&] { tap(s.cameraButton()); }, 0, [] { return true; } },
    };
    for (const auto& row : rows) {
        const int before = platform::SystemSound::playCount();
        row.act();
        EXPECT_EQ(platform::SystemSound::playCount() - before, row.clicks) << row.what;
        EXPECT_TRUE(row.holds()) << row.what;
    }
}

// The grid toggle never shows a switch that cannot work: with one camera and no torch both stay
// hidden.
TEST_F(LumivueViewControllerTest, TheGridToggleHidesAndShowsOnlyTheSideControlsThatWork)
{
    auto sides = [](LumivueViewController& screen) {
        return std::vector<bool> { screen.controllHUDView()->isHidden(), screen.torchButton()->isHidden(),
            screen.cameraButton()->isHidden(), screen.denoiseButton()->isHidden(),
            screen.takePictureButton()->isHidden() };
    };
    std::vector<std::shared_ptr<platform::StreamCaptureDevice>> devices {
        std::make_shared<platform::StreamCaptureDevice>(
            QStringLiteral("Lone Camera"), platform::CaptureDevicePosition::Back, false, m_frameClock, 0)
    };
    auto source = platform::ImageFileFrameSource::open(
        QStringLiteral(LUMIVUE_SOURCE_DIR "/assets/samples/dim-street.png"));
    ASSERT_TRUE(source);
    LumivueViewController lone(
        std::make_shared<platform::StreamBackend>(std::move(devices), source.value(), m_frameClock));
    lone.view();
    lone.viewWillAppear(false);
    EXPECT_EQ(sides(lone), (std::vector<bool> { false, true, true, false, false }));
    lone.changeScopeGrid();
    EXPECT_EQ(sides(lone), (std::vector<bool> { true, true, true, true, false }));
    lone.changeScopeGrid();
    EXPECT_EQ(sides(lone), (std::vector<bool> { false, true, true, false, false }));
}

} // namespace

} // namespace ui::test
