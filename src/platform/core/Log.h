#pragma once

// The platform log: plain lines, no levels, no log file. Lines go to stderr unless a sink is
// installed (tests install one to read what was written). Any thread may log.

#include <functional>

#include <QString>

namespace platform {

// Writes one line. printf-style formatting; "%@" is not supported, callers format objects first.
void log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logLine(const QString& line);

using LogSink = std::function<void(const QString& line)>;

// Replaces where lines go; an empty sink restores stderr. Returns the previous sink.
LogSink setLogSink(LogSink sink);

} // namespace platform
