// The scope square shows exactly the picture under it: rendered pixels of the live preview and
// the scope layers, compared, for both cameras on the smallest and largest preset; the zoomed crop decoded;
// and the stand-in cameras' front picture against their back picture.

#include <array>
#include <cmath>
#include <tuple>

#include <QPainter>
#include <QTemporaryDir>

#include "ScopeTestSupport.h"
#include "platform/camera/CameraSource.h"
#include "support/TestNames.h"

using namespace scopetest;
using platform::CaptureDevicePosition;

namespace {

using testing_support::PrintTo;

constexpr double kScreenPixelsPerWave = 160;

// A loaded phone scope at scale 2 on scripted cameras, enhancement off so the scope shows the
// frame as it is.
struct AlignedScope : SteppedScope {
    explicit AlignedScope(ScriptedCamera scripted)
        : SteppedScope(std::move(scripted))
    {
        scope.settings.setScopeNightVisionMode(imaging::NightVisionMode::Off);
        scope.settings.setScopeNightVisionColorFilter(imaging::ColorFilter::None);
        scope.loadScope();
        scope.pipeline.stopTimerThread(); // ticks are driven by hand below
        settle(); // the first frame, taken as the session starts
    }
    explicit AlignedScope(PatternSource::Painter painter, QSize fixedSize = {})
        : AlignedScope(ScriptedCamera(std::make_shared<PatternSource>(std::move(painter), fixedSize)))
    {
    }

    // Lets one frame through to the slot and the preview, with the geometry settled on it.
    QImage showFrame()
    {
        scope.qImage().take();
        step();
        scope.pipeline.timerTick(); // recomputes the geometry if stale
        scope.drawPending(); // draws with the radius used for the frame
        scope.qImage().take();
        step(); // a frame processed with the settled radius
        scope.pipeline.timerTick();
        return renderScreen(scope);
    }
};

QImage withoutScope(TestScope& scope)
{
    const bool picture = scope.showScopeImage, grid = scope.showScopeGrid;
    scope.showScopeImage = scope.showScopeGrid = false;
    QImage image = renderScreen(scope);
    scope.showScopeImage = picture;
    scope.showScopeGrid = grid;
    return image;
}

// Mean absolute difference per channel over a square of device pixels.
double meanDifference(const QImage& a, const QImage& b, const QRect& square)
{
    double total = 0;
    for (int y = square.top(); y <= square.bottom(); ++y)
        for (int x = square.left(); x <= square.right(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            total += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q))
                + std::abs(qBlue(p) - qBlue(q));
        }
    return total / (3.0 * square.width() * square.height());
}

// The scope's square in device pixels, a pixel in from its edge (the square's side is rounded
// to whole frame pixels, so its last screen pixel may show the next frame pixel).
const QRect kInnerSquare(120 + 2, 280 + 2, 400 - 4, 400 - 4);

using AlignmentCase = std::tuple<bool /*front*/, platform::SessionPreset>;
class ScopeAlignment : public ::testing::TestWithParam<AlignmentCase> { };

TEST_P(ScopeAlignment, TheScopeSquareShowsThePreviewBeneathIt)
{
    const auto [front, preset] = GetParam();
    AlignedScope s([](QSize size, int) {
        const float scale = imaging::ScopeGeometry::aspectFillScale(320, 480, 2, size.width(), size.height());
        return waveFrame(size, kScreenPixelsPerWave / scale);
    });
    s.scope.presetChange(int(preset)); // the chooser's items are in the presets' order
    if (front)
        s.scope.changeCamera();
    ASSERT_EQ(s.scope.camera.previewLayer()->isMirrored(), front);

    s.scope.showScopeGrid = false; // compare the picture, not the instruments
    const QImage screen = s.showFrame();
    const QImage preview = withoutScope(s.scope);
    ASSERT_EQ(screen.size(), QSize(640, 960));
    const double aligned = meanDifference(screen, preview, kInnerSquare);
    EXPECT_LT(aligned, 4.0);

    // The comparison sees misplacement: the same scope against the preview moved by 8 screen
    // pixels (4 points), or mirrored, differs by far more.
    const QImage shifted = preview.copy(QRect(8, 0, 640, 960));
    EXPECT_GT(meanDifference(screen, shifted, kInnerSquare), 2 * aligned + 2);
    const QImage mirrored = preview.mirrored(true, false);
    EXPECT_GT(meanDifference(screen, mirrored, kInnerSquare), 20.0);
}

std::string alignmentCaseName(const ::testing::TestParamInfo<ScopeAlignment::ParamType>& row)
{
    const char* const presetNames[] = { "Low", "Medium", "High", "Photo" };
    return std::string(std::get<0>(row.param) ? "Front" : "Back") + presetNames[int(std::get<1>(row.param))];
}

// The smallest and the largest frame: the scale runs from far above one to below it.
INSTANTIATE_TEST_SUITE_P(BothCamerasTwoPresets, ScopeAlignment,
    ::testing::Combine(
        ::testing::Bool(), ::testing::Values(platform::SessionPreset::Low, platform::SessionPreset::Photo)),
    alignmentCaseName);

