// The app's control script (`lumivue --control FILE`): the lines are read and carried out by
// the real ScriptRunner against a real (headless) window host showing a small screen of named
// views: a button, a slider, a hidden button, a zoomable scroll view and a plain view. Any text
// must be refused line by line with a message, never crash the app or leave a view half changed
// (the slider and the zoom stay in their ranges, the scroll offset finite).
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

#include <QApplication>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include "HostSettings.h"
#include "ScriptRunner.h"
#include "WindowHost.h"
#include "platform/ui/Button.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/Slider.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "support/FuzzCheck.h"

namespace {

class ScriptScreen : public platform::ViewController {
public:
    platform::Slider* slider { nullptr };
    platform::ScrollView* scroll { nullptr };

    void loadView() override
    {
        auto root = std::make_unique<platform::View>(QRectF(0, 0, 320, 480));
        auto button = std::make_unique<platform::Button>(QRectF(10, 10, 100, 40), QStringLiteral("Shoot"));
        button->setAccessibilityName(QStringLiteral("shutter"));
        auto hidden = std::make_unique<platform::Button>(QRectF(10, 60, 100, 40), QStringLiteral("Hidden"));
        hidden->setAccessibilityName(QStringLiteral("hidden"));
        hidden->setHidden(true);
        auto gain = std::make_unique<platform::Slider>(QRectF(10, 120, 200, 30));
        gain->setAccessibilityName(QStringLiteral("gain"));
        slider = gain.get();
        auto panel = std::make_unique<platform::View>(QRectF(0, 300, 320, 180));
        panel->setAccessibilityName(QStringLiteral("panel"));
        auto zoomable = std::make_unique<platform::ScrollView>(QRectF(0, 160, 320, 120));
        zoomable->setAccessibilityName(QStringLiteral("photo"));
        zoomable->setContentSize(QSizeF(640, 480));
        zoomable->setMinimumZoomScale(0.5);
        zoomable->setMaximumZoomScale(4);
        scroll = zoomable.get();
        root->addSubview(std::move(zoomable));
        root->addSubview(std::move(button));
        root->addSubview(std::move(hidden));
        root->addSubview(std::move(gain));
        root->addSubview(std::move(panel));
        setView(std::move(root));
    }
};

struct Harness {
    Harness()
    {
        static int argc = 1;
        static char name[] = "fuzz_script_line";
        static char* argv[] = { name, nullptr };
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QApplication>(argc, argv);
        HostSettings settings;
        settings.headless = true;
        settings.scale = 1;
        auto owned = std::make_unique<ScriptScreen>();
        screen = owned.get();
        host = std::make_unique<WindowHost>(settings, std::move(owned));
        host->window().setRootViewController(screen);
        FUZZ_CHECK(dir.isValid(), "a temporary folder");
        path = dir.filePath(QStringLiteral("script"));
        verbose = qEnvironmentVariableIntValue("LUMIVUE_FUZZ_VERBOSE") != 0;
    }

    std::unique_ptr<QApplication> app;
    ScriptScreen* screen { nullptr };
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

    const float value = harness.screen->slider->value();
    FUZZ_CHECK(std::isfinite(value) && value >= harness.screen->slider->minimumValue()
            && value <= harness.screen->slider->maximumValue(),
        "the slider stays in its range");
    const platform::ScrollView& scroll = *harness.screen->scroll;
    FUZZ_CHECK(
        scroll.zoomScale() >= scroll.minimumZoomScale() && scroll.zoomScale() <= scroll.maximumZoomScale(),
        "the zoom stays in its range");
    FUZZ_CHECK(std::isfinite(scroll.contentOffset().x()) && std::isfinite(scroll.contentOffset().y()),
        "the scroll offset is a place");
    return 0;
}
