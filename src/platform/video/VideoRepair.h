#pragma once

// Finishes a recording that was cut short (a kill, a power cut): the streams of the file are
// copied, without encoding them again, into a new file of the same container that has its
// duration and its index. A file too broken to read fails cleanly, within the time limit; the
// caller then keeps the leftover as it is.
//
// Threads: any thread; finish() blocks until the copy is written or the limit has passed.

#include <chrono>

#include <QString>

namespace platform {

class VideoRepair {
public:
    struct Result {
        bool ok { false };
        QString error; // why not, when not ok
    };

    // Copies `leftover` into `finished` (replaced if it exists, removed again on failure).
    static Result finish(const QString& leftover, const QString& finished,
        std::chrono::milliseconds limit = std::chrono::seconds(60));
};

} // namespace platform
