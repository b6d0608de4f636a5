#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "analytics/TallyHTTPResponse.h"
#include "analytics/TallyPaths.h"

namespace {

using analytics::TallyHTTPResponse;

TEST(TallyHTTPResponse, ADebugCopyReplaysTheSameAnswer)
{
    QTemporaryDir data;
    analytics::TallyPaths::setDataDirectory(data.path());
    const TallyHTTPResponse original(QByteArray("\x01\x02 body", 7), 302,
        { { QStringLiteral("Location"), QStringLiteral("/x") } }, QStringLiteral("ignored"));
    const QString path = original.saveToDisk();
    ASSERT_FALSE(path.isEmpty());
    EXPECT_EQ(QFileInfo(path).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());

    const auto replay = TallyHTTPResponse::readFromURL(QUrl::fromLocalFile(path));
    ASSERT_TRUE(replay);
    EXPECT_EQ(replay->statusCode(), 302);
    EXPECT_EQ(replay->body(), original.body());
    EXPECT_EQ(replay->headers(), original.headers());
    EXPECT_TRUE(replay->error().isEmpty()); // a replayed answer has no error

    EXPECT_FALSE(TallyHTTPResponse::readFromURL(QUrl::fromLocalFile(data.filePath("missing"))));
    EXPECT_FALSE(TallyHTTPResponse::readFromURL(QUrl(QStringLiteral("http://127.0.0.1:1/answer"))));
    analytics::TallyPaths::setDataDirectory({});
}

// Saved answers written by hand or by another tool: read as written, or not at all.
TEST(TallyHTTPResponse, AHandWrittenAnswerIsReadAndACutShortOneIsNot)
{
    QTemporaryDir data;
    auto read = [&](const QByteArray& xml) {
        QFile file(data.filePath(QStringLiteral("answer.plist")));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(xml);
        file.close();
        return TallyHTTPResponse::readFromURL(QUrl::fromLocalFile(file.fileName()));
    };
    const auto answer = read("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                             "<!DOCTYPE plist PUBLIC \"-//PLIST 1.0//EN\" \"PropertyList-1.0.dtd\">\n"
                             "<plist version=\"1.0\"><dict>\n"
                             "  <key>headers</key><dict><key>Server</key><string>x</string></dict>\n"
                             "  <key>body</key><data>\n  b2s=\n  </data>\n"
                             "  <key>statusCode</key><integer>200</integer>\n"
                             "</dict></plist>\n");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->statusCode(), 200);
    EXPECT_EQ(answer->body(), "ok");
    EXPECT_TRUE(answer->error().isEmpty());
    EXPECT_FALSE(read("<plist><dict><key>statusCode</key><integer>200</integer>"));
}

} // namespace
