#include "platform/core/Log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

namespace platform {

namespace {

std::mutex g_sinkMutex; // guards g_sink
LogSink g_sink;

QString format(const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length < 0)
        return {};
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    return QString::fromUtf8(buffer.data(), length);
}

// Info, not debug: some systems switch every category's debug messages off by default.
bool isOn(const QLoggingCategory& category)
{
    return category.isInfoEnabled();
}

} // namespace

Q_LOGGING_CATEGORY(lcCamera, "lumivue.camera", QtInfoMsg)
Q_LOGGING_CATEGORY(lcScope, "lumivue.scope", QtInfoMsg)
Q_LOGGING_CATEGORY(lcPhotos, "lumivue.photos", QtInfoMsg)
Q_LOGGING_CATEGORY(lcAlbum, "lumivue.album", QtInfoMsg)
Q_LOGGING_CATEGORY(lcUi, "lumivue.ui", QtInfoMsg)
Q_LOGGING_CATEGORY(lcApp, "lumivue.app", QtInfoMsg)

void log(const QLoggingCategory& category, const char* format, ...)
{
    if (!isOn(category))
        return;
    va_list args;
    va_start(args, format);
    const QString line = platform::format(format, args);
    va_end(args);
    logLine(line);
}

void logLine(const QLoggingCategory& category, const QString& line)
{
    if (isOn(category))
        logLine(line);
}

void log(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const QString line = platform::format(format, args);
    va_end(args);
    logLine(line);
}

void logLine(const QString& line)
{
    LogSink sink;
    {
        std::scoped_lock lock(g_sinkMutex);
        sink = g_sink;
    }
    if (sink) {
        sink(line);
        return;
    }
    const QByteArray bytes = line.toUtf8();
    std::fprintf(stderr, "%s\n", bytes.constData());
}

LogSink setLogSink(LogSink sink)
{
    std::scoped_lock lock(g_sinkMutex);
    LogSink previous = std::move(g_sink);
    g_sink = std::move(sink);
    return previous;
}

} // namespace platform
