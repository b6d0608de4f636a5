#pragma once

// The window host's command line. Flags for later parts of the app (camera, album, data
// directory, location, server, analytics) are parsed here and kept for them.

#include <optional>

#include <QSize>
#include <QString>
#include <QStringList>

struct HostSettings {
    QString camera; // "" = default (real camera if found, else synthetic)
    bool listCameras { false }; // print the real cameras and exit
    std::optional<int> cameraRotation; // the real cameras' mounting rotation, replacing theirs
    int sensorNoise { 0 }; // levels of noise the stand-in cameras add, 0 to 64
    int sensorShake { 0 }; // pixels of hand shake the stand-in cameras add, 0 to 16
    bool denoise { false }; // start with night mode on
    int idiom { 0 }; // 0 phone, 1 tablet
    double scale { 2.0 }; // device pixels per point
    std::optional<QSize> size; // --size: the window in points, instead of the idiom's screen
    QString albumDir;
    QString dataDir;
    struct Location {
        double latitude { 0 }; // degrees, north positive
        double longitude { 0 }; // degrees, east positive
        double accuracy { -1 }; // metres; negative: unknown
    };
    std::optional<Location> location; // a fixed fix for machines without a position source
    QString serverUrl;
    bool noAnalytics { false }; // this run only
    bool noAudio { false }; // videos without sound
    std::optional<bool> storeAnalyticsChoice; // --analytics on|off: store it for every later start, then exit
    bool headless { false };
    QString controlPath; // "" none, "-" standard input
    QString screenshotPath;
    double durationSeconds { 2.0 };
    bool quitAfterDuration { false }; // --duration given, or a screenshot to take
    int stackFrames { 8 }; // stills merged into one night-mode photo, 1 to 16

    // The window in points: --size, or the idiom's screen.
    double screenWidth() const { return size ? size->width() : idiom == 1 ? 768 : 320; }
    double screenHeight() const { return size ? size->height() : idiom == 1 ? 1024 : 480; }
};

// The outcome of parsing: settings to run with, or an exit (help, or an error with its message).
struct HostParseResult {
    std::optional<HostSettings> settings;
    QString output; // text to print (help, or the error)
    int exitCode { 0 }; // used when settings is empty
};

HostParseResult parseHostArguments(const QStringList& arguments);
