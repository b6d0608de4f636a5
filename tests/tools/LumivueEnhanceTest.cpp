// lumivue-enhance end to end: the built program on real files.

#include <cmath>
#include <random>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

struct ToolRun {
    int exitCode { -1 };
    QByteArray out;
    QByteArray err;
};

// Address space each run may use: far more than either program needs, far less than a damaged
// file could make a decoder ask for. Sanitizers reserve terabytes of shadow: no limit there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr rlim_t kAddressSpace = RLIM_INFINITY;
#else
constexpr rlim_t kAddressSpace = rlim_t(1) << 30;
#endif

ToolRun run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setChildProcessModifier([] {
        const rlimit limit { kAddressSpace, kAddressSpace };
        ::setrlimit(RLIMIT_AS, &limit);
    });
    process.start(QStringLiteral(LUMIVUE_BINARY_DIR "/bin/") + program, arguments);
    ToolRun result;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << program.toStdString() << " did not finish";
        return result;
    }
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << "crashed";
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

ToolRun enhance(const QStringList& arguments)
{
    return run(QStringLiteral("lumivue-enhance"), arguments);
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
    void write(const QString& name, const QByteArray& bytes) const
    {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
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
    const ToolRun run = enhance({ path("in.png"), path("out.jpg"), "--preview", "--radius", "20", "--zoom",
        "0.5", "--mode", "manual", "--level", "8", "--filter", "bw" });
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(run.out).trimmed(),
        R"({"level":8,"imageLight":{"r":30,"g":20,"b":10},"scopeImageLevel":60,"window":[22,14,42,34]})");
    const QImage out(path("out.jpg"));
    ASSERT_FALSE(out.isNull());
    EXPECT_NEAR(qGreen(out.pixel(32, 24)), 40, 3) << "grey of (20, 40, 60)";
    EXPECT_NEAR(qRed(out.pixel(2, 2)), 30, 3) << "outside the window untouched";
}

TEST_F(LumivueEnhance, StackAlignsAndMergesShotsOfOneSceneBeforeEnhancing)
{
    // Eight noisy shots of a night street; the fourth is shaken by (2, -1), the sixth has a
    // passer-by in it.
    const QImage street(LUMIVUE_SOURCE_DIR "/assets/samples/dim-street.png");
    const QImage scene = street.copy(QRect(street.rect().center() - QPoint(80, 60), QSize(160, 120)))
                             .convertToFormat(QImage::Format_RGB32);
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 8.0);
    QStringList arguments { "--stack" };
    for (int f = 0; f < 8; ++f) {
        QImage shot(scene.size(), QImage::Format_RGB32);
        shot.fill(qRgb(60, 60, 60));
        QPainter painter(&shot);
        painter.drawImage(f == 3 ? QPoint(2, -1) : QPoint(), scene);
        if (f == 5)
            painter.fillRect(QRect(60, 40, 30, 40), Qt::white);
        painter.end();
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) {
                const QRgb p = shot.pixel(x, y);
                auto n = [&](int c) { return std::clamp(int(std::lround(c + noise(random))), 0, 255); };
                shot.setPixel(x, y, qRgb(n(qRed(p)), n(qGreen(p)), n(qBlue(p))));
            }
        const QString name = path(QStringLiteral("shot%1.png").arg(f));
        ASSERT_TRUE(shot.save(name));
        arguments << name;
    }
    arguments << path("merged.png") << "--mode"
              << "off";
    const ToolRun run = enhance(arguments);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonObject json = QJsonDocument::fromJson(run.out).object();
    EXPECT_EQ(json.value("frames").toInt(), 8);
    EXPECT_EQ(json.value("offsets").toArray().at(3).toArray(), (QJsonArray { 2, -1 }));
    EXPECT_EQ(json.value("offsets").toArray().at(4).toArray(), (QJsonArray { 0, 0 }));

    // How much noise the merge removes is the night photo tests' measure; here, that the tool
    // merges at all: an averaged passer-by would leave a ghost of a few tens of levels.
    const QImage merged(path("merged.png"));
    ASSERT_EQ(merged.size(), scene.size());
    double ghost = 0;
    for (int y = 40; y < 80; ++y)
        for (int x = 60; x < 90; ++x)
            ghost += qGreen(merged.pixel(x, y)) - qGreen(scene.pixel(x, y));
    EXPECT_LT(std::abs(ghost) / (30 * 40), 2.0) << "the passer-by leaves no ghost";
}

