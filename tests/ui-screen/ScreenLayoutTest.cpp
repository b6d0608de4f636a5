// The camera screen laid out for the window it is given, from a small phone to a landscape
// desktop, upright and turned: every control inside the window, clear of the scope and of each
// other, the buttons turned in place and the panel turned about its top-left corner.

#include <cmath>
#include <vector>

#include "ScreenTestSupport.h"

namespace ui::test {

namespace {

using platform::Device;

struct Placement {
    int idiom;
    QSize window; // points; empty: the device class's screen
    int orientation;
    double angle; // degrees, clockwise
};
void PrintTo(const Placement& p, std::ostream* os)
{
    *os << (p.idiom == Device::IdiomTablet ? "tablet " : "phone ") << p.window.width() << "x"
        << p.window.height() << " orientation " << p.orientation;
}

class ScreenLayout : public ScreenTest, public ::testing::WithParamInterface<Placement> { };

TEST_P(ScreenLayout, EveryControlInsideTheWindowClearOfTheScopeAndOfEachOther)
{
    const Placement& p = GetParam();
    useIdiom(p.idiom);
    ScreenHarness h(nullptr, p.window);
    const QRectF window(
        QPointF(), p.window.isEmpty() ? platform::Screen::main().bounds().size() : QSizeF(p.window));
    ASSERT_EQ(h.sceneRect("previewView"), window);
    // The widest chooser open, as a user may leave it.
    h.tap(h.shown("bPreset") ? "bPreset" : "bColorSpace");
    const QRectF panel = h.sceneRect("controllHUDView");
    const char* const turning[]
        = { "NVButton", "cameraButton", "denoiseButton", "captureButton", "takePictureButton" };
    std::vector<QPointF> centres;
    for (const char* name : turning)
        centres.push_back(h.sceneRect(name).center());
    if (p.orientation != 1) {
        Device::current().setOrientation(p.orientation);
        runEvents(650); // the turns take half a second
    }

    const bool quarterTurn = std::abs(std::sin(p.angle * M_PI / 180)) > 0.5;
    EXPECT_EQ(h.sceneRect("controllHUDView").toRect(),
        QRectF(panel.topLeft(), quarterTurn ? panel.size().transposed() : panel.size()).toRect());
    for (std::size_t i = 0; i < std::size(turning); ++i) {
        EXPECT_NEAR(std::remainder(h.item(turning[i])->rotation() - p.angle, 360), 0, 1e-3) << turning[i];
        EXPECT_EQ(h.sceneRect(turning[i]).center().toPoint(), centres[i].toPoint()) << turning[i];
    }

    const QRectF scope = h.sceneRect("scopeGrid");
    EXPECT_GE(scope.width(), 64);
    EXPECT_EQ(scope.center(), window.center());
    const char* const controls[] = { "controllHUDView", "torchButton", "cameraButton", "denoiseButton",
        "timerButton", "captureModeButton", "levelCaption", "sliderNVLevel", "zoomCaption", "sliderZoom",
        "controllView" };
    std::vector<QRectF> placed;
    for (const char* name : controls) {
        const QRectF rect = h.sceneRect(name);
        EXPECT_TRUE(window.contains(rect)) << name << " is cut off";
        // Turned a quarter, the panel's column of choosers reaches down over the scope's corner, as
        // it always has; everything else stays clear of the scope.
        if (!(quarterTurn && QLatin1String(name) == QLatin1String("controllHUDView"))) {
            EXPECT_FALSE(rect.intersects(scope)) << name << " covers the scope";
        }
        for (std::size_t i = 0; i < placed.size(); ++i)
            EXPECT_FALSE(rect.intersects(placed[i])) << name << " covers " << controls[i];
        placed.push_back(rect);
    }
    for (const char* name : { "captureButton", "takePictureButton", "NVButton" })
        EXPECT_TRUE(h.sceneRect("controllView").contains(h.sceneRect(name))) << name;
}

std::vector<Placement> everyPlacement()
{
    std::vector<Placement> rows;
    const std::pair<int, double> turns[] = { { 2, 180 }, { 3, 90 }, { 4, -90 }, { 5, 0 } }; // 5: flat
    for (const int idiom : { Device::IdiomPhone, Device::IdiomTablet }) {
        for (const auto& [orientation, angle] : turns)
            rows.push_back({ idiom, {}, orientation, angle });
        for (const QSize window :
            { QSize(320, 480), QSize(360, 640), QSize(360, 720), QSize(1280, 720), QSize(1920, 1080) }) {
            rows.push_back({ idiom, window, 1, 0 });
            rows.push_back({ idiom, window, 3, 90 });
        }
    }
    return rows;
}

INSTANTIATE_TEST_SUITE_P(Windows, ScreenLayout, ::testing::ValuesIn(everyPlacement()), [](const auto& row) {
    const Placement& p = row.param;
    return std::string(p.idiom == Device::IdiomTablet ? "Tablet" : "Phone")
        + (p.window.isEmpty() ? std::string("Screen")
                              : std::to_string(p.window.width()) + "x" + std::to_string(p.window.height()))
        + "_Orientation" + std::to_string(p.orientation);
});

} // namespace

} // namespace ui::test
