// lumivue: the app in its window host. See --help for the flags, keys and script commands.

#include <cstdio>
#include <cstdlib>

#include <QApplication>
#include <QTimer>

#include "HostSettings.h"
#include "MainScreen.h"
#include "ScriptRunner.h"
#include "WindowHost.h"
#include "platform/ui/Screen.h"

namespace {

QStringList argumentList(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

bool hasDisplay()
{
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform)
        return true; // the user chose a platform; let Qt judge it
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

} // namespace

int main(int argc, char** argv)
{
    // Parsed before the application object exists: --headless decides the Qt platform.
    const HostParseResult parsed = parseHostArguments(argumentList(argc, argv));
    if (!parsed.settings) {
        std::fprintf(parsed.exitCode == 0 ? stdout : stderr, "%s\n", parsed.output.toUtf8().constData());
        return parsed.exitCode;
    }
    const HostSettings settings = *parsed.settings;
    if (settings.headless) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    } else if (!hasDisplay()) {
        std::fprintf(stderr, "lumivue: no display found (DISPLAY and WAYLAND_DISPLAY are unset); "
                             "use --headless to run offscreen\n");
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("lumivue"));

    platform::Screen::main().setBounds(QRectF(0, 0, settings.screenWidth(), settings.screenHeight()));
    platform::Screen::main().setScale(settings.scale);
    WindowHost host(settings, makeMainScreen(settings));
    if (!settings.headless)
        host.show();

    int exitCode = 0;
    if (!settings.screenshotPath.isEmpty()) {
        QTimer::singleShot(int(settings.durationSeconds * 1000), &host, [&host, &settings, &exitCode] {
            QString error;
            if (!host.writeScreenshot(settings.screenshotPath, &error)) {
                std::fprintf(stderr, "lumivue: %s\n", error.toUtf8().constData());
                exitCode = 1;
            }
            QApplication::quit();
        });
    }

    std::unique_ptr<ScriptRunner> script;
    if (!settings.controlPath.isEmpty()) {
        script = std::make_unique<ScriptRunner>(host, settings.controlPath);
        if (!script->start())
            return 1;
    }

    const int loopCode = app.exec();
    script.reset();
    return exitCode != 0 ? exitCode : loopCode;
}
