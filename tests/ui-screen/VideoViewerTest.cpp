// An album video on the camera screen: the newest item's thumbnail is its first frame with a play
// mark, and the viewer plays it (position bar, play/pause) or says it cannot.

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
    // The screen on an album holding a green photo, then `video` as VID_0002.MP4 (made by
    // `make`), opened on the newest item once its thumbnail is there.
    std::unique_ptr<ScreenHarness> openNewest(const std::function<bool(const QString&)>& make)
    {
        QImage photo(64, 48, QImage::Format_RGB32);
        photo.fill(Qt::green);
        EXPECT_TRUE(photo.save(m_album.filePath("IMG_0001.JPG"), "JPG"));
        EXPECT_TRUE(make(m_album.filePath("VID_0002.MP4")));
        auto harness = std::make_unique<ScreenHarness>(syntheticCameras(), QSize(),
            [&](LumivueViewController& screen) { screen.setAlbumDirectory(m_album.path()); });
        EXPECT_TRUE(waitUntil([&] { return harness->screen().hasThumbnail(); }, 60s));
        EXPECT_TRUE(harness->screen().lastImageURL().toString().contains("/VID_0002.MP4?"));
        harness->screen().photoAlbum();
        return harness;
    }
    QObject* player(const ScreenHarness& harness) const
    {
        return harness.host->findItem(QStringLiteral("videoOutput"))
            ? harness.host->findItem(QStringLiteral("videoOutput"))
                  ->parent()
                  ->findChild<QObject*>("videoPlayer")
            : nullptr;
    }

    QTemporaryDir m_album;
};

TEST_F(VideoViewerTest, NewestVideoShowsItsFrameAndPlaysPausesAndSeeks)
{
    auto harness = openNewest(
        [](const QString& path) { return testing_support::makeTestVideo(path, "red", false, 30); });
    const QImage thumbnail = harness->screen().thumbnail();
    EXPECT_EQ(QColor(thumbnail.pixel(thumbnail.width() / 2, thumbnail.height() / 2)), QColor(Qt::white));
    EXPECT_GT(qRed(thumbnail.pixel(2, 2)), 200);
    EXPECT_LT(qGreen(thumbnail.pixel(2, 2)), 60);

    ASSERT_TRUE(waitUntil(
        [&] { return player(*harness) && player(*harness)->property("duration").toLongLong() > 0; }, 60s))
        << logLines().join('\n').toStdString();
    QObject* media = player(*harness);
    EXPECT_NEAR(media->property("duration").toLongLong(), 3000, 150);
    EXPECT_FALSE(harness->shown("viewImageScrollView"));
    // Drawn in software here: the frames are pictures, red, fitted to the width.
    ASSERT_TRUE(waitUntil(
        [&] { return harness->item("videoPicture")->property("imageSize").toSize().width() > 0; }, 30s));
    const QImage frame = harness->item("videoPicture")->property("image").value<QImage>();
    EXPECT_GT(qRed(frame.pixel(frame.width() / 2, frame.height() / 2)), 200);
    EXPECT_NEAR(harness->sceneRect("videoPicture").width(), harness->sceneRect("videoOutput").width(), 1);
    EXPECT_FALSE(harness->shown("viewImageMessage"));
    const QQuickItem* slider = harness->item("videoPositionSlider");
    ASSERT_TRUE(slider);
    EXPECT_EQ(harness->item("videoTimeLabel")->property("text").toString(), "0:00 / 0:03");

    harness->tap("playPauseButton");
    ASSERT_TRUE(waitUntil([&] { return media->property("position").toLongLong() > 300; }, 60s));
    EXPECT_EQ(harness->item("playPauseButton")->property("text").toString(), "Pause");
    harness->tap("playPauseButton");
    EXPECT_EQ(harness->item("playPauseButton")->property("text").toString(), "Play");

    // The bar seeks, and follows the player again afterwards.
    ASSERT_TRUE(harness->slide("videoPositionSlider", 2000));
    ASSERT_TRUE(
        waitUntil([&] { return std::abs(media->property("position").toLongLong() - 2000) < 200; }, 30s));
    EXPECT_NEAR(slider->property("value").toDouble(), media->property("position").toDouble(), 1);

    harness->tap("viewImageDoneButton");
    EXPECT_TRUE(harness->screen().viewerPhoto().isEmpty());
}

TEST_F(VideoViewerTest, UndecodableVideoIsSaidSoWithAPlainThumbnail)
{
    auto harness = openNewest([](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(QByteArray(4096, 'x')) == 4096;
    });
    const QImage thumbnail = harness->screen().thumbnail();
    EXPECT_EQ(QColor(thumbnail.pixel(thumbnail.width() / 2, thumbnail.height() / 2)), QColor(Qt::white));
    EXPECT_LT(qGray(thumbnail.pixel(2, 2)), 60);
    ASSERT_TRUE(waitUntil([&] { return harness->shown("viewImageMessage"); }, 60s));
    EXPECT_EQ(harness->item("viewImageMessage")->property("text").toString(), "This video cannot be played.");
    EXPECT_FALSE(harness->shown("playPauseButton"));
}

} // namespace

} // namespace ui::test
