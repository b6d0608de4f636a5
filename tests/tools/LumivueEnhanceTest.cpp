// lumivue-enhance end to end: the built program on real files.

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct ToolRun {
    int exitCode { -1 };
    QByteArray out;
    QByteArray err;
};

ToolRun enhance(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(LUMIVUE_BINARY_DIR "/bin/lumivue-enhance"), arguments);
    ToolRun run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "lumivue-enhance did not finish";
        return run;
    }
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << "crashed";
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

class LumivueEnhance : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QImage picture(64, 48, QImage::Format_RGB32);
        picture.fill(qRgb(30, 20, 10)); // r, g, b: brightness 60
        ASSERT_TRUE(picture.save(path("in.png")));
    }
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

TEST_F(LumivueEnhance, StillInAutoModeBrightensTheWholePictureAndReportsJson)
{
    const ToolRun run = enhance({ path("in.png"), path("out.png"), "--scene-level", "30" });
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonObject json = QJsonDocument::fromJson(run.out).object();
    EXPECT_EQ(json.value("level").toInt(), 56);
    EXPECT_EQ(json.value("scopeImageLevel").toInt(), 30) << "a still measures nothing";
    EXPECT_EQ(json.value("window").toArray(), (QJsonArray { 0, 0, 64, 48 }));
    const QImage out(path("out.png"));
    ASSERT_EQ(out.size(), QSize(64, 48));
    EXPECT_EQ(out.pixel(0, 0), qRgb(240, 160, 80)) << "gain 64 / 8, PNG is lossless";
    EXPECT_TRUE(QDir(m_dir.path()).entryList(QDir::Files).size() == 2) << "no temporary file left";
}

TEST_F(LumivueEnhance, PreviewProcessesAndMeasuresTheZoomedWindow)
{
    const ToolRun run = enhance({ path("in.png"), path("out.jpg"), "--preview", "--radius", "20", "--zoom", "0.5",
                              "--mode", "manual", "--level", "8", "--filter", "bw" });
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(run.out).trimmed(),
              R"({"level":8,"imageLight":{"r":30,"g":20,"b":10},"scopeImageLevel":60,"window":[22,14,42,34]})");
    const QImage out(path("out.jpg"));
    ASSERT_FALSE(out.isNull());
    EXPECT_NEAR(qGreen(out.pixel(32, 24)), 40, 3) << "grey of (20, 40, 60)";
    EXPECT_NEAR(qRed(out.pixel(2, 2)), 30, 3) << "outside the window untouched";
}

TEST_F(LumivueEnhance, BadInputFailsWithStatus2AndWritesNothing)
{
    QFile text(path("not-an-image.png"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("hello");
    text.close();
    QFile empty(path("empty.png"));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();

    const QString in = path("in.png");
    const QString out = path("out.png");
    const QList<QStringList> cases = {
        { path("missing.png"), out },
        { path("not-an-image.png"), out },
        { path("empty.png"), out },
        { m_dir.path(), out },
        { in, out, "--bogus" },
        { in, out, "--level", "12x" },
        { in, out, "--level", "99999999999" },
        { in, out, "--scene-level", "766" },
        { in, out, "--mode", "night" },
        { in, out, "--filter", "red" },
        { in, out, "--zoom", "0.5" }, // zoom needs --preview
        { in, out, "--preview" }, // preview needs a radius
        { in, out, "--preview", "--radius", "-3" },
        { in, out, "--preview", "--radius", "5", "--zoom", "nan" },
        { in, path("out.bmp") },
        { in },
        { in, out, "--level" },
    };
    for (const QStringList& arguments : cases) {
        const ToolRun run = enhance(arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_TRUE(run.err.startsWith("lumivue-enhance: ")) << run.err.toStdString();
        EXPECT_EQ(run.err.count('\n'), 1) << "one line: " << run.err.toStdString();
        EXPECT_FALSE(QFile::exists(out)) << arguments.join(' ').toStdString();
        EXPECT_FALSE(QFile::exists(path("out.bmp")));
    }
}

TEST_F(LumivueEnhance, FailureLeavesAnExistingOutputAsItWas)
{
    QFile existing(path("out.png"));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("previous result");
    existing.close();
    const ToolRun run = enhance({ path("missing.png"), path("out.png") });
    EXPECT_EQ(run.exitCode, 2);
    ASSERT_TRUE(existing.open(QIODevice::ReadOnly));
    EXPECT_EQ(existing.readAll(), "previous result");
}

TEST_F(LumivueEnhance, HelpDescribesTheInterface)
{
    const ToolRun run = enhance({ "--help" });
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out.contains("Usage: lumivue-enhance IN OUT"));
    EXPECT_TRUE(run.out.contains("--scene-level"));
}

} // namespace
