#include "HostSettings.h"

#include <cmath>
#include <optional>

#include <QCommandLineParser>
#include <QUrl>

namespace {

QString usageError(const QString& message)
{
    return QStringLiteral("lumivue: %1 (see lumivue --help)").arg(message);
}

HostParseResult failure(const QString& message)
{
    HostParseResult result;
    result.output = usageError(message);
    result.exitCode = 2;
    return result;
}

// The options, in the order --help lists them.
struct HostOptions {
    QCommandLineOption help { { QStringLiteral("h"), QStringLiteral("help") },
        QStringLiteral("Show this help and exit.") };
    QCommandLineOption version { QStringLiteral("version"), QStringLiteral("Show the version and exit.") };
    QCommandLineOption camera { QStringLiteral("camera"),
        QStringLiteral("Frame source: synthetic, image:PATH, pipewire[:NAME] or v4l2[:NAME] (default: "
                       "every real camera found, else synthetic)."),
        QStringLiteral("SOURCE") };
    QCommandLineOption listCameras { QStringLiteral("list-cameras"),
        QStringLiteral("List the real cameras found (where they face, how they are mounted, their formats "
                       "and controls) and exit.") };
    QCommandLineOption cameraRotation { QStringLiteral("camera-rotation"),
        QStringLiteral("Mounting rotation of the real cameras, replacing what they report: the degrees "
                       "their picture must turn counter-clockwise to be upright (0, 90, 180 or 270)."),
        QStringLiteral("DEGREES") };
    QCommandLineOption sensorNoise { QStringLiteral("sensor-noise"),
        QStringLiteral("Sensor noise the synthetic and image cameras add to every frame and photo, as a "
                       "standard deviation in levels, 0 to 64 (default 0)."),
        QStringLiteral("SIGMA"), QStringLiteral("0") };
    QCommandLineOption sensorShake { QStringLiteral("sensor-shake"),
        QStringLiteral("Hand shake the synthetic and image cameras add: a random shift of up to PIXELS "
                       "on each axis, 0 to 16, new every frame and photo (default 0)."),
        QStringLiteral("PIXELS"), QStringLiteral("0") };
    QCommandLineOption denoise { QStringLiteral("denoise"),
        QStringLiteral("Start with night mode on: the scope's picture is filtered over time to take out "
                       "sensor noise (the moon button toggles it).") };
    QCommandLineOption idiom { QStringLiteral("idiom"),
        QStringLiteral("Device class: phone (320x480 points) or tablet (768x1024). Default phone."),
        QStringLiteral("phone|tablet"), QStringLiteral("phone") };
    QCommandLineOption scale { QStringLiteral("scale"),
        QStringLiteral("Screen scale, device pixels per point (default 2)."), QStringLiteral("S"),
        QStringLiteral("2") };
    QCommandLineOption size { QStringLiteral("size"),
        QStringLiteral("Window size in points, e.g. 360x720 (default: 320x480 phone, 768x1024 tablet; a "
                       "window is never larger than its screen)."),
        QStringLiteral("WxH") };
    QCommandLineOption album { QStringLiteral("album"),
        QStringLiteral("Photo album folder (default: Pictures/Lumivue)."), QStringLiteral("DIR") };
    QCommandLineOption dataDir { QStringLiteral("data-dir"),
        QStringLiteral("Folder for the app's data files (default: the standard app-data folder)."),
        QStringLiteral("DIR") };
    QCommandLineOption location { QStringLiteral("location"),
        QStringLiteral(
            "Fixed location fix in degrees, with an optional accuracy in metres, e.g. 52.52,13.40,25."),
        QStringLiteral("LAT,LON[,ACCURACY]") };
    QCommandLineOption serverUrl { QStringLiteral("server-url"),
        QStringLiteral("Analytics report server: an http:// or https:// URL with a host."),
        QStringLiteral("URL") };
    QCommandLineOption noAnalytics { QStringLiteral("no-analytics"),
        QStringLiteral("Do not record or send usage analytics.") };
    QCommandLineOption analytics { QStringLiteral("analytics"),
        QStringLiteral("Turn usage analytics off or on for this and every later start (kept in the app's "
                       "settings), then "
                       "exit. Off deletes the analytics files saved so far."),
        QStringLiteral("off|on") };
    QCommandLineOption noAudio { QStringLiteral("no-audio"),
        QStringLiteral("Record videos without sound, even with a microphone.") };
    QCommandLineOption headless { QStringLiteral("headless"),
        QStringLiteral("Render offscreen, without a window.") };
    QCommandLineOption control { QStringLiteral("control"),
        QStringLiteral("Read scripted actions from FILE, or from standard input with -."),
        QStringLiteral("FILE|-") };
    QCommandLineOption screenshot { QStringLiteral("screenshot"),
        QStringLiteral("Write the screen as a PNG to PATH after --duration seconds, then exit."),
        QStringLiteral("PATH") };
    QCommandLineOption duration { QStringLiteral("duration"),
        QStringLiteral("Quit after S seconds, with or without --screenshot (default: with --screenshot 2, "
                       "otherwise run until quit)."),
        QStringLiteral("S"), QStringLiteral("2") };
    QCommandLineOption stackFrames { QStringLiteral("stack-frames"),
        QStringLiteral("Stills a night-mode photo merges, 1 to 16 (default 8)."), QStringLiteral("N"),
        QStringLiteral("8") };

