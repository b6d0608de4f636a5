#pragma once

// The analytics layer's debug log and exception sink. Nothing here ever throws: an analytics
// failure must never reach the application. Lines start with "Tally: " and are written only while
// the debug log is on (off by default); caught exceptions are written only while the debug log
// and show-errors are both on. Any thread may call any function.

#include <exception>
#include <functional>

#include <QString>

namespace platform {
struct Error;
}

namespace analytics {

class TallyUtil {
public:
    TallyUtil() = delete;

    static bool isDebugLogEnabled();
    static void setDebugLogEnabled(bool enabled);
    static bool isShowErrorInLogEnabled();
    static void setShowErrorInLogEnabled(bool enabled);

    // Writes "Tally: <text>" when the debug log is on.
    static void debugLog(const QString& text);

    static void handleException(const std::exception& exception);
    static void handleException(const platform::Error& error);
    // Anything thrown that is neither: described by the given text.
    static void handleException(const QString& description);

    // Runs body; anything it throws is handed to handleException and goes no further.
    static void guard(const std::function<void()>& body) noexcept;

    // The readable name of an exception's dynamic type ("std::runtime_error").
    static QString exceptionName(const std::exception& exception);
};

} // namespace analytics
