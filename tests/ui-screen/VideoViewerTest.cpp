// An album video in the viewer: the newest item opens playing (position bar, play/pause, the
// frames drawn as pictures in the software scene graph), or says it cannot be played.

#include <QImage>
#include <QTemporaryDir>

#include "ScreenTestSupport.h"
#include "support/TestVideo.h"
#include "support/WaitUntil.h"

namespace ui::test {

namespace {

using namespace std::chrono_literals;
using testing_support::waitUntil;

class VideoViewerTest : public ScreenTest {
protected:
    // The screen on an album whose newest item is VID_0002.MP4 (after a photo), opened on it.
    std::unique_ptr<ScreenHarness> openVideo(const std::function<bool(const QString&)>& make)
    {
        QImage photo(64, 48, QImage::Format_RGB32);
        photo.fill(Qt::green);
        EXPECT_TRUE(
            photo.save(m_album.filePath("IMG_0001.JPG"), "JPG") && make(m_album.filePath("VID_0002.MP4")));
        auto harness = std::make_unique<ScreenHarness>(syntheticCameras(), QSize(),
            [&](LumivueViewController& screen) { screen.setAlbumDirectory(m_album.path()); });
        EXPECT_TRUE(waitUntil([&] { return harness->screen().hasThumbnail(); }, 60s));
        harness->screen().photoAlbum();
        return harness;
    }

    QTemporaryDir m_album;
};

TEST_F(VideoViewerTest, NewestVideoPlaysPausesAndSeeks)
{
    auto harness = openVideo(
        [](const QString& path) { return testing_support::makeTestVideo(path, "red", false, 30); });
    QObject* media = nullptr;
    ASSERT_TRUE(waitUntil(
        [&] {
            const QQuickItem* output = harness->item("videoOutput");
            media = output ? output->parent()->findChild<QObject*>("videoPlayer") : nullptr;
            return media && media->property("duration").toLongLong() > 0
                && harness->item("videoPicture")->property("imageSize").toSize().width() > 0;
        },
        60s));
    EXPECT_NEAR(media->property("duration").toLongLong(), 3000, 150);
    EXPECT_FALSE(harness->shown("viewImageScrollView"));
    // Drawn in software here: the frames are pictures, red, fitted to the width.
    const QImage frame = harness->item("videoPicture")->property("image").value<QImage>();
    EXPECT_GT(qRed(frame.pixel(frame.width() / 2, frame.height() / 2)), 200);
    EXPECT_NEAR(harness->sceneRect("videoPicture").width(), harness->sceneRect("videoOutput").width(), 1);
    EXPECT_EQ(harness->item("videoTimeLabel")->property("text").toString(), "0:00 / 0:03");

    harness->tap("playPauseButton");
    ASSERT_TRUE(waitUntil([&] { return media->property("position").toLongLong() > 300; }, 60s));
    harness->tap("playPauseButton");
    EXPECT_EQ(harness->item("playPauseButton")->property("text").toString(), "Play");
    // The bar seeks, and follows the player again afterwards.
    ASSERT_TRUE(harness->slide("videoPositionSlider", 2000));
    ASSERT_TRUE(
        waitUntil([&] { return std::abs(media->property("position").toLongLong() - 2000) < 200; }, 30s));
    EXPECT_NEAR(harness->item("videoPositionSlider")->property("value").toDouble(),
        media->property("position").toDouble(), 1);
    harness->tap("viewImageDoneButton");
    EXPECT_TRUE(harness->screen().viewerPhoto().isEmpty());
}

TEST_F(VideoViewerTest, UndecodableVideoIsSaidSo)
{
    auto harness = openVideo([](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(QByteArray(4096, 'x')) == 4096;
    });
    ASSERT_TRUE(waitUntil([&] { return harness->shown("viewImageMessage"); }, 60s));
    EXPECT_EQ(harness->item("viewImageMessage")->property("text").toString(), "This video cannot be played.");
    EXPECT_FALSE(harness->shown("playPauseButton"));
}

} // namespace

} // namespace ui::test