    void addTo(QCommandLineParser& parser) const
    {
        parser.addOptions({ help, version, camera, listCameras, cameraRotation, sensorNoise, sensorShake,
            denoise, idiom, scale, size, album, dataDir, location, serverUrl, noAnalytics, analytics, noAudio,
            headless, control, screenshot, duration, stackFrames });
    }
};

QString description()
{
    return QStringLiteral(
        "Lumivue night-vision camera.\n"
        "Keys: 1-6 set the device orientation, B/F send the app to the background/foreground, Q quits.\n"
        "Control script lines: tap NAME | press NAME SECONDS | drag NAME DX DY | zoom NAME SCALE |\n"
        "choose NAME INDEX | slide NAME VALUE | orientation N | background | foreground |\n"
        "wait SECONDS | until NAME SECONDS | screenshot PATH | quit\n"
        "Log lines are grouped in categories (lumivue.camera, lumivue.scope, lumivue.photos, lumivue.album,\n"
        "lumivue.ui, lumivue.app), all on; silence one with QT_LOGGING_RULES=\"lumivue.scope=false\".\n"
        "\n"
        "Usage analytics: the app records how it is used — when a use starts and how long it lasts,\n"
        "each photo taken (the event TAKE_PICTURE), each video and its length in seconds (TAKE_VIDEO), "
        "crashes, the device's model, locale and time zone,\n"
        "its position at start when known (cut to 0.001 degrees) and a per-app device identifier; never\n"
        "photos. Sessions are kept in the app-data folder (or --data-dir) and sent to the report\n"
        "server (--server-url; by default one on this machine, 127.0.0.1:8642). --no-analytics turns\n"
        "this off for one run; --analytics off turns it off for good and deletes the sessions saved so far.");
}

// --analytics off|on: the lasting choice, stored and then the program exits.
std::optional<QString> readAnalyticsChoice(
    const QCommandLineParser& parser, const HostOptions& o, HostSettings& s)
{
    if (!parser.isSet(o.analytics))
        return std::nullopt;
    const QString choice = parser.value(o.analytics).toLower();
    if (choice != QLatin1String("off") && choice != QLatin1String("on"))
        return QStringLiteral("--analytics must be off or on, not '%1'").arg(parser.value(o.analytics));
    s.storeAnalyticsChoice = choice == QLatin1String("on");
    return std::nullopt;
}

// --server-url: refused here rather than at the first upload, which would fail silently in the
// background run after run while the sessions pile up.
std::optional<QString> readServerUrl(const QCommandLineParser& parser, const HostOptions& o, HostSettings& s)
{
    if (!parser.isSet(o.serverUrl))
        return std::nullopt;
    const QString text = parser.value(o.serverUrl);
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        || url.host().isEmpty())
        return QStringLiteral("--server-url must be an http:// or https:// URL with a host, not '%1'")
            .arg(text);
    s.serverUrl = text;
    return std::nullopt;
}

