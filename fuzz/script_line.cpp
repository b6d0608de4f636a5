// The app's control script (`lumivue --control FILE`): the lines are read and carried out by
// the real ScriptRunner against a real (headless) window host showing the camera screen's QML
// without a camera. Any text must be refused line by line with a message, never crash the app or
// leave a control half changed (the sliders stay in their ranges, an option button on one of its
// items).
//
// Commands that take time or act outside the window — wait, until, press, screenshot and quit — are
// left out of each input (by the runner's own reading of the command word), so an
// input runs in well under a millisecond and cannot write files or end the process. Their
// arguments are still parsed the same way as those of the commands that remain.
//
// The runner's messages go to standard error; the harness silences it while a script runs
// (LUMIVUE_FUZZ_VERBOSE=1 keeps them, for looking at a finding).

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include <QFile>
#include <QGuiApplication>
#include <QQuickItem>
#include <QStringList>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include "HostSettings.h"
#include "ScriptRunner.h"
#include "WindowHost.h"
#include "support/FuzzCheck.h"
#include "ui/LumivueViewController.h"

namespace {

struct Harness {
    Harness()
    {
        static int argc = 1;
        static char name[] = "fuzz_script_line";
        static char* argv[] = { name, nullptr };
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
        HostSettings settings;
        settings.headless = true;
        settings.scale = 1;
        host = std::make_unique<WindowHost>(settings, std::make_unique<ui::LumivueViewController>());
        FUZZ_CHECK(host->isLoaded(), "the screen loads");
        host->show();
        FUZZ_CHECK(dir.isValid(), "a temporary folder");
        path = dir.filePath(QStringLiteral("script"));
        verbose = qEnvironmentVariableIntValue("LUMIVUE_FUZZ_VERBOSE") != 0;
    }

    std::unique_ptr<QGuiApplication> app;
    std::unique_ptr<WindowHost> host;
    QTemporaryDir dir;
    QString path;
    bool verbose { false };
};

// The command word as the runner reads it.
bool isLeftOut(const QString& line)
{
    const QStringList words = line.trimmed().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return false;
    const QString command = words.first().toLower();
    for (const char* slow : { "wait", "until", "press", "screenshot", "quit" })
        if (command == QLatin1String(slow))
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Harness harness;
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    QByteArray script;
    int lines = 0;
    for (const QByteArray& line : input.split('\n')) {
        if (isLeftOut(QString::fromUtf8(line)))
            continue;
        script += line + '\n';
        ++lines;
    }
    {
        QFile file(harness.path);
        FUZZ_CHECK(
            file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(script) == script.size(),
            "the script file is written");
    }

    int savedStderr = -1;
    if (!harness.verbose) {
        savedStderr = ::dup(STDERR_FILENO);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDERR_FILENO);
        ::close(null);
    }
    {
        ScriptRunner runner(*harness.host, harness.path);
        FUZZ_CHECK(runner.start(), "the runner reads its script");
        // One line per turn of the event loop, through zero-length timers.
        for (int turn = 0; turn < 2 * lines + 4; ++turn)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    if (savedStderr >= 0) {
        ::dup2(savedStderr, STDERR_FILENO);
        ::close(savedStderr);
    }

    for (const char* name : { "sliderZoom", "sliderNVLevel" }) {
        const QQuickItem* slider = harness.host->findItem(QLatin1String(name));
        FUZZ_CHECK(slider, "the slider is there");
        const double value = slider->property("value").toDouble();
        FUZZ_CHECK(std::isfinite(value) && value >= slider->property("from").toDouble()
                && value <= slider->property("to").toDouble(),
            "the slider stays in its range");
    }
    for (const char* name : { "bEnlight", "bColorSpace", "bPreset" }) {
        const QQuickItem* option = harness.host->findItem(QLatin1String(name));
        FUZZ_CHECK(option, "the option button is there");
        const int item = option->property("selectedItem").toInt();
        FUZZ_CHECK(item >= 0 && item < option->property("items").toList().size(), "an item is chosen");
    }
    return 0;
}
