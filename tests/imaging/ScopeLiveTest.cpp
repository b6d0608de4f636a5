// The scope on the live synthetic camera, driven by its own threads and the event loop.

#include "ScopeTestSupport.h"
#include "platform/camera/CameraSource.h"
#include "support/WaitUntil.h"

using namespace scopetest;

namespace {

// Runs the event loop until `done`, checked every few milliseconds, or a generous limit.
bool runUntil(const std::function<bool()>& done)
{
    return testing_support::waitUntil(done, std::chrono::minutes(2));
}

} // namespace

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
        scope->drawPending();
        return scope->pictureDraws >= 25 && scope->overlayDraws >= 10 && step >= 200;
    });
    EXPECT_TRUE(done);
    scope.reset(); // stops and joins every thread while frames still flow
}
