// The scope on the live synthetic camera, driven by its own threads and the event loop.

#include "ScopeTestSupport.h"
#include "platform/camera/CameraSource.h"
#include "support/WaitUntil.h"

using namespace scopetest;

namespace {

double meanLevel(const QImage& image, const QRect& area)
{
    double total = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            total += qRed(p) + qGreen(p) + qBlue(p);
        }
    return total / (3.0 * area.width() * area.height());
}

// Runs the event loop until `done`, checked every few milliseconds, or a generous limit.
bool runUntil(const std::function<bool()>& done)
{
    return testing_support::waitUntil(done, std::chrono::minutes(2));
}

} // namespace

TEST(ScopeLive, SyntheticSceneFillsTheScreenAndTheScopeIsBrighter)
{
    auto source = platform::CameraSource::parse(QStringLiteral("synthetic"));
    ASSERT_TRUE(source);
    auto backend = source->makeBackend();
    ASSERT_TRUE(backend);
    TestScope scope;
    scope.setCaptureBackend(backend.value());
    scope.loadScope();
    scope.camera.previewLayer()->startAutoRefresh();
    // Pictures have reached the preview and the scope once both layers have drawn.
    ASSERT_TRUE(runUntil([&] {
        return scope.scopeImageLayer()->displayCount() >= 3
            && scope.camera.previewLayer()->layer()->sublayers().front()->contents().width() > 0;
    }));
    const QImage screen = scope.previewViewLayer()->renderToImage(2);
    const double outside = meanLevel(screen, QRect(0, 0, 640, 250));
    const double inside = meanLevel(screen, QRect(220, 300, 200, 150)); // scope, clear of the numbers
    EXPECT_GT(outside, 5.0); // the dim street, not a black screen
    EXPECT_GT(inside, 2 * outside); // the automatic gain brightens it
    EXPECT_GT(scope.settings.scopeNightVisionLevel(), 0);
}

// Frames on "myQueue", ticks on the timer thread, drawing and setting changes on this thread, all
// at once; run under ThreadSanitizer this is the race check of the scope.
TEST(ScopeLive, FramesTicksAndSettingChangesAtOnce)
{
    auto source = platform::CameraSource::parse(QStringLiteral("synthetic"));
    ASSERT_TRUE(source);
    auto backend = source->makeBackend();
    ASSERT_TRUE(backend);
    auto scope = std::make_unique<TestScope>();
    scope->setCaptureBackend(backend.value());
    scope->loadScope();
    scope->camera.previewLayer()->startAutoRefresh();

    int step = 0;
    const bool done = runUntil([&] {
        switch (step++ % 8) {
        case 0:
            scope->presetChange(step % 4);
            break;
        case 1:
            scope->settings.setScopeNightVisionMode(*imaging::ScopeSettings::modeForEnlightItem(step % 3));
            break;
        case 2:
            scope->settings.setScopeNightVisionColorFilter(step % 3);
            break;
        case 3:
            scope->settings.setZoom(float(step % 5) / 10.0f);
            break;
        case 4:
            scope->camera.changeScopeTorch();
            break;
        case 5:
            if (step % 5 == 0)
                scope->changeCamera();
            break;
        case 6:
            scope->pipeline.setTakingPicture(step % 3 == 0);
            break;
        default:
            scope->orientation = 1 + step % 4;
            scope->renderer.requestOverlayRedraw();
            break;
        }
        return scope->scopeImageLayer()->displayCount() >= 25 && scope->scopeGridLayer()->displayCount() >= 10
            && step >= 200;
    });
    EXPECT_TRUE(done);
    scope.reset(); // stops and joins every thread while frames still flow
}
