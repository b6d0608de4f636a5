// Turning the device: the buttons turned in place over 0.5 s by each orientation's angle, the
// panel re-anchored, and the night-mode toggle clear of everything in every orientation.

#include <cmath>
#include <numbers>

#include "ScreenTestSupport.h"
#include "platform/ui/Button.h"
#include "platform/ui/Slider.h"
#include "support/RectNear.h"
#include "ui/HUDView.h"
#include "ui/LumivueViewController.h"
#include "ui/OptionButton.h"

namespace ui::test {

namespace {

using platform::Device;
using testing_support::rectNear;

// The angle a transform turns by, clockwise positive on a y-down screen.
double angleOf(const QTransform& t)
{
    return std::atan2(t.m12(), t.m11());
}

class OrientationTest : public ScreenTest {
protected:
    void SetUp() override
    {
        ScreenTest::SetUp();
        m_screen = std::make_unique<LumivueViewController>(syntheticCameras());
        m_screen->view();
        m_screen->viewWillAppear(false);
    }
    void TearDown() override
    {
        m_screen.reset();
        ScreenTest::TearDown();
    }
    std::vector<platform::Button*> turningButtons() const
    {
        return { m_screen->captureButton(), m_screen->cameraButton(), m_screen->takePictureButton(),
            m_screen->NVButton() };
    }
    std::unique_ptr<LumivueViewController> m_screen;
};

TEST_F(OrientationTest, LandscapeLeftTurnsTheFourButtonsInPlaceOverHalfASecond)
{
    std::vector<QPointF> centres;
    for (platform::Button* button : turningButtons())
        centres.push_back(button->center());
    const QRectF shutterFrame = m_screen->takePictureButton()->frame();

    Device::current().setOrientation(3);
    EXPECT_TRUE(
        platform::Animator::instance().runningAnimations().contains(QStringLiteral("chanheOrientation")));
    m_animationClock.advance(0.25);
    const double midway = angleOf(m_screen->NVButton()->presentationTransform());
    EXPECT_GT(midway, 0.1);
    EXPECT_LT(midway, std::numbers::pi / 2 - 0.1);
    m_animationClock.advance(0.26);
    EXPECT_FALSE(
        platform::Animator::instance().runningAnimations().contains(QStringLiteral("chanheOrientation")));

    const auto buttons = turningButtons();
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        EXPECT_NEAR(angleOf(buttons[i]->presentationTransform()), std::numbers::pi / 2, 1e-5) << i;
        EXPECT_EQ(buttons[i]->center(), centres[i]) << i;
    }
    // The shutter is round, so turned about its centre it covers the same square.
    EXPECT_NEAR(m_screen->takePictureButton()->frame().left(), shutterFrame.left(), 1e-3);
    EXPECT_NEAR(m_screen->takePictureButton()->frame().width(), shutterFrame.width(), 1e-3);
    // The preview and the sliders stay as they are.
    EXPECT_TRUE(m_screen->previewView()->transform().isIdentity());
    EXPECT_TRUE(m_screen->sliderZoom()->transform().isIdentity());
}

TEST_F(OrientationTest, ARepeatedPlacementMakesNoSecondSetAndKeepsAnOpenChooserOpen)
{
    OptionButton* enlight = m_screen->bEnlight();
    m_screen->bEnlight()->setFrame(QRectF(40, 40, m_screen->bEnlight()->frameExpanded().width(), 32));
    m_screen->updateOptionButtonVisibility();
    EXPECT_EQ(m_screen->bEnlight(), enlight);
    EXPECT_EQ(m_screen->bEnlight()->frame(), QRectF(8, 8, 214, 32));
    EXPECT_EQ(m_screen->controllHUDView()->subviews().size(), 3u);
}

struct Placement {
    int idiom;
    int orientation;
    double angle; // the buttons' turn, clockwise on the screen
};
void PrintTo(const Placement& p, std::ostream* os)
{
    *os << (p.idiom == Device::IdiomTablet ? "tablet" : "phone") << " orientation " << p.orientation;
}

class NightToggleLayout : public ScreenTest, public ::testing::WithParamInterface<Placement> { };

// The frame a view covers on the screen (its superviews are not turned).
QRectF onScreen(const platform::View& view)
{
    QRectF frame = view.frame();
    for (const platform::View* parent = view.superview(); parent; parent = parent->superview())
        frame.translate(parent->frame().topLeft());
    return frame;
}

// Every orientation, reached from landscape, turns the buttons by its angle (flat and unknown ones
// leave them upright) and the panel about its top-left corner; the night-mode toggle then covers
// neither the scope nor any other control, with the panel turned and its widest chooser open.
TEST_P(NightToggleLayout, OverlapsNeitherTheScopeNorAnotherControl)
{
    useIdiom(GetParam().idiom);
    LumivueViewController screen(syntheticCameras());
    platform::View& root = screen.view();
    screen.viewWillAppear(false);
    screen.bEnlight()->setFrame(
        QRectF(screen.bEnlight()->frame().topLeft(), screen.bEnlight()->frameExpanded().size()));
    const QRectF panel = screen.controllHUDView()->frame();
    Device::current().setOrientation(3);
    m_animationClock.advance(0.6);
    Device::current().setOrientation(GetParam().orientation);
    m_animationClock.advance(0.6);

    const bool quarterTurn = std::abs(std::sin(GetParam().angle)) > 0.5;
    EXPECT_TRUE(rectNear(screen.controllHUDView()->frame(),
        QRectF(panel.topLeft(), quarterTurn ? panel.size().transposed() : panel.size())));

    for (const platform::Button* button :
        { screen.NVButton(), screen.cameraButton(), screen.denoiseButton() }) {
        EXPECT_NEAR(button->transform().m11(), std::cos(GetParam().angle), 1e-6);
        EXPECT_NEAR(button->transform().m12(), std::sin(GetParam().angle), 1e-6)
            << button->accessibilityName().toStdString();
    }
    const QRectF toggle = onScreen(*screen.denoiseButton());
    EXPECT_TRUE(root.bounds().contains(toggle));
    EXPECT_FALSE(toggle.intersects(screen.scopeGridLayer()->frame())) << "the scope";
    const std::pair<const char*, const platform::View*> others[] = {
        { "panel", screen.controllHUDView() },
        { "torch", screen.torchButton() },
        { "camera switch", screen.cameraButton() },
        { "bottom bar", screen.controllView() },
        { "level slider", screen.sliderNVLevel() },
        { "zoom slider", screen.sliderZoom() },
    };
    for (const auto& [name, view] : others)
        EXPECT_FALSE(toggle.intersects(onScreen(*view))) << name;
}

std::vector<Placement> everyPlacement()
{
    std::vector<Placement> rows;
    constexpr double quarter = std::numbers::pi / 2;
    const std::pair<int, double> turns[]
        = { { 0, 0 }, { 1, 0 }, { 2, 2 * quarter }, { 3, quarter }, { 4, -quarter }, { 5, 0 }, { 6, 0 } };
    for (const int idiom : { Device::IdiomPhone, Device::IdiomTablet })
        for (const auto& [orientation, angle] : turns)
            rows.push_back({ idiom, orientation, angle });
    return rows;
}

INSTANTIATE_TEST_SUITE_P(
    Screens, NightToggleLayout, ::testing::ValuesIn(everyPlacement()), [](const auto& row) {
        return std::string(row.param.idiom == Device::IdiomTablet ? "Tablet" : "Phone") + "_Orientation"
            + std::to_string(row.param.orientation);
    });

} // namespace

} // namespace ui::test
