// lumivue: the app in its window host. See --help for the flags, keys and script commands.

#include <cstdio>
#include <cstdlib>

#include <exception>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QLocale>
#include <QScreen>
#include <QStringList>
#include <QTimer>

#include "AnalyticsChoice.h"
#include "CameraList.h"
#include "HostSettings.h"
#include "LumivueAppDelegate.h"
#include "LumivueApplication.h"
#include "MainScreen.h"
#include "ScriptRunner.h"
#include "Translations.h"
#include "WindowHost.h"
#include "analytics/TallyAPI.h"
#include "analytics/TallyPaths.h"
#include "platform/camera/CameraSource.h"
#include "platform/core/FrameMemory.h"
#include "platform/device/Device.h"
#include "platform/device/LocationManager.h"
#include "platform/device/Screen.h"
#include "platform/system/DeviceInfo.h"
#include "ui/LumivueViewController.h"

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

// The cameras the screen uses: --camera, or a real camera when one is found, else the synthetic
// scene. A source that cannot be opened is an error the user should see, not a black screen.
platform::Expected<std::shared_ptr<platform::CaptureBackend>> openCameras(const HostSettings& settings)
{
    auto source = settings.camera.isEmpty()
        ? platform::Expected<platform::CameraSource>(platform::CameraSource::defaultSource())
        : platform::CameraSource::parse(settings.camera);
    if (!source)
        return platform::Expected<std::shared_ptr<platform::CaptureBackend>>::failure(source.error());
    source->setSensorNoise(settings.sensorNoise, settings.sensorShake);
    source->setCameraRotation(settings.cameraRotation);
    return source->makeBackend();
}

// Deletes the saved analytics files; false when another running copy owns them (then said on
// `out`, with when they go). `removed` gets how many were deleted.
bool removeAnalyticsFiles(FILE* out, qsizetype& removed)
{
    const auto files = analytics::TallyAPI::removeStoredData();
    removed = files ? files->size() : 0;
    if (!files)
        std::fprintf(out,
            "lumivue: another Lumivue is running on %s; its analytics files are deleted when Lumivue "
            "next starts\n",
            analytics::TallyPaths::libraryDirectory().toUtf8().constData());
    return bool(files);
}

// --analytics off|on: stores the choice and exits. Off also deletes what was saved before.
int storeAnalyticsChoice(const HostSettings& settings)
{
    const bool on = *settings.storeAnalyticsChoice;
    if (!settings.dataDir.isEmpty())
        analytics::TallyAPI::setDataDirectory(settings.dataDir);
    if (!AnalyticsChoice::store(on)) {
        std::fprintf(stderr, "lumivue: could not write the app's settings; the choice is not stored\n");
        return 1;
    }
    if (on) {
        std::printf("Usage analytics are on from the next start.\n");
        return 0;
    }
    qsizetype removed = 0;
    if (removeAnalyticsFiles(stdout, removed))
        std::printf("Usage analytics are off: nothing will be recorded or sent. Deleted %lld saved "
                    "analytics file(s).\n",
            static_cast<long long>(removed));
    return 0;
}

void setUpAnalytics(const HostSettings& settings)
{
    platform::DeviceInfo::setUserInterfaceIdiom(
        settings.idiom == 1 ? platform::UserInterfaceIdiom::Tablet : platform::UserInterfaceIdiom::Phone);
    if (!settings.dataDir.isEmpty())
        analytics::TallyAPI::setDataDirectory(settings.dataDir);
    const bool turnedOff = !AnalyticsChoice::isOn();
    analytics::TallyAPI::setEnabled(!settings.noAnalytics && !turnedOff);
    // Files left from before the choice (or written by another copy since) do not stay.
    qsizetype removed = 0;
    if (turnedOff && removeAnalyticsFiles(stderr, removed) && removed > 0)
        std::fprintf(stderr, "lumivue: analytics are off: deleted %lld saved analytics file(s) from %s\n",
            static_cast<long long>(removed), analytics::TallyPaths::libraryDirectory().toUtf8().constData());
    // One process records in a data folder at a time; takeDataFolder() says why when not.
    if (settings.noAnalytics || turnedOff || !analytics::TallyAPI::takeDataFolder())
        return;
    analytics::TallyAPI::usePersistenceAndUpload();
    if (!settings.serverUrl.isEmpty())
        analytics::TallyAPI::setServerURL(settings.serverUrl);
}

