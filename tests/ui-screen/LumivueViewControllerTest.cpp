// The camera screen's set-up and lifecycle: what loading builds, appearing and disappearing,
// unloading and loading again, destruction, and the controls wired to the scope.

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
#include "platform/ui/SystemSound.h"
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

TEST_F(LumivueViewControllerTest, LoadingBuildsTheCameraTheScopeAndTheControlsOfAPhone)
{
    analytics::TallyAPI::startSession(QStringLiteral("KEY"));
    auto screen = makeScreen();
    screen->view();

    ASSERT_NE(screen->session(), nullptr);
    EXPECT_TRUE(screen->session()->isRunning());
    EXPECT_TRUE(screen->isTimerThreadRunning());
    ASSERT_NE(screen->locationManager(), nullptr);
    EXPECT_TRUE(screen->locationManager()->isUpdatingLocation());
    // The first fix went to analytics.
    EXPECT_NEAR(m_store->state().latitude, 48.8584, 1e-3); // analytics keeps three decimals
    EXPECT_NEAR(m_store->state().longitude, 2.2945, 1e-3);

    EXPECT_EQ(screen->scopeNightVisionMode(), 1);
    EXPECT_EQ(screen->scopeNightVisionThread(), 100);
    EXPECT_TRUE(screen->sliderNVLevel()->isHidden());
    EXPECT_FLOAT_EQ(screen->sliderNVLevel()->value(), 1.0f);
    EXPECT_EQ(screen->scopePixelSize(), 200);
    EXPECT_EQ(screen->scopeScreenRadius(), 200);

    // Live picture at the bottom, then the picture square, then the overlay on top, both
    // centred on the full-screen preview.
    const auto& layers = screen->previewView()->layer().sublayers();
    ASSERT_EQ(layers.size(), 3u);
    EXPECT_EQ(layers[0], screen->previewLayer()->layer());
    EXPECT_EQ(layers[1], screen->scopeImageLayer());
    EXPECT_EQ(layers[2], screen->scopeGridLayer());
    EXPECT_EQ(screen->scopeGridLayer()->frame(), QRectF(60, 140, 200, 200));
    EXPECT_EQ(screen->previewView()->frame(), QRectF(0, 0, 320, 480));

    // Two synthetic cameras: the switch shows; the back camera has a torch.
    EXPECT_FALSE(screen->cameraButton()->isHidden());
    EXPECT_EQ(screen->controllHUDView()->frame().size(), QSizeF(232, 128));
    EXPECT_EQ(optionButtonsOn(*screen->controllHUDView()), 3);
}

TEST_F(LumivueViewControllerTest, EveryControlIsFoundByItsFieldName)
{
    auto screen = makeScreen();
    platform::View& root = screen->view();
    const std::pair<const char*, const platform::View*> outlets[] = {
        { "previewView", screen->previewView() },
        { "takePictureButton", screen->takePictureButton() },
        { "captureButton", screen->captureButton() },
        { "cameraButton", screen->cameraButton() },
        { "torchButton", screen->torchButton() },
        { "NVButton", screen->NVButton() },
        { "denoiseButton", screen->denoiseButton() },
        { "sliderZoom", screen->sliderZoom() },
        { "sliderNVLevel", screen->sliderNVLevel() },
        { "controllHUDView", screen->controllHUDView() },
        { "controllView", screen->controllView() },
        { "controllScreenView", screen->controllScreenView() },
        { "bEnlight", screen->bEnlight() },
        { "bColorSpace", screen->bColorSpace() },
        { "bPreset", screen->bPreset() },
    };
    for (const auto& [name, view] : outlets) {
        ASSERT_NE(view, nullptr) << name;
        EXPECT_EQ(root.findViewByAccessibilityName(QString::fromLatin1(name)), view) << name;
    }
}

TEST_F(LumivueViewControllerTest, ATabletHasTheLargeScopeAndNoPresetChooserUnlessItIgnoresTheIdiomQuery)
{
    useIdiom(Device::IdiomTablet);
    auto screen = makeScreen();
    screen->view();
    EXPECT_EQ(screen->scopePixelSize(), 600);
    EXPECT_EQ(screen->scopeScreenRadius(), 600);
    EXPECT_EQ(screen->scopeGridLayer()->frame(), QRectF(84, 212, 600, 600));
    EXPECT_EQ(screen->bPreset(), nullptr);
    EXPECT_EQ(optionButtonsOn(*screen->controllHUDView()), 2);
    EXPECT_EQ(screen->controllHUDView()->frame(), QRectF(8, 8, 222, 88));

    // A tablet that does not answer the idiom query gets the phone screen.
    Device::current().setAnswersIdiomQuery(false);
    auto silent = makeScreen();
    silent->view();
    Device::current().setAnswersIdiomQuery(true);
    EXPECT_EQ(silent->scopePixelSize(), 200);
    EXPECT_NE(silent->bPreset(), nullptr);
}

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
    EXPECT_EQ(m_store->state().latitude, 0.0);
    EXPECT_FALSE(screen->session()->isRunning());
}

TEST_F(LumivueViewControllerTest, UnloadingStopsTheCameraAndReloadingBuildsFreshControls)
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
}

TEST_F(LumivueViewControllerTest, DestructionLogsStopsEverythingAndLeavesNoObserver)
{
    auto screen = makeScreen();
    screen->view();
    EXPECT_TRUE(Device::current().isGeneratingDeviceOrientationNotifications());
    screen.reset();
    EXPECT_TRUE(logLines().contains(QStringLiteral("LumivueViewController dealoc")));
    EXPECT_FALSE(Device::current().isGeneratingDeviceOrientationNotifications());
    // A notification after the controller is gone reaches nothing (the sanitizers would see it).
    platform::NotificationCenter::defaultCenter().post(
        Device::orientationDidChangeNotification, &Device::current());
}

