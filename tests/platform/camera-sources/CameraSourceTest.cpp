#include "platform/camera/CameraSource.h"

#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "CameraTestSupport.h"
#include "platform/camera/CaptureBackend.h"
#include "platform/camera/CaptureDevice.h"
#include "platform/camera/CaptureSession.h"
#include "platform/camera/ManualFrameClock.h"
#include "platform/camera/StillImageOutput.h"
#include "platform/camera/StreamVideoDataOutput.h"

using namespace std::chrono_literals;
using namespace platform;

TEST(CameraSourceText, ParsesEveryFormAndRejectsTheRestWithAReason)
{
    EXPECT_EQ(CameraSource::parse(QStringLiteral("synthetic")).value().kind(), CameraSource::Kind::Synthetic);
    const auto image = CameraSource::parse(QStringLiteral("image:/tmp/a b:c.jpg"));
    ASSERT_TRUE(image);
    EXPECT_EQ(image.value().path(), QStringLiteral("/tmp/a b:c.jpg"));
    EXPECT_EQ(
        CameraSource::parse(QStringLiteral("pipewire:Front: 2")).value().path(), QStringLiteral("Front: 2"));
    EXPECT_EQ(
        CameraSource::parse(QStringLiteral("v4l2:/dev/video0")).value().kind(), CameraSource::Kind::V4l2);
    for (const char* text :
        { "pipewire", "pipewire:Cam", "v4l2", "v4l2:/dev/video2", "synthetic", "image:x.png" })
        EXPECT_EQ(CameraSource::parse(QString::fromUtf8(text)).value().toString(), QString::fromUtf8(text));

    for (const char* bad : { "", "webcam", "image:", "qt", "pipewire:", "v4l2:", "Synthetic" }) {
        const auto parsed = CameraSource::parse(QString::fromUtf8(bad));
        EXPECT_FALSE(parsed) << bad;
        EXPECT_FALSE(parsed.error().isEmpty()) << bad;
    }
}

TEST(CameraSourceImage, FeedsThePhotoAspectFilledToThePresetSize)
{
    // Four vertical bands, yellow | red | blue | yellow, in a 4:1 photo. Filling the upright 3:4
    // picture keeps only the middle: its left half red, its right half blue, no yellow. The frame
    // holds that picture turned a quarter counter-clockwise, as a portrait sensor delivers it:
    // the picture's left side lies along the frame's bottom edge.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bands.png"));
    QImage photo(400, 100, QImage::Format_RGB32);
    QPainter painter(&photo);
    for (const auto& [x, colour] :
        { std::pair { 0, Qt::yellow }, { 100, Qt::red }, { 200, Qt::blue }, { 300, Qt::yellow } })
        painter.fillRect(x, 0, 100, 100, colour);
    painter.end();
    ASSERT_TRUE(photo.save(path));

    auto clock = std::make_shared<ManualFrameClock>();
    auto backend = CameraSource::parse(QStringLiteral("image:") + path).value().makeBackend(clock);
    ASSERT_TRUE(backend) << qPrintable(backend.error());
    ASSERT_EQ(backend.value()->devices().size(), 2u);
    EXPECT_EQ(backend.value()->devices()[1]->position(), CaptureDevicePosition::Front);
    EXPECT_FALSE(backend.value()->devices()[1]->isTorchModeSupported(TorchMode::On));
    auto session = backend.value()->makeSession();
    session->setSessionPreset(SessionPreset::Medium);
    session->addInput(backend.value()->makeDeviceInput(backend.value()->devices().front()).value());
    auto output = std::dynamic_pointer_cast<StreamVideoDataOutput>(backend.value()->makeVideoDataOutput());
    session->addOutput(output);

    QImage received;
    camera_test::RecordingDelegate delegate;
    delegate.setHook([&](SampleBuffer& frame) { received = camera_test::copyPixels(frame.imageBuffer()); });
    output->setSampleBufferDelegate(&delegate, QStringLiteral("myQueue"));
    session->startRunning();
    ASSERT_TRUE(delegate.waitFor(1));
    session->stopRunning();

    ASSERT_EQ(received.size(), QSize(480, 360));
    EXPECT_EQ(QColor(received.pixel(240, 354)), QColor(Qt::red));
    EXPECT_EQ(QColor(received.pixel(240, 5)), QColor(Qt::blue));
    for (int y = 0; y < received.height(); ++y)
        EXPECT_NE(QColor(received.pixel(10, y)), QColor(Qt::yellow)) << y;
}
