#include "platform/core/Log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

namespace platform {

namespace {

std::mutex g_sinkMutex; // guards g_sink
LogSink g_sink;

} // namespace

void log(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length < 0) {
        va_end(args);
        return;
    }
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    va_end(args);
    logLine(QString::fromUtf8(buffer.data(), length));
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
