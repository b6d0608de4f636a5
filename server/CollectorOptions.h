#pragma once

// The collector's command line: what to serve, where to store, how long to keep. Parsing is pure
// (no I/O), so main() decides what to print and how to exit.

#include <optional>

#include <QString>
#include <QStringList>

namespace collector {

struct ParsedOptions;

struct CollectorOptions {
    enum class Command { Serve, Forget, Help, Version };

    Command command { Command::Serve };
    QString host { QStringLiteral("127.0.0.1") };
    quint16 port { 8642 };
    QString database; // "sqlite:PATH" or "postgresql://…"; empty = the default SQLite file
    int keepDays { 0 }; // 0 = keep everything
    QString dashboardToken; // required when the host is not a loopback address
    qint64 maxBodyBytes { 1024 * 1024 };
    QString forgetDevice; // the device id given to `forget`

    // `arguments` without the program name; `environmentToken` ($LUMIVUE_COLLECTOR_TOKEN) is the
    // token when --dashboard-token is not given.
    static ParsedOptions parse(const QStringList& arguments, const QString& environmentToken = {});
    static bool isLoopback(const QString& host);
    // $XDG_DATA_HOME/lumivue-collector/collector.sqlite (through Qt's standard paths).
    static QString defaultDatabase();

    static const char* usage();
};

// The options, or a one-line reason why the command line is wrong.
struct ParsedOptions {
    std::optional<CollectorOptions> options;
    QString error;
};

} // namespace collector
