// Turning the device: the buttons turned in place by each orientation's angle, the panel
// re-anchored, and the night-mode toggle clear of everything in every orientation.

#include <cmath>
#include <numbers>

#include "ScreenTestSupport.h"
#include "platform/ui/Button.h"
#include "platform/ui/Slider.h"
#include "ui/HUDView.h"
#include "ui/LumivueViewController.h"
#include "ui/OptionButton.h"

namespace ui::test {

namespace {

using platform::Device;

class OrientationTest : public ScreenTest { };

// Laying the choosers out again makes no second set and keeps an open chooser open.
TEST_F(OrientationTest, ARepeatedPlacementMakesNoSecondSetAndKeepsAnOpenChooserOpen)
{
    LumivueViewController screen(syntheticCameras());
    screen.view();
    screen.viewWillAppear(false);
    OptionButton* enlight = screen.bEnlight();
    enlight->setFrame(QRectF(40, 40, enlight->frameExpanded().width(), 32));
    screen.updateOptionButtonVisibility();
    EXPECT_EQ(screen.bEnlight(), enlight);
    EXPECT_EQ(enlight->frame(), QRectF(8, 8, 214, 32));
    EXPECT_EQ(screen.controllHUDView()->subviews().size(), 3u);
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
    const std::vector<platform::Button*> turning { screen.NVButton(), screen.cameraButton(),
        screen.denoiseButton(), screen.captureButton(), screen.takePictureButton() };
    std::vector<QPointF> centres;
    for (const platform::Button* button : turning)
        centres.push_back(button->center());
    Device::current().setOrientation(3);
    m_animationClock.advance(0.6);
    Device::current().setOrientation(GetParam().orientation);
    m_animationClock.advance(0.6);

    const bool quarterTurn = std::abs(std::sin(GetParam().angle)) > 0.5;
    // The panel turns about its top-left corner: the same corner, its sides swapped on a quarter turn.
    EXPECT_EQ(screen.controllHUDView()->frame().toRect(),
        QRectF(panel.topLeft(), quarterTurn ? panel.size().transposed() : panel.size()).toRect());

    // The buttons are drawn turned in place; the preview and the sliders stay as they are.
    for (std::size_t i = 0; i < turning.size(); ++i) {
        const QTransform drawn = turning[i]->presentationTransform();
        EXPECT_NEAR(drawn.m11(), std::cos(GetParam().angle), 1e-5);
        EXPECT_NEAR(drawn.m12(), std::sin(GetParam().angle), 1e-5)
            << turning[i]->accessibilityName().toStdString();
        EXPECT_EQ(turning[i]->center(), centres[i]);
    }
    EXPECT_TRUE(
        screen.previewView()->transform().isIdentity() && screen.sliderZoom()->transform().isIdentity());
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
        = { { 1, 0 }, { 2, 2 * quarter }, { 3, quarter }, { 4, -quarter }, { 5, 0 } }; // 5: flat
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
