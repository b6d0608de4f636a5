#pragma once

// The wall clock the analytics layer reads. Normally the system clock; tests set it to a fixed
// instant and move it forward by hand, so nothing in a test ever sleeps.
// Any thread may call any function. Times are UTC with millisecond resolution.

#include <QDateTime>

namespace platform {

class Clock {
public:
    Clock() = delete;

    static QDateTime now();

    // Freezes the clock at the given instant until advance(), setNow() or useSystemTime().
    static void setNow(const QDateTime& instant);
    // Moves a frozen clock forward (or back, with a negative value) by milliseconds; freezes the
    // clock at "now + milliseconds" when it was running on system time.
    static void advance(qint64 milliseconds);
    static void useSystemTime();
    static bool isFrozen();
};

} // namespace platform
