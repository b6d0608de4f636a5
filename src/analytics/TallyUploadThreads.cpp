#include "analytics/TallyUploadThreads.h"

#include <algorithm>

namespace analytics {

TallyUploadThreads::~TallyUploadThreads()
{
    waitForAll();
}

void TallyUploadThreads::start(std::function<void()> work)
{
    std::vector<Upload> finished;
    {
        std::scoped_lock lock(m_mutex);
        auto done = std::partition(m_uploads.begin(), m_uploads.end(),
            [](const Upload& upload) { return !upload.finished->load(); });
        std::move(done, m_uploads.end(), std::back_inserter(finished));
        m_uploads.erase(done, m_uploads.end());

        auto flag = std::make_shared<std::atomic<bool>>(false);
        std::thread thread([work = std::move(work), flag] {
            work();
            flag->store(true);
        });
        m_uploads.push_back({ std::move(thread), std::move(flag) });
    }
    for (Upload& upload : finished)
        upload.thread.join();
}

void TallyUploadThreads::waitForAll()
{
    // Uploads started while waiting are joined too.
    for (;;) {
        std::vector<Upload> uploads;
        {
            std::scoped_lock lock(m_mutex);
            uploads.swap(m_uploads);
        }
        if (uploads.empty())
            return;
        for (Upload& upload : uploads)
            upload.thread.join();
    }
}

bool TallyUploadThreads::waitForAll(std::chrono::milliseconds limit) const
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (runningCount() > 0) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

int TallyUploadThreads::runningCount() const
{
    std::scoped_lock lock(m_mutex);
    return static_cast<int>(std::count_if(
        m_uploads.begin(), m_uploads.end(), [](const Upload& upload) { return !upload.finished->load(); }));
}

} // namespace analytics
