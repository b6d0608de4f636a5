#include "analytics/TallyUtil.h"

#include <atomic>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <typeinfo>

#include <cxxabi.h>

#include "platform/core/Log.h"
#include "platform/system/Error.h"

namespace analytics {

namespace {

std::atomic<bool> g_debugLog { false };
std::atomic<bool> g_showErrors { false };

bool errorsShown()
{
    return g_debugLog.load(std::memory_order_relaxed) && g_showErrors.load(std::memory_order_relaxed);
}

// An error's block of lines reaches the log whole: an upload thread's exception and the main
// thread's step lines would otherwise interleave and split the block.
std::mutex g_lineMutex;

void tallyLines(std::initializer_list<QString> lines)
{
    const std::lock_guard lock(g_lineMutex);
    for (const QString& line : lines)
        platform::logLine(QStringLiteral("Tally: ") + line);
}

void tallyLine(const QString& text)
{
    tallyLines({ text });
}

const QString ruleLine = QStringLiteral("-----------------------------------------");

} // namespace

bool TallyUtil::isDebugLogEnabled()
{
    return g_debugLog.load(std::memory_order_relaxed);
}

void TallyUtil::setDebugLogEnabled(bool enabled)
{
    g_debugLog.store(enabled, std::memory_order_relaxed);
}

bool TallyUtil::isShowErrorInLogEnabled()
{
    return g_showErrors.load(std::memory_order_relaxed);
}

void TallyUtil::setShowErrorInLogEnabled(bool enabled)
{
    g_showErrors.store(enabled, std::memory_order_relaxed);
}

void TallyUtil::debugLog(const QString& text)
{
    if (isDebugLogEnabled())
        tallyLine(text);
}

void TallyUtil::handleException(const std::exception& exception)
{
    if (!errorsShown())
        return;
    tallyLines({ QStringLiteral("Caught Exception in Tally Analytics Code"), ruleLine,
        QStringLiteral("Name:%1 Reason:%2")
            .arg(exceptionName(exception), QString::fromUtf8(exception.what())),
        QStringLiteral("{}") }); // C++ exceptions carry no user info
}

void TallyUtil::handleException(const platform::Error& error)
{
    if (!errorsShown())
        return;
    QStringList info;
    for (auto it = error.userInfo.cbegin(); it != error.userInfo.cend(); ++it)
        info << it.key() + QStringLiteral(" = ") + it.value().toString();
    tallyLines({ QStringLiteral("Caught Error in Tally Analytics Code"), ruleLine,
        QStringLiteral("Code:%1 Domain:%2").arg(error.code).arg(error.domain),
        QStringLiteral("{") + info.join(QStringLiteral("; ")) + QStringLiteral("}") });
}

void TallyUtil::handleException(const QString& description)
{
    if (!errorsShown())
        return;
    tallyLines({ QStringLiteral("Caught Error in Tally Analytics Code"), description });
}

void TallyUtil::guard(const std::function<void()>& body) noexcept
{
    try {
        try {
            body();
        } catch (const std::exception& exception) {
            handleException(exception);
        } catch (const platform::Error& error) {
            handleException(error);
        } catch (...) {
            handleException(QStringLiteral("unknown exception"));
        }
    } catch (...) {
        // Even the debug line failed (out of memory): stay silent rather than end the process.
    }
}

QString TallyUtil::exceptionName(const std::exception& exception)
{
    const char* mangled = typeid(exception).name();
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> demangled(
        abi::__cxa_demangle(mangled, nullptr, nullptr, &status), &std::free);
    return QString::fromUtf8(status == 0 && demangled ? demangled.get() : mangled);
}

} // namespace analytics
