// Asset URLs are checked on every lookup: whatever text arrives, nothing outside the album is
// ever found or read.

#include <QFile>
#include <QTemporaryDir>

#include "AlbumTestSupport.h"

using namespace albumtest;

namespace {

class AssetURLSafetyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir(m_root.path()).mkdir("album"));
        ASSERT_TRUE(QDir(m_root.path()).mkdir("outside"));
        m_album = std::make_unique<platform::AssetsLibrary>(albumPath());
        m_url = writeAndWait(*m_album, splitImage(32, 24)).url;
        ASSERT_FALSE(m_url.isEmpty());
        // A real photo outside the album, with an album-like name.
        platform::AssetsLibrary outside(m_root.filePath("outside"));
        m_outsideURL = writeAndWait(outside, splitImage(32, 24)).url;
        ASSERT_FALSE(m_outsideURL.isEmpty());
    }

    QString albumPath() const { return m_root.filePath("album"); }

    // The album's own URL with its photo name replaced (the test knows the layout; callers don't).
    platform::AssetURL withName(const QString& name) const
    {
        QString text = m_url.toString();
        return platform::AssetURL::fromString(text.replace("IMG_0001.JPG", name));
    }

    QTemporaryDir m_root;
    std::unique_ptr<platform::AssetsLibrary> m_album;
    platform::AssetURL m_url;
    platform::AssetURL m_outsideURL;
};

// Hostile photo names inside the album's own URL, and foreign schemes, albums and shapes: never
// found, and a plain "not found" rather than an error.
TEST_F(AssetURLSafetyTest, HostileNamesAndForeignUrlsAreNotFound)
{
    const QStringList names {
        "../outside/IMG_0001.JPG",
        "..%2Foutside%2FIMG_0001.JPG",
        QString("%1/IMG_0001.JPG").arg(m_root.filePath("outside")),
        "IMG_0001.JPG/..",
        "IMG_0001.JPG%00",
        QString("IMG_0001.JPG") + QChar(0),
        "IMG_%30001.JPG",
        "img_0001.jpg",
        "IMG_01.JPG",
        "IMG_" + QString(5000, '1') + ".JPG",
        "IMG_0002.JPG",
        "",
        "IMG_+001.JPG",
    };
    const QString own = m_url.toString();
    const QStringList texts {
        QString(own).replace("assets-library://", "file://"), albumPath() + "/IMG_0001.JPG",
        QString(own).replace("assets-library://asset/", "assets-library://asset/../"),
        QString(own).left(own.indexOf('?')), own + "&x=1", own + QString(10000, 'a'),
        m_outsideURL.toString(), // a real photo, but of another album
    };
    QStringList urls = texts;
    for (const QString& name : names)
        urls << withName(name).toString();
    for (const QString& text : urls) {
        const LookupResult found = lookupAndWait(*m_album, platform::AssetURL::fromString(text));
        EXPECT_FALSE(found.asset) << text.left(120).toStdString();
        EXPECT_FALSE(found.error) << text.left(120).toStdString();
    }
}

TEST_F(AssetURLSafetyTest, SymlinkInTheAlbumIsNeverFollowed)
{
    ASSERT_TRUE(QFile::link(m_root.filePath("outside/IMG_0001.JPG"), albumPath() + "/IMG_0002.JPG"));
    ASSERT_TRUE(QFile::link("/etc/hostname", albumPath() + "/IMG_0003.JPG"));
    EXPECT_FALSE(lookupAndWait(*m_album, withName("IMG_0002.JPG")).asset);
    EXPECT_FALSE(lookupAndWait(*m_album, withName("IMG_0003.JPG")).asset);
    EXPECT_EQ(enumerateAndWait(*m_album).urls,
        std::vector<platform::AssetURL> { m_url }); // the links are not photos

    // Even an asset obtained before the file was swapped for a link reads nothing through it.
    const auto asset = lookupAndWait(*m_album, m_url).asset;
    ASSERT_TRUE(asset);
    ASSERT_TRUE(QFile::remove(albumPath() + "/IMG_0001.JPG"));
    ASSERT_TRUE(QFile::link(m_root.filePath("outside/IMG_0001.JPG"), albumPath() + "/IMG_0001.JPG"));
    EXPECT_TRUE(asset->thumbnail().isNull());
    EXPECT_TRUE(asset->defaultRepresentation().fullResolutionImage().isNull());
    EXPECT_TRUE(asset->defaultRepresentation().metadata().isEmpty());
}

} // namespace
