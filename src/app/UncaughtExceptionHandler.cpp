#include "UncaughtExceptionHandler.h"

#include <atomic>
#include <cstdlib>
#include <stdexcept>

#include "analytics/TallyAPI.h"

namespace {

std::terminate_handler g_previous = nullptr;
std::atomic<bool> g_reported { false };

[[noreturn]] void onTerminate()
{
    // A second terminate (another thread, or a throw while reporting) goes straight on.
    if (!g_reported.exchange(true)) {
        if (std::exception_ptr pending = std::current_exception()) {
            try {
                std::rethrow_exception(pending);
            } catch (const std::exception& exception) {
                uncaughtExceptionHandler(&exception);
            } catch (...) {
                // Not a std::exception: still a crash worth knowing about.
                const std::runtime_error unknown("exception of a type that is not std::exception");
                uncaughtExceptionHandler(&unknown);
            }
        }
    }
    if (g_previous)
        g_previous();
    std::abort();
}

} // namespace

void uncaughtExceptionHandler(const std::exception* exception)
{
    analytics::TallyAPI::logError(QStringLiteral("Uncaught"), QStringLiteral("Crash!"), exception);
}

void installUncaughtExceptionHandler()
{
    if (isUncaughtExceptionHandlerInstalled())
        return;
    g_reported = false;
    g_previous = std::set_terminate(&onTerminate);
}

void uninstallUncaughtExceptionHandler()
{
    if (!isUncaughtExceptionHandlerInstalled())
        return;
    std::set_terminate(g_previous);
    g_previous = nullptr;
}

bool isUncaughtExceptionHandlerInstalled()
{
    return std::get_terminate() == &onTerminate;
}