TEST_F(LumivueViewControllerTest, ChoosersAndSlidersDriveTheScope)
{
    auto screen = makeScreen();
    screen->view();

    ASSERT_TRUE(screen->bEnlight()->chooseItemForScript(1)); // Manual
    EXPECT_EQ(screen->scopeNightVisionMode(), 2);
    EXPECT_FALSE(screen->sliderNVLevel()->isHidden());
    ASSERT_TRUE(screen->sliderNVLevel()->slideForScript(40));
    EXPECT_EQ(screen->scopeNightVisionLevel(), 40);

    ASSERT_TRUE(screen->bColorSpace()->chooseItemForScript(1)); // GREEN
    EXPECT_EQ(screen->scopeNightVisionColorFilter(), 1);

    ASSERT_TRUE(screen->bEnlight()->chooseItemForScript(0)); // Auto hides the level slider again
    EXPECT_TRUE(screen->sliderNVLevel()->isHidden());

    ASSERT_TRUE(screen->sliderZoom()->slideForScript(0.5f));
    EXPECT_FLOAT_EQ(screen->settings().zoom(), 0.5f); // the scope's window narrows with it
}

// The Enlight and Color choosers, the grid, torch and night toggles click; the Preset chooser and the
// camera switch are silent; the slider sets the level only in manual mode.
TEST_F(LumivueViewControllerTest, EachControlClicksOrStaysSilent)
{
    auto screen = makeScreen();
    screen->view();
    const auto tap = [](platform::Control* control) {
        control->sendActionsForControlEvents(platform::ControlEventTouchUpInside);
    };
    const struct {
        const char* what;
        std::function<void()> act;
        int clicks;
    } rows[] = {
        { "Enlight Off", [&] { screen->bEnlight()->chooseItemForScript(2); }, 1 },
        { "unknown Enlight item", [&] { screen->enlightChange(7); }, 1 },
        { "Color B&W", [&] { screen->bColorSpace()->chooseItemForScript(2); }, 1 },
        { "Preset Low", [&] { screen->bPreset()->chooseItemForScript(0); }, 0 },
        { "torch", [&] { tap(screen->torchButton()); }, 1 },
        { "grid", [&] { tap(screen->NVButton()); }, 1 },
        { "night mode", [&] { tap(screen->denoiseButton()); }, 1 },
        { "camera switch", [&] { tap(screen->cameraButton()); }, 0 },
    };
    for (const auto& row : rows) {
        const int before = platform::SystemSound::playCount();
        row.act();
        EXPECT_EQ(platform::SystemSound::playCount() - before, row.clicks) << row.what;
    }
    EXPECT_EQ(screen->scopeNightVisionMode(), 0) << "an unknown item keeps Off";
    screen->sliderNVAction(30.0f);
    EXPECT_EQ(screen->scopeNightVisionLevel(), 0) << "the slider acts only in manual mode";
}

TEST_F(LumivueViewControllerTest, TheGridToggleHidesAndShowsTheSideControls)
{
    auto screen = makeScreen();
    screen->view();
    screen->NVButton()->sendActionsForControlEvents(platform::ControlEventTouchUpInside);
    EXPECT_TRUE(screen->controllHUDView()->isHidden());
    EXPECT_TRUE(screen->torchButton()->isHidden());
    EXPECT_TRUE(screen->cameraButton()->isHidden());
    EXPECT_TRUE(screen->denoiseButton()->isHidden());
    EXPECT_FALSE(screen->takePictureButton()->isHidden());

    screen->NVButton()->sendActionsForControlEvents(platform::ControlEventTouchUpInside);
    EXPECT_FALSE(screen->controllHUDView()->isHidden());
    EXPECT_FALSE(screen->torchButton()->isHidden());
    EXPECT_FALSE(screen->cameraButton()->isHidden());
    EXPECT_FALSE(screen->denoiseButton()->isHidden());
}

TEST_F(LumivueViewControllerTest, TheGridToggleNeverShowsSwitchesThatCannotWork)
{
    // One camera, no torch: showing the side controls again leaves both switches hidden.
    std::vector<std::shared_ptr<platform::StreamCaptureDevice>> devices {
        std::make_shared<platform::StreamCaptureDevice>(
            QStringLiteral("Lone Camera"), platform::CaptureDevicePosition::Back, false, m_frameClock, 0)
    };
    auto source = platform::ImageFileFrameSource::open(
        QStringLiteral(LUMIVUE_SOURCE_DIR "/assets/samples/dim-street.png"));
    ASSERT_TRUE(source);
    LumivueViewController screen(
        std::make_shared<platform::StreamBackend>(std::move(devices), source.value(), m_frameClock));
    screen.view();
    screen.viewWillAppear(false);
    EXPECT_TRUE(screen.cameraButton()->isHidden());
    EXPECT_TRUE(screen.torchButton()->isHidden());
    screen.changeScopeGrid();
    screen.changeScopeGrid();
    EXPECT_FALSE(screen.controllHUDView()->isHidden());
    EXPECT_TRUE(screen.cameraButton()->isHidden());
    EXPECT_TRUE(screen.torchButton()->isHidden());
}

TEST_F(LumivueViewControllerTest, WithoutCamerasTheScreenStillLoadsAndRenders)
{
    LumivueViewController screen(nullptr);
    platform::View& root = screen.view();
    screen.viewWillAppear(false);
    EXPECT_EQ(screen.session(), nullptr);
    EXPECT_FALSE(screen.cameraMessage().isEmpty());
    screen.viewWillDisappear(false);
    const QImage shot = root.snapshot(1);
    EXPECT_EQ(shot.size(), QSize(320, 480));
}

} // namespace

} // namespace ui::test