// The device: --idiom and --scale. An error message, or nothing.
std::optional<QString> readDevice(const QCommandLineParser& parser, const HostOptions& o, HostSettings& s)
{
    const QString idiom = parser.value(o.idiom).toLower();
    if (idiom == QLatin1String("phone"))
        s.idiom = 0;
    else if (idiom == QLatin1String("tablet"))
        s.idiom = 1;
    else
        return QStringLiteral("--idiom must be phone or tablet, not '%1'").arg(parser.value(o.idiom));
    bool ok = false;
    s.scale = parser.value(o.scale).toDouble(&ok);
    if (!ok || !std::isfinite(s.scale) || s.scale < 0.5 || s.scale > 4)
        return QStringLiteral("--scale must be a number from 0.5 to 4");
    if (parser.isSet(o.size)) {
        const QStringList parts = parser.value(o.size).toLower().split(QLatin1Char('x'));
        bool wOk = false, hOk = false;
        const int width = parts.size() == 2 ? parts[0].toInt(&wOk) : 0;
        const int height = parts.size() == 2 ? parts[1].toInt(&hOk) : 0;
        // Smaller than the smallest phone screen the controls would cover the scope; above 8192
        // no screen shows it.
        if (!wOk || !hOk || width < 320 || height < 480 || width > 8192 || height > 8192)
            return QStringLiteral("--size must be WIDTHxHEIGHT in points, at least 320x480 and at most "
                                  "8192x8192, not '%1'")
                .arg(parser.value(o.size));
        s.size = QSize(width, height);
    }
    return std::nullopt;
}

// What the stand-in cameras add: --sensor-noise and --sensor-shake, whole numbers in range.
std::optional<QString> readSensor(const QCommandLineParser& parser, const HostOptions& o, HostSettings& s)
{
    const auto read
        = [&](const QCommandLineOption& option, int highest, int& value) -> std::optional<QString> {
        bool ok = false;
        value = parser.value(option).trimmed().toInt(&ok);
        if (!ok || value < 0 || value > highest)
            return QStringLiteral("--%1 must be a whole number from 0 to %2, not '%3'")
                .arg(option.names().constFirst())
                .arg(highest)
                .arg(parser.value(option));
        return std::nullopt;
    };
    if (auto error = read(o.sensorNoise, 64, s.sensorNoise))
        return error;
    return read(o.sensorShake, 16, s.sensorShake);
}

// --camera-rotation: a quarter-turn number of degrees.
std::optional<QString> readCameraRotation(
    const QCommandLineParser& parser, const HostOptions& o, HostSettings& s)
{
    if (!parser.isSet(o.cameraRotation))
        return std::nullopt;
    bool ok = false;
    const int degrees = parser.value(o.cameraRotation).trimmed().toInt(&ok);
    if (!ok || (degrees != 0 && degrees != 90 && degrees != 180 && degrees != 270))
        return QStringLiteral("--camera-rotation must be 0, 90, 180 or 270, not '%1'")
            .arg(parser.value(o.cameraRotation));
    s.cameraRotation = degrees;
    return std::nullopt;
}

