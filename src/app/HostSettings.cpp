#include "HostSettings.h"

#include <cmath>

#include <QCommandLineParser>
#include <QUrl>

namespace {

QString usageError(const QString& message)
{
    return QStringLiteral("lumivue: %1 (see lumivue --help)").arg(message);
}

} // namespace

HostParseResult parseHostArguments(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Lumivue night-vision camera.\n"
        "Keys: 1-6 set the device orientation, B/F send the app to the background/foreground, Q quits.\n"
        "Control script lines: tap NAME | choose NAME INDEX | slide NAME VALUE | orientation N |\n"
        "background | foreground | wait SECONDS | screenshot PATH | quit"));
    const QCommandLineOption help({ QStringLiteral("h"), QStringLiteral("help") },
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption camera(QStringLiteral("camera"),
        QStringLiteral("Frame source: synthetic, image:PATH or a camera name (default: a real camera if found, else synthetic)."),
        QStringLiteral("SOURCE"));
    const QCommandLineOption idiom(QStringLiteral("idiom"),
        QStringLiteral("Device class: phone (320x480 points) or tablet (768x1024). Default phone."),
        QStringLiteral("phone|tablet"), QStringLiteral("phone"));
    const QCommandLineOption scale(QStringLiteral("scale"),
        QStringLiteral("Screen scale, device pixels per point (default 2)."), QStringLiteral("S"),
        QStringLiteral("2"));
    const QCommandLineOption album(QStringLiteral("album"),
        QStringLiteral("Photo album folder (default: Pictures/Lumivue)."), QStringLiteral("DIR"));
    const QCommandLineOption dataDir(QStringLiteral("data-dir"),
        QStringLiteral("Folder for the app's data files (default: the standard app-data folder)."),
        QStringLiteral("DIR"));
    const QCommandLineOption location(QStringLiteral("location"),
        QStringLiteral("Fixed location fix in degrees, with an optional accuracy in metres, e.g. 52.52,13.40,25."),
        QStringLiteral("LAT,LON[,ACCURACY]"));
    const QCommandLineOption serverUrl(QStringLiteral("server-url"),
        QStringLiteral("Analytics report server: an http:// or https:// URL with a host."), QStringLiteral("URL"));
    const QCommandLineOption noAnalytics(QStringLiteral("no-analytics"),
        QStringLiteral("Do not record or send usage analytics."));
    const QCommandLineOption headless(QStringLiteral("headless"),
        QStringLiteral("Render offscreen, without a window."));
    const QCommandLineOption control(QStringLiteral("control"),
        QStringLiteral("Read scripted actions from FILE, or from standard input with -."),
        QStringLiteral("FILE|-"));
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
        QStringLiteral("Write the screen as a PNG to PATH after --duration seconds, then exit."),
        QStringLiteral("PATH"));
    const QCommandLineOption duration(QStringLiteral("duration"),
        QStringLiteral("Seconds before --screenshot is taken (default 2)."), QStringLiteral("S"),
        QStringLiteral("2"));
    parser.addOptions({ help, camera, idiom, scale, album, dataDir, location, serverUrl, noAnalytics,
                        headless, control, screenshot, duration });

    HostParseResult result;
    if (!parser.parse(arguments)) {
        result.output = usageError(parser.errorText());
        result.exitCode = 2;
        return result;
    }
    if (parser.isSet(help)) {
        // Parsed before the application object exists, so Qt cannot know the program's name.
        result.output = parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("lumivue"));
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.output = usageError(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
        result.exitCode = 2;
        return result;
    }

    HostSettings s;
    const QString idiomText = parser.value(idiom).toLower();
    if (idiomText == QLatin1String("phone")) {
        s.idiom = 0;
    } else if (idiomText == QLatin1String("tablet")) {
        s.idiom = 1;
    } else {
        result.output = usageError(QStringLiteral("--idiom must be phone or tablet, not '%1'").arg(parser.value(idiom)));
        result.exitCode = 2;
        return result;
    }
    bool ok = false;
    s.scale = parser.value(scale).toDouble(&ok);
    if (!ok || !std::isfinite(s.scale) || s.scale < 0.5 || s.scale > 4) {
        result.output = usageError(QStringLiteral("--scale must be a number from 0.5 to 4"));
        result.exitCode = 2;
        return result;
    }
    s.durationSeconds = parser.value(duration).toDouble(&ok);
    if (!ok || !std::isfinite(s.durationSeconds) || s.durationSeconds < 0) {
        result.output = usageError(QStringLiteral("--duration must be a number of seconds, 0 or more"));
        result.exitCode = 2;
        return result;
    }
    if (parser.isSet(location)) {
        const QStringList parts = parser.value(location).split(QLatin1Char(','));
        bool okLat = false, okLon = false, okAccuracy = parts.size() == 2;
        const double lat = parts.size() >= 2 ? parts[0].trimmed().toDouble(&okLat) : 0;
        const double lon = parts.size() >= 2 ? parts[1].trimmed().toDouble(&okLon) : 0;
        const double accuracy = parts.size() == 3 ? parts[2].trimmed().toDouble(&okAccuracy) : -1;
        if (parts.size() > 3 || !okLat || !okLon || !okAccuracy || !std::isfinite(lat) || !std::isfinite(lon)
            || std::abs(lat) > 90 || std::abs(lon) > 180 || !std::isfinite(accuracy)
            || (parts.size() == 3 && accuracy < 0)) {
            result.output = usageError(
                QStringLiteral("--location must be LAT,LON[,ACCURACY] in degrees (and metres, 0 or more)"));
            result.exitCode = 2;
            return result;
        }
        s.location = HostSettings::Location { lat, lon, accuracy };
    }
    s.camera = parser.value(camera);
    s.albumDir = parser.value(album);
    s.dataDir = parser.value(dataDir);
    s.serverUrl = parser.value(serverUrl);
    if (parser.isSet(serverUrl)) {
        // Refused here rather than at the first upload, which would fail silently in the
        // background run after run while the sessions pile up.
        const QUrl url(s.serverUrl, QUrl::StrictMode);
        const QString scheme = url.scheme().toLower();
        if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
            || url.host().isEmpty()) {
            result.output = usageError(
                QStringLiteral("--server-url must be an http:// or https:// URL with a host, not '%1'").arg(s.serverUrl));
            result.exitCode = 2;
            return result;
        }
    }
    s.noAnalytics = parser.isSet(noAnalytics);
    s.headless = parser.isSet(headless);
    s.controlPath = parser.value(control);
    s.screenshotPath = parser.value(screenshot);
    result.settings = s;
    return result;
}
