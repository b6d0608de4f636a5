// Night mode on the camera screen: the toggle, and the filter starting afresh whenever the
// picture it has averaged is no longer the scene. The camera is stopped, so the only frames the
// pipeline sees are the test's own, handed to it as the frame queue would.

#include <cstring>
#include <functional>

#include <QImage>

#include "ScreenTestSupport.h"
#include "platform/camera/SampleBuffer.h"
#include "platform/camera/SensorNoise.h"
#include "support/TestNames.h"
#include "ui/LumivueViewController.h"

namespace ui::test {

namespace {

bool sameBytes(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return false;
    for (int y = 0; y < a.height(); ++y)
        if (std::memcmp(a.constScanLine(y), b.constScanLine(y), std::size_t(a.width()) * 4) != 0)
            return false;
    return true;
}

class NightModeScreen : public ScreenTest {
protected:
    void SetUp() override
    {
        ScreenTest::SetUp();
        m_harness = std::make_unique<ScreenHarness>(syntheticCameras());
        m_screen = &m_harness->screen();
        m_screen->viewWillDisappear(); // no camera frames from here on
        // Without the gain the scope's window holds exactly what the filter made of it.
        m_harness->choose("bEnlight", 2);
    }
    void TearDown() override
    {
        m_harness.reset();
        ScreenTest::TearDown();
    }

    // The next frame of a still grey scene with sensor noise, as it comes from the camera.
    QImage nextFrame()
    {
        static const platform::SensorNoise noise(8, 0, 9);
        QImage frame(480, 360, QImage::Format_ARGB32_Premultiplied);
        frame.fill(qRgb(70, 70, 70));
        return noise.apply(frame, m_frames++);
    }
    // The frame through the preview road: what the scope shows of it.
    QImage preview(const QImage& frame)
    {
        auto sample = platform::SampleBuffer::fromImage(frame);
        return m_screen->pipeline().quartzImageFromSampleBuffer(sample.value(), true);
    }
    // Frames until the filter holds a settled average.
    void settle()
    {
        for (int i = 0; i < 10; ++i)
            preview(nextFrame());
    }

    std::unique_ptr<ScreenHarness> m_harness;
    LumivueViewController* m_screen { nullptr }; // owned by the harness
    std::uint64_t m_frames { 0 };
};

struct ResetRow {
    const char* name;
    std::function<void(ScreenHarness&)> act;
    bool resets;
};
using testing_support::PrintTo;

class NightModeReset : public NightModeScreen, public ::testing::WithParamInterface<ResetRow> { };

} // namespace

// After a reset the next frame is shown exactly as it came (and starts a new average); without
// one it is blended with the scene before, which after the change would be another scene.
TEST_P(NightModeReset, TheFilterStartsAfreshWhenTheSceneChanges)
{
    m_harness->tap("denoiseButton");
    ASSERT_TRUE(m_screen->settings().isNightMode());
    settle();
    GetParam().act(*m_harness);
    const QImage frame = nextFrame();
    const QImage shown = preview(frame);
    ASSERT_EQ(shown.size(), frame.size());
    EXPECT_EQ(sameBytes(shown, frame), GetParam().resets);
}

INSTANTIATE_TEST_SUITE_P(Changes, NightModeReset,
    ::testing::Values(ResetRow { "CameraSwitch", [](ScreenHarness& h) { h.tap("cameraButton"); }, true },
        ResetRow { "Zoom", [](ScreenHarness& h) { h.slide("sliderZoom", 0.3); }, true },
        // Off for a moment: switched on again it must not bring back what it averaged before.
        ResetRow { "OffAndOnAgain",
            [](ScreenHarness& h) {
                h.tap("denoiseButton");
                QImage dark(480, 360, QImage::Format_ARGB32_Premultiplied);
                dark.fill(qRgb(10, 10, 10));
                auto sample = platform::SampleBuffer::fromImage(dark);
                h.screen().pipeline().quartzImageFromSampleBuffer(sample.value(), true);
                h.tap("denoiseButton");
            },
            true },
        // It does not change the picture the filter sees.
        ResetRow { "ColorFilter", [](ScreenHarness& h) { h.choose("bColorSpace", 0); }, false }),

    [](const auto& row) { return std::string(row.param.name); });

// --denoise switches night mode on before the screen loads: the toggle shows it from the start,
// to the eye and to a screen reader.
TEST_F(NightModeScreen, AToggleBuiltWithNightModeOnShowsItOn)
{
    const auto toggleArt
        = [](ScreenHarness& h) { return h.item("denoiseButton")->property("art").toString(); };
    EXPECT_EQ(toggleArt(*m_harness), QStringLiteral("nightMode-off"));
    ScreenHarness startedOn(nullptr, {}, [](LumivueViewController& s) { s.settings().setNightMode(true); });
    EXPECT_EQ(toggleArt(startedOn), QStringLiteral("nightMode-on"));
}

} // namespace ui::test