// How the run ends: --screenshot and --duration.
std::optional<QString> readRunLength(const QCommandLineParser& parser, const HostOptions& o, HostSettings& s)
{
    bool ok = false;
    s.durationSeconds = parser.value(o.duration).toDouble(&ok);
    if (!ok || !std::isfinite(s.durationSeconds) || s.durationSeconds < 0)
        return QStringLiteral("--duration must be a number of seconds, 0 or more");
    s.screenshotPath = parser.value(o.screenshot);
    s.quitAfterDuration = parser.isSet(o.duration) || !s.screenshotPath.isEmpty();
    return std::nullopt;
}

// --stack-frames N: the burst size of a night-mode photo.
std::optional<QString> readStackFrames(
    const QCommandLineParser& parser, const HostOptions& o, HostSettings& s)
{
    bool ok = false;
    s.stackFrames = parser.value(o.stackFrames).toInt(&ok);
    if (!ok || s.stackFrames < 1 || s.stackFrames > 16)
        return QStringLiteral("--stack-frames must be a whole number from 1 to 16, not '%1'")
            .arg(parser.value(o.stackFrames));
    return std::nullopt;
}

// --location LAT,LON[,ACCURACY].
std::optional<QString> readLocation(const QCommandLineParser& parser, const HostOptions& o, HostSettings& s)
{
    if (!parser.isSet(o.location))
        return std::nullopt;
    const QStringList parts = parser.value(o.location).split(QLatin1Char(','));
    bool okLat = false, okLon = false, okAccuracy = parts.size() == 2;
    const double lat = parts.size() >= 2 ? parts[0].trimmed().toDouble(&okLat) : 0;
    const double lon = parts.size() >= 2 ? parts[1].trimmed().toDouble(&okLon) : 0;
    const double accuracy = parts.size() == 3 ? parts[2].trimmed().toDouble(&okAccuracy) : -1;
    if (parts.size() > 3 || !okLat || !okLon || !okAccuracy || !std::isfinite(lat) || !std::isfinite(lon)
        || std::abs(lat) > 90 || std::abs(lon) > 180 || !std::isfinite(accuracy)
        || (parts.size() == 3 && accuracy < 0))
        return QStringLiteral("--location must be LAT,LON[,ACCURACY] in degrees (and metres, 0 or more)");
    s.location = HostSettings::Location { lat, lon, accuracy };
    return std::nullopt;
}

// The flags passed on as they are: cameras, folders, analytics, window and script.
void readPassThrough(const QCommandLineParser& parser, const HostOptions& o, HostSettings& s)
{
    s.camera = parser.value(o.camera);
    s.listCameras = parser.isSet(o.listCameras);
    s.denoise = parser.isSet(o.denoise);
    s.albumDir = parser.value(o.album);
    s.dataDir = parser.value(o.dataDir);
    s.serverUrl = parser.value(o.serverUrl);
    s.noAnalytics = parser.isSet(o.noAnalytics);
    s.noAudio = parser.isSet(o.noAudio);
    s.headless = parser.isSet(o.headless);
    s.controlPath = parser.value(o.control);
}

} // namespace

HostParseResult parseHostArguments(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(description());
    const HostOptions options;
    options.addTo(parser);

    if (!parser.parse(arguments))
        return failure(parser.errorText());
    if (parser.isSet(options.help)) {
        // Parsed before the application object exists, so Qt cannot know the program's name.
        HostParseResult result;
        result.output
            = parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("lumivue"));
        return result;
    }
    if (parser.isSet(options.version)) {
        HostParseResult result;
        result.output = QStringLiteral("lumivue " LUMIVUE_VERSION);
        return result;
    }
    if (!parser.positionalArguments().isEmpty())
        return failure(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));

    HostSettings s;
    for (const auto read : { readDevice, readSensor, readRunLength, readLocation, readAnalyticsChoice,
             readServerUrl, readStackFrames, readCameraRotation })
        if (const auto error = read(parser, options, s))
            return failure(*error);
    readPassThrough(parser, options, s);
    HostParseResult result;
    result.settings = s;
    return result;
}
