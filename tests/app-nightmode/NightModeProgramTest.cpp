// Night mode as the user sees it: the built lumivue on an image camera with sensor noise, driven
// by a control script, judged on the scope in its screenshots (phone, scale 2: the scope is the
// 400 × 400 device-pixel square at 120, 280).

#include <algorithm>
#include <cmath>

#include <QImage>
#include <QPainter>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "support/NoiseMeasure.h"
#include "support/Program.h"

namespace {

using testing_noise::differenceSigma;

// The scope right of the gauges' numbers: a noisy mean may round them the other way.
const QRect kMeasured(210, 280, 310, 400);
// The scope above the instruments.
const QRect kPicture(120, 280, 400, 120);

class NightModeProgram : public ::testing::Test {
protected:
    // Runs lumivue on `picture` with `flags` and the script `lines`; `screenshot NAME` writes
    // NAME.png into the test's folder, and a slower (sanitizer) build waits proportionally longer.
    // False when the program did not end well within the limit.
    bool run(const QString& picture, const QStringList& flags, const QStringList& lines)
    {
        QString script;
        for (const QString& line : lines) {
            const QStringList words = line.split(' ');
            if (words[0] == QLatin1String("wait"))
                script += QStringLiteral("wait %1\n")
                              .arg(words[1].toDouble() * test_support::scaledLimitMs(1000) / 1000);
            else if (words[0] == QLatin1String("screenshot"))
                script += QStringLiteral("screenshot %1\n").arg(m_dir.filePath(words[1] + ".png"));
            else
                script += line + '\n';
        }
        testing_support::Program lumivue(
            QStringList { "--headless", "--no-analytics", "--album", m_dir.filePath("album"), "--camera",
                "image:" + m_dir.filePath(picture), "--control", "-" }
            + flags);
        const int exitCode = lumivue.finish(script.toUtf8() + "quit\n", 90000);
        m_log = lumivue.errors();
        return exitCode == 0;
    }

    QImage shot(const char* name) const
    {
        return QImage(m_dir.filePath(QLatin1String(name) + ".png"))
            .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }

    QString save(const QImage& picture, const char* name) const
    {
        const QString file = QLatin1String(name) + ".png";
        EXPECT_TRUE(picture.save(m_dir.filePath(file)));
        return file;
    }

    QTemporaryDir m_dir;
    QString m_log;
};

// Mid-grey with soft coloured bars across it, as the scope shows an evening wall: bright enough
// that the automatic level gives no gain, so the scope shows the sensor's noise as it comes.
QImage softBars()
{
    QImage picture(320, 240, QImage::Format_RGB32);
    const QColor bars[] = { QColor(24, 0, 0), QColor(0, 24, 0), QColor(0, 0, 24), QColor(20, 20, 0) };
    for (int x = 0; x < picture.width(); ++x) {
        const double t = 4.0 * x / picture.width();
        const QColor& bar = bars[int(t)];
        const double weight = 0.5 - 0.5 * std::cos(2 * M_PI * (t - int(t)));
        const QColor colour(
            128 + int(bar.red() * weight), 128 + int(bar.green() * weight), 128 + int(bar.blue() * weight));
        for (int y = 0; y < picture.height(); ++y)
            picture.setPixel(x, y, colour.rgb());
    }
    return picture;
}

} // namespace

// Night mode on a still scene: a clean picture is shown exactly as without it, and a noisy one
// keeps at most 0.4 of the noise it shows with night mode off. The filter needs a few frames to
// settle and a loaded machine delivers fewer: the best of three screenshots counts.
TEST_F(NightModeProgram, TakesTheNoiseOutOfAStillSceneInTheScope)
{
    const QString bars = save(softBars(), "bars");
    ASSERT_TRUE(run(bars, { "--denoise" },
        { "wait 2", "screenshot cleanOn", "tap denoiseButton", "wait 1.5", "screenshot cleanOff" }))
        << m_log.toStdString();
    ASSERT_TRUE(run(bars, { "--denoise", "--sensor-noise", "8" },
        { "wait 2", "screenshot on1", "wait 2", "screenshot on2", "wait 2", "screenshot on3",
            "tap denoiseButton", "wait 2", "screenshot off" }))
        << m_log.toStdString();

    const QImage cleanOn = shot("cleanOn"), cleanOff = shot("cleanOff"), off = shot("off");
    ASSERT_EQ(cleanOn.size(), QSize(640, 960));
    EXPECT_TRUE(cleanOn.copy(kPicture) == cleanOff.copy(kPicture)) << "a clean scene, shown as it is";

    const double noiseOff = differenceSigma(off, cleanOff, kMeasured);
    EXPECT_GT(noiseOff, 7.0) << "the scope shows the sensor's noise at no gain";
    double noiseOn = 1e9;
    for (const char* name : { "on1", "on2", "on3" })
        noiseOn = std::min(noiseOn, differenceSigma(shot(name), cleanOn, kMeasured));
    EXPECT_LE(noiseOn, 0.4 * noiseOff) << "left " << noiseOn << " of " << noiseOff;
}

// A shaken camera moves a hard edge by up to 4 frame pixels every frame: night mode shows it
// where each frame has it, as sharp as without the filter, never a ramp of past positions.
TEST_F(NightModeProgram, KeepsAShakenEdgeSharp)
{
    // The size of the upright Photo frame, so the camera does not soften the edge by scaling.
    QImage edge(1440, 1920, QImage::Format_RGB32);
    edge.fill(QColor(60, 60, 60));
    QPainter(&edge).fillRect(720, 0, 720, 1920, QColor(190, 190, 190));
    const QString file = save(edge, "edge");
    ASSERT_TRUE(run(file, { "--denoise", "--sensor-noise", "8", "--sensor-shake", "4" },
        { "wait 2", "screenshot on1", "wait 1", "screenshot on2", "tap denoiseButton", "wait 2",
            "screenshot off" }))
        << m_log.toStdString();

    // Per row of the scope above the instruments: pixels between a quarter and three quarters of
    // the step (the width of the edge), and pixels above that (where it is).
    struct Row {
        double between = 0, bright = 0;
    };
    auto measure = [](const QImage& image) {
        Row row;
        for (int y = kPicture.top(); y <= kPicture.bottom(); ++y)
            for (int x = kPicture.left(); x <= kPicture.right(); ++x) {
                const int green = image.constScanLine(y)[4 * x + 1];
                row.between += double(green > 60 + 130 / 4 && green < 190 - 130 / 4) / kPicture.height();
                row.bright += double(green >= 190 - 130 / 4) / kPicture.height();
            }
        return row;
    };
    const Row unfiltered = measure(shot("off"));
    EXPECT_NEAR(unfiltered.bright, kPicture.width() / 2, 10) << "the edge is in the middle of the scope";
    for (const char* name : { "on1", "on2" })
        EXPECT_LE(measure(shot(name)).between, unfiltered.between + 1.0) << name;
}
