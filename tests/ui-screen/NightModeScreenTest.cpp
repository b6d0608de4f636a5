// Night mode on the camera screen: the toggle, and the filter starting afresh whenever the
// picture it has averaged is no longer the scene. The camera is stopped, so the only frames the
// pipeline sees are the test's own, handed to it as the frame queue would.

#include <cstring>
#include <functional>

#include <QImage>

#include "ScreenTestSupport.h"
#include "platform/camera/SampleBuffer.h"
#include "platform/camera/SensorNoise.h"
#include "platform/ui/Button.h"
#include "platform/ui/Slider.h"
#include "support/TestNames.h"
#include "ui/LumivueViewController.h"
#include "ui/OptionButton.h"

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

void tap(platform::Control* control)
{
    control->sendActionsForControlEvents(platform::ControlEventTouchUpInside);
}

class NightModeScreen : public ScreenTest {
protected:
    void SetUp() override
    {
        ScreenTest::SetUp();
        m_screen = std::make_unique<LumivueViewController>(syntheticCameras());
        m_screen->view();
        m_screen->viewWillDisappear(false); // no camera frames from here on
        // Without the gain the scope's window holds exactly what the filter made of it.
        m_screen->bEnlight()->chooseItemForScript(2);
    }
    void TearDown() override
    {
        m_screen.reset();
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

    std::unique_ptr<LumivueViewController> m_screen;
    std::uint64_t m_frames { 0 };
};

struct ResetRow {
    const char* name;
    std::function<void(LumivueViewController&)> act;
    bool resets;
};
using testing_support::PrintTo;

class NightModeReset : public NightModeScreen, public ::testing::WithParamInterface<ResetRow> { };

} // namespace

// After a reset the next frame is shown exactly as it came (and starts a new average); without
// one it is blended with the scene before, which after the change would be another scene.
TEST_P(NightModeReset, TheFilterStartsAfreshWhenTheSceneChanges)
{
    tap(m_screen->denoiseButton());
    ASSERT_TRUE(m_screen->settings().isNightMode());
    settle();
    GetParam().act(*m_screen);
    const QImage frame = nextFrame();
    const QImage shown = preview(frame);
    ASSERT_EQ(shown.size(), frame.size());
    EXPECT_EQ(sameBytes(shown, frame), GetParam().resets);
}

INSTANTIATE_TEST_SUITE_P(Changes, NightModeReset,
    ::testing::Values(
        ResetRow { "CameraSwitch", [](LumivueViewController& s) { tap(s.cameraButton()); }, true },
        ResetRow { "Zoom", [](LumivueViewController& s) { s.sliderZoom()->slideForScript(0.3f); }, true },
        // Off for a moment: switched on again it must not bring back what it averaged before.
        ResetRow { "OffAndOnAgain",
            [](LumivueViewController& s) {
                tap(s.denoiseButton());
                QImage dark(480, 360, QImage::Format_ARGB32_Premultiplied);
                dark.fill(qRgb(10, 10, 10));
                auto sample = platform::SampleBuffer::fromImage(dark);
                s.pipeline().quartzImageFromSampleBuffer(sample.value(), true);
                tap(s.denoiseButton());
            },
            true },
        // It does not change the picture the filter sees.
        ResetRow { "ColorFilter", [](LumivueViewController& s) { s.bColorSpace()->chooseItemForScript(0); },
            false }),

    [](const auto& row) { return std::string(row.param.name); });

// --denoise switches night mode on before the screen loads: the toggle shows it from the start.
TEST_F(NightModeScreen, AToggleBuiltWithNightModeOnShowsItOn)
{
    EXPECT_FALSE(m_screen->denoiseButton()->isSelected());
    LumivueViewController startedOn(nullptr);
    startedOn.settings().setNightMode(true);
    startedOn.view();
    EXPECT_TRUE(startedOn.denoiseButton()->isSelected());
    EXPECT_NE(startedOn.denoiseButton()->image(), m_screen->denoiseButton()->image());
}

} // namespace ui::test
