#pragma once

// The threads that run background uploads, one per upload. Finished threads are joined when the
// next one starts; waitForAll() and the destructor join the rest, so no upload outlives its
// owner. Any thread may call start() and runningCount(); waitForAll() must not be called from an
// upload thread.

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace analytics {

class TallyUploadThreads {
public:
    TallyUploadThreads() = default;
    TallyUploadThreads(const TallyUploadThreads&) = delete;
    TallyUploadThreads& operator=(const TallyUploadThreads&) = delete;
    ~TallyUploadThreads();

    void start(std::function<void()> work);
    void waitForAll();
    // Waits at most `limit` for the running uploads to finish (without joining); true when none
    // is left running.
    bool waitForAll(std::chrono::milliseconds limit) const;
    int runningCount() const;

private:
    struct Upload {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> finished;
    };

    mutable std::mutex m_mutex; // guards m_uploads
    std::vector<Upload> m_uploads;
};

} // namespace analytics
