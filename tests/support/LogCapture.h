#pragma once

// Collects every log line written while it lives, from any thread, and puts the previous sink
// back when it goes.

#include <mutex>

#include <QStringList>

#include "platform/core/Log.h"

namespace testing_support {

class LogCapture {
public:
    LogCapture()
        : m_previous(platform::setLogSink([this](const QString& line) {
            std::scoped_lock lock(m_mutex);
            m_lines << line;
        }))
    {
    }
    ~LogCapture() { platform::setLogSink(m_previous); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    QStringList lines() const
    {
        std::scoped_lock lock(m_mutex);
        return m_lines;
    }

private:
    mutable std::mutex m_mutex; // guards m_lines; declared first, the sink may run at once
    QStringList m_lines;
    platform::LogSink m_previous;
};

} // namespace testing_support
