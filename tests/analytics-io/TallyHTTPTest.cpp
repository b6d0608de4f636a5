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

    // The copy is a plain XML property list that other tools can read.
    QFile copy(path);
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    const QByteArray xml = copy.readAll();
    EXPECT_TRUE(xml.contains("<plist version=\"1.0\">")) << xml.constData();
    EXPECT_TRUE(xml.contains("<key>statusCode</key>")) << xml.constData();
    EXPECT_TRUE(xml.contains("<integer>302</integer>")) << xml.constData();
    EXPECT_TRUE(xml.contains("<data>AQIgYm9keQ==</data>")) << xml.constData();

    EXPECT_FALSE(TallyHTTPResponse::readFromURL(QUrl::fromLocalFile(data.filePath("missing"))));
    EXPECT_FALSE(TallyHTTPResponse::readFromURL(QUrl(QStringLiteral("http://127.0.0.1:1/answer"))));
    analytics::TallyPaths::setDataDirectory({});
}

// Saved answers written by hand or by another tool.
struct SavedAnswer {
    const char* name;
    const char* xml;
    int status; // -1: not an answer
    const char* body;
};

class TallySavedAnswer : public ::testing::TestWithParam<SavedAnswer> { };

TEST_P(TallySavedAnswer, ReadsBackAsWritten)
{
    QTemporaryDir data;
    QFile file(data.filePath(QStringLiteral("answer.plist")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(GetParam().xml);
    file.close();
    const auto answer = TallyHTTPResponse::readFromURL(QUrl::fromLocalFile(file.fileName()));
    if (GetParam().status < 0) {
        EXPECT_FALSE(answer);
        return;
    }
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->statusCode(), GetParam().status);
    EXPECT_EQ(answer->body(), QByteArray(GetParam().body));
    EXPECT_TRUE(answer->error().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Files, TallySavedAnswer,
    ::testing::Values(SavedAnswer { "OkWithDoctypeAndHeaders",
                          "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<!DOCTYPE plist PUBLIC \"-//PLIST 1.0//EN\" \"PropertyList-1.0.dtd\">\n"
                          "<plist version=\"1.0\"><dict>\n"
                          "  <key>headers</key><dict><key>Server</key><string>x</string></dict>\n"
                          "  <key>body</key><data>\n  b2s=\n  </data>\n"
                          "  <key>statusCode</key><integer>200</integer>\n"
                          "</dict></plist>\n",
                          200, "ok" },
        SavedAnswer {
            "StatusAsText", "<plist><dict><key>statusCode</key><string>200</string></dict></plist>", -1, "" },
        SavedAnswer { "Truncated", "<plist><dict><key>statusCode</key><integer>200</integer>", -1, "" }),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