// The frame pixels the scope's square shows at its top left, top right and bottom left corners:
// the crop and how it is turned.
std::array<QPoint, 3> scopeCorners(TestScope& scope)
{
    scope.drawPending();
    const QImage& square = scope.scopeImage; // the picture square alone
    return { decodeCoordinate(square.pixel(0, 0)), decodeCoordinate(square.pixel(399, 0)),
        decodeCoordinate(square.pixel(0, 399)) };
}

struct ZoomRow {
    const char* name;
    bool front;
    float zoom;
    std::array<QPoint, 3> corners; // top left, top right, bottom left
};

class ScopeZoom : public ::testing::TestWithParam<ZoomRow> { };

// The square shows the central 2 × trunc(133 × (1 - zoom)) frame pixels, turned a quarter for the
// upright phone: the frame's columns run down the screen, its first row on the right for the back
// camera and on the left for the mirrored front one.
TEST_P(ScopeZoom, ShowsTheCentralCropTurnedForTheCamera)
{
    const ZoomRow row = GetParam();
    AlignedScope s([](QSize size, int) { return coordinateFrame(size); }, QSize(640, 480));
    if (row.front)
        s.scope.changeCamera();
    s.showFrame();
    ASSERT_EQ(s.scope.geometry.scopeScreenScaledRadius(), 133);
    s.scope.settings.setZoom(row.zoom);
    s.showFrame();
    EXPECT_EQ(scopeCorners(s.scope), row.corners);
}

INSTANTIATE_TEST_SUITE_P(Table, ScopeZoom,
    ::testing::Values(ZoomRow { "BackHalf", false, 0.5f, { { { 254, 305 }, { 254, 174 }, { 385, 305 } } } },
        ZoomRow { "FrontNone", true, 0.0f, { { { 187, 107 }, { 187, 372 }, { 452, 107 } } } }),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ScopeZoom, AnEmptyCropIsLoggedAndTheStreamGoesOn)
{
    LogCapture log;
    AlignedScope s([](QSize size, int) { return coordinateFrame(size); }, QSize(640, 480));
    s.scope.settings.setZoom(1.0f);
    s.showFrame();
    EXPECT_TRUE(log.lines().contains(QStringLiteral("!!!Can't get scopeImage!!!")));
    s.scope.settings.setZoom(0.0f); // the back camera's unzoomed crop again
    s.showFrame();
    EXPECT_EQ(
        scopeCorners(s.scope), (std::array<QPoint, 3> { { { 187, 372 }, { 187, 107 }, { 452, 372 } } }));
}

// An upright portrait photo in four coloured quarters with a gentle wave, so that its corners
// tell up from down and left from right.
QImage quarteredPhoto()
{
    QImage photo = waveFrame(QSize(300, 400), 90);
    QPainter painter(&photo);
    painter.setOpacity(0.6);
    painter.fillRect(0, 0, 150, 200, Qt::red);
    painter.fillRect(150, 0, 150, 200, Qt::green);
    painter.fillRect(0, 200, 150, 200, Qt::blue);
    painter.fillRect(150, 200, 150, 200, Qt::yellow);
    return photo;
}

// The screen in blocks of 16 × 16 device pixels: sensor noise averages away, the scene stays.
QImage blocks(const QImage& screen)
{
    return screen.scaled(screen.size() / 16, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

enum class StandIn { Synthetic, ImageFile };
class StandInFrontCamera : public ::testing::TestWithParam<StandIn> { };

// A front camera is a mirror: upright, left and right swapped. Both stand-ins show on the front
// camera, preview and scope alike, the back camera's screen of the same scene mirrored.
TEST_P(StandInFrontCamera, ShowsTheBackCamerasScreenMirroredLeftToRight)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("quarters.png"));
    ASSERT_TRUE(quarteredPhoto().save(path));
    const QString text
        = GetParam() == StandIn::ImageFile ? QStringLiteral("image:") + path : QStringLiteral("synthetic");
    auto clock = std::make_shared<platform::ManualFrameClock>();
    auto backend = platform::CameraSource::parse(text).value().makeBackend(clock);
    ASSERT_TRUE(backend) << qPrintable(backend.error());
    AlignedScope s(ScriptedCamera(backend.value(), clock));
    s.scope.showScopeGrid = false; // the instruments are never mirrored
    const QImage back = s.showFrame();
    s.scope.changeCamera();
    ASSERT_TRUE(s.scope.camera.previewLayer()->isMirrored());
    const QImage front = s.showFrame();

    const QRect all(0, 0, 40, 60);
    const double mirrored = meanDifference(blocks(front), blocks(back.mirrored(true, false)), all);
    EXPECT_LT(mirrored, 2.0);
    EXPECT_GT(meanDifference(blocks(front), blocks(back.mirrored(false, true)), all), mirrored + 4.0)
        << "upside down would look alike: the scene is too plain to tell";
    if (GetParam() == StandIn::ImageFile) { // the photo's red top-left quarter
        EXPECT_GT(qRed(back.pixel(60, 60)), 150);
        EXPECT_GT(qRed(front.pixel(640 - 60, 60)), 150);
        EXPECT_GT(qGreen(front.pixel(60, 60)), 150);
    }
}

INSTANTIATE_TEST_SUITE_P(BothStandIns, StandInFrontCamera,
    ::testing::Values(StandIn::Synthetic, StandIn::ImageFile),
    [](const auto& row) { return std::string(row.param == StandIn::Synthetic ? "Synthetic" : "ImageFile"); });

} // namespace