TEST_F(LumivueEnhance, BadInputFailsWithStatus2AndWritesNothing)
{
    write("not-an-image.png", "hello");
    QImage small(32, 48, QImage::Format_RGB32);
    small.fill(Qt::black);
    ASSERT_TRUE(small.save(path("small.png")));

    const QString in = path("in.png");
    const QString out = path("out.png");
    const QList<QStringList> cases = {
        { path("missing.png"), out },
        { path("not-an-image.png"), out },
        { m_dir.path(), out },
        { in, out, "--bogus" },
        { in, out, "--level", "99999999999" },
        { in, out, "--scene-level", "766" },
        { in, out, "--mode", "night" },
        { in, out, "--zoom", "0.5" }, // zoom needs --preview
        { in, out, "--preview" }, // preview needs a radius
        { in, out, "--preview", "--radius", "5", "--zoom", "nan" },
        { in, path("out.bmp") },
        { in },
        { in, out, "--level" },
        { "--stack", in, out }, // one picture is no stack
        { "--stack", in, path("small.png"), out },
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

// A PNG whose text chunk claims 2^31-1 bytes (libpng would allocate them all) and a JPEG cut short
// (libjpeg would fill it with grey): lumivue-enhance and the app's image camera refuse both as
// damaged, within the address-space limit, and leave an existing output as it was.
TEST_F(LumivueEnhance, DamagedFilesAreRefusedByTheToolAndTheImageCamera)
{
    QImage picture(16, 16, QImage::Format_RGB32);
    picture.fill(Qt::gray);
    QByteArray png;
    QBuffer pngBuffer(&png);
    ASSERT_TRUE(pngBuffer.open(QIODevice::WriteOnly) && picture.save(&pngBuffer, "PNG"));
    // Signature and IHDR (33 bytes) kept, then the lying chunk and the end of the file.
    write("claims-2gb.png",
        png.left(33) + QByteArray("\x7f\xff\xff\xfftEXtComment", 15) + QByteArray(1, '\0')
            + QByteArray(300, 'x'));
    // Progressive: several scans, each with markers after it, which the check must walk through.
    QByteArray jpeg;
    QBuffer jpegBuffer(&jpeg);
    QImageWriter writer(&jpegBuffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    ASSERT_TRUE(jpegBuffer.open(QIODevice::WriteOnly)
        && writer.write(QImage(LUMIVUE_SOURCE_DIR "/assets/samples/dim-street.png")));
    write("whole.jpg", jpeg);
    write("cut-short.jpg", jpeg.left(jpeg.size() - 40));
    EXPECT_EQ(enhance({ path("whole.jpg"), path("whole.png") }).exitCode, 0) << "a whole file is no damage";

    write("out.png", "previous result"); // a failure leaves an existing output as it was
    for (const char* name : { "claims-2gb.png", "cut-short.jpg" }) {
        SCOPED_TRACE(name);
        const ToolRun tool = enhance({ path(name), path("out.png") });
        EXPECT_EQ(tool.exitCode, 2);
        EXPECT_TRUE(tool.err.contains(": the file is damaged: ")) << tool.err.toStdString();
        QFile existing(path("out.png"));
        ASSERT_TRUE(existing.open(QIODevice::ReadOnly));
        EXPECT_EQ(existing.readAll(), "previous result");
        const ToolRun app = run(QStringLiteral("lumivue"),
            { "--headless", "--no-analytics", "--camera", "image:" + path(name), "--duration", "0.1" });
        EXPECT_EQ(app.exitCode, 2);
        EXPECT_TRUE(app.err.contains("--camera: cannot read image")) << app.err.toStdString();
        EXPECT_TRUE(app.err.contains(": the file is damaged: ")) << app.err.toStdString();
    }
}

} // namespace
