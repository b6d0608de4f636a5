#include "analytics/TallyFileCache.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "analytics/TallyPaths.h"

namespace {

using analytics::TallyFileCache;

class TallyFileCacheTest : public ::testing::Test {
protected:
    void SetUp() override { analytics::TallyPaths::setDataDirectory(m_data.path()); }
    void TearDown() override
    {
        TallyFileCache::destroyInstance();
        analytics::TallyPaths::setDataDirectory({});
    }
    QTemporaryDir m_data;
};

TEST_F(TallyFileCacheTest, StoresValuesPerPrefixUnderTheTallyCacheFolder)
{
    TallyFileCache* cache = TallyFileCache::createInstanceWithApiKey(QStringLiteral("KEY1"));
    EXPECT_EQ(TallyFileCache::createInstanceWithApiKey(QStringLiteral("OTHER")), cache);

    const auto path = cache->save(QCborValue(QStringLiteral("offer")), QStringLiteral("ads"));
    ASSERT_TRUE(path);
    EXPECT_EQ(cache->get(QStringLiteral("ads")), QCborValue(QStringLiteral("offer")));
    EXPECT_FALSE(cache->get(QStringLiteral("none")));

    QFile::resize(*path, 3); // a damaged file reads as nothing
    EXPECT_FALSE(cache->get(QStringLiteral("ads")));

    EXPECT_TRUE(cache->remove(QStringLiteral("ads")));
    EXPECT_FALSE(cache->remove(QStringLiteral("ads")));
    ASSERT_TRUE(cache->save(QCborValue(1), QStringLiteral("x")));
    EXPECT_TRUE(cache->removeCache());
    EXPECT_FALSE(QFileInfo::exists(QDir(analytics::TallyPaths::cachesDirectory()).filePath("Tally")));
    EXPECT_FALSE(cache->removeCache());
}

TEST_F(TallyFileCacheTest, RefusesNamesThatLeaveTheFolder)
{
    const TallyFileCache cache(QStringLiteral("KEY"));
    for (const QString& prefix : { QStringLiteral("../../escape"), QStringLiteral("a/b"),
             QStringLiteral(".."), QStringLiteral("nul") + QChar(0) }) {
        EXPECT_TRUE(cache.createFilePath(prefix).isEmpty());
        EXPECT_FALSE(cache.save(QCborValue(1), prefix));
        EXPECT_FALSE(cache.get(prefix));
        EXPECT_FALSE(cache.remove(prefix));
    }
    const TallyFileCache slashKey(QStringLiteral("../KEY"));
    EXPECT_FALSE(slashKey.save(QCborValue(1), QStringLiteral("ads")));
    EXPECT_TRUE(QDir(m_data.path()).entryList({ QStringLiteral("*escape*") }).isEmpty());
}

} // namespace
