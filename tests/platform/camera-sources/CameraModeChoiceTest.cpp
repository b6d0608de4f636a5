#include "platform/camera/CameraModeChoice.h"

#include <algorithm>

#include <gst/gst.h>

#include <gtest/gtest.h>

#include "platform/camera/GstCameraCatalog.h"
#include "platform/camera/GstHandles.h"

using namespace platform;

namespace {

CameraMode mode(const char* format, int w, int h, double fps)
{
    return { QString::fromLatin1(format), QSize(w, h), fps };
}

// A typical UVC webcam: raw YUY2 is slow above 640x480, motion JPEG is fast at every size.
const std::vector<CameraMode> kWebcam { mode("YUY2", 640, 480, 30), mode("YUY2", 1280, 720, 10),
    mode("YUY2", 1920, 1080, 5), mode("MJPG", 640, 480, 30), mode("MJPG", 1280, 720, 30),
    mode("MJPG", 1920, 1080, 30), mode("MJPG", 2592, 1944, 15) };

} // namespace

TEST(CameraModeChoice, PreviewIsSmoothAndRawWherePossibleAndStillsAreTheLargest)
{
    EXPECT_EQ(previewMode(kWebcam, SessionPreset::Low), mode("YUY2", 640, 480, 30));
    EXPECT_EQ(previewMode(kWebcam, SessionPreset::Medium), mode("YUY2", 640, 480, 30));
    // 720p raw runs at 10 frames a second: the decoded JPEG stream is the smooth one.
    EXPECT_EQ(previewMode(kWebcam, SessionPreset::High), mode("MJPG", 1280, 720, 30));
    // Photo: the largest up to 1080p, never the 5-megapixel size the stills get.
    EXPECT_EQ(previewMode(kWebcam, SessionPreset::Photo), mode("MJPG", 1920, 1080, 30));
    EXPECT_EQ(stillMode(kWebcam), mode("MJPG", 2592, 1944, 15));
    // Only slow modes: still a picture rather than none.
    EXPECT_EQ(
        previewMode({ mode("NV12", 3840, 2160, 5) }, SessionPreset::Photo), mode("NV12", 3840, 2160, 5));
    EXPECT_FALSE(previewMode({}, SessionPreset::Photo));
    EXPECT_FALSE(stillMode({}));
}

TEST(CameraModeChoice, ArrivalTurnMakesEveryCameraLookLikeAPhoneSensor)
{
    struct Row {
        const char* location;
        std::optional<int> rotation;
        std::optional<int> override;
        int turn;
        CaptureDevicePosition position;
    };
    const Row rows[] {
        { "", std::nullopt, std::nullopt, 90, CaptureDevicePosition::Unspecified }, // upright webcam
        { "back", 270, std::nullopt, 0, CaptureDevicePosition::Back }, // laid out like our stand-ins
        { "back", 90, std::nullopt, 180, CaptureDevicePosition::Back },
        { "front", 270, std::nullopt, 0, CaptureDevicePosition::Front },
        { "external", 180, std::nullopt, 270, CaptureDevicePosition::Unspecified },
        { "back", 90, 270, 0, CaptureDevicePosition::Back }, // the user knows better
        { "", std::nullopt, 0, 90, CaptureDevicePosition::Unspecified },
    };
    for (const Row& row : rows) {
        CameraInfo camera;
        camera.location = QString::fromLatin1(row.location);
        camera.rotation = row.rotation;
        EXPECT_EQ(arrivalTurn(camera, row.override), row.turn) << row.location;
        EXPECT_EQ(positionOf(camera), row.position) << row.location;
    }
}

TEST(CameraCatalogCaps, ReadsFixedListedAndRangedCapsAndSetsAsideWhatNoDecoderReads)
{
    ASSERT_TRUE(gst::initialise().isEmpty());
    gst::CapsPtr caps(gst_caps_from_string(
        "video/x-raw,format=YUY2,width=640,height=480,framerate={ 30/1, 15/1 };"
        "video/x-raw,format={ NV12, I420 },width=1280,height=720,framerate=[ 1/1, 60/1 ];"
        "image/jpeg,width=1920,height=1080,framerate=30/1;"
        "video/x-raw,format=NV12,width=[ 160, 2592 ],height=[ 120, 1944 ];"
        "video/x-h264,width=1920,height=1080;"
        "video/x-raw,format=NOTAFORMAT,width=8,height=8"));
    std::vector<QString> unreadable;
    const auto modes = GstCameraCatalog::modesOf(caps.get(), &unreadable);
    auto has = [&](const CameraMode& wanted) {
        return std::find(modes.begin(), modes.end(), wanted) != modes.end();
    };
    EXPECT_TRUE(has(mode("YUY2", 640, 480, 30)));
    EXPECT_TRUE(has(mode("NV12", 1280, 720, 60)));
    EXPECT_TRUE(has(mode("I420", 1280, 720, 60)));
    EXPECT_TRUE(has(mode("MJPG", 1920, 1080, 30)));
    // A range stands for its largest size and the common sizes inside it.
    EXPECT_TRUE(has(mode("NV12", 2592, 1944, 0)));
    EXPECT_TRUE(has(mode("NV12", 640, 480, 0)));
    EXPECT_FALSE(has(mode("NV12", 3840, 2160, 0)));
    EXPECT_EQ(
        unreadable, (std::vector<QString> { QStringLiteral("NOTAFORMAT"), QStringLiteral("video/x-h264") }));
}