void setUpLocation(const HostSettings& settings)
{
    std::optional<platform::LocationFix> fixed;
    if (settings.location) {
        platform::LocationFix fix;
        fix.latitude = settings.location->latitude;
        fix.longitude = settings.location->longitude;
        fix.horizontalAccuracy = settings.location->accuracy;
        fixed = fix;
    }
    platform::LocationManager::configure(fixed, platform::LocationManager::SystemSource::Use);
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
    // Set before anything asks for the standard folders, which are named after the app.
    QCoreApplication::setApplicationName(QStringLiteral("lumivue"));
    if (settings.storeAnalyticsChoice)
        return storeAnalyticsChoice(settings);
    if (settings.listCameras)
        return printCameraList(stdout);
    if (settings.headless) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    } else if (!hasDisplay()) {
        std::fprintf(stderr,
            "lumivue: no display found (DISPLAY and WAYLAND_DISPLAY are unset); "
            "use --headless to run offscreen\n");
        return 1;
    }

    platform::reuseFrameMemory();
    // Points are the screen's units; the window draws them at --scale device pixels each.
    if (!qEnvironmentVariableIsSet("QT_SCALE_FACTOR"))
        qputenv("QT_SCALE_FACTOR", QByteArray::number(settings.scale));
    LumivueApplication app(argc, argv);
    Translations::install(app, QLocale());
    QGuiApplication::setApplicationName(QStringLiteral("lumivue"));
    QGuiApplication::setApplicationVersion(QStringLiteral(LUMIVUE_VERSION));
    // The installed desktop entry's name, so the shell pairs the window with its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(LUMIVUE_APP_ID));
    // X11 panels take the window's own icon rather than the desktop entry's: the installed one.
    QGuiApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral(LUMIVUE_APP_ID)));

    auto cameras = openCameras(settings);
    if (!cameras) {
        std::fprintf(stderr, "lumivue: --camera: %s\n", cameras.error().toUtf8().constData());
        return 2;
    }
    setUpAnalytics(settings);
    setUpLocation(settings);

    platform::Screen::main().setBounds(QRectF(0, 0, settings.screenWidth(), settings.screenHeight()));
    // Pictures (scope, overlay, symbols, photos in the viewer) are drawn at the window's own
    // pixels per point: --scale times what a high-density screen adds, or the user's
    // QT_SCALE_FACTOR.
    const QScreen* display = QGuiApplication::primaryScreen();
    platform::Screen::main().setScale(display ? display->devicePixelRatio() : settings.scale);
    platform::Device::current().setUserInterfaceIdiom(settings.idiom);
    WindowHost host(settings, makeMainScreen(settings, std::move(cameras.value())));
    LumivueAppDelegate delegate([&host] {
        // The camera starts first: it warms up while the screen's QML is made.
        host.screen().viewDidLoad();
        if (host.load())
            host.show();
    });
    delegate.didFinishLaunching();
    if (!host.isLoaded())
        return 1;

    int exitCode = 0;
    if (settings.quitAfterDuration) {
        QTimer::singleShot(int(settings.durationSeconds * 1000), &host, [&host, &settings, &exitCode] {
            QString error;
            if (!settings.screenshotPath.isEmpty()
                && !host.writeScreenshot(settings.screenshotPath, &error)) {
                std::fprintf(stderr, "lumivue: %s\n", error.toUtf8().constData());
                exitCode = 1;
            }
            QGuiApplication::quit();
        });
    }

    std::unique_ptr<ScriptRunner> script;
    if (!settings.controlPath.isEmpty()) {
        script = std::make_unique<ScriptRunner>(host, settings.controlPath);
        if (!script->start())
            return 1;
    }

    int loopCode = 0;
    try {
        loopCode = app.exec();
    } catch (...) {
        std::terminate(); // reported by the uncaught-exception handler, then the usual end
    }
    script.reset();
    // A short grace for uploads a quick server is about to answer, then every upload still
    // waiting is cut off: its records stay saved and go with the next start.
    analytics::TallyAPI::waitForUploads(std::chrono::milliseconds(500));
    analytics::TallyAPI::abortUploads();
    return exitCode != 0 ? exitCode : loopCode;
}
