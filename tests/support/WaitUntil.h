#pragma once

// Runs the main thread's event loop until a condition holds, for tests whose work finishes on
// other threads and reports back through queued signals.

#include <chrono>
#include <functional>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

namespace testing_support {

// False once `limit` has passed without `done`. The timer only wakes the loop to look again.
inline bool waitUntil(
    const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(30))
{
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer wake;
    wake.start(5);
    while (!done()) {
        if (elapsed.elapsed() > limit.count())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

} // namespace testing_support
