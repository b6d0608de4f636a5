#pragma once

// Shared set-up for the analytics tests: a fresh layer per case, a frozen clock, an in-memory
// session store and an uploader that builds and keeps every report it is asked to send.

#include <mutex>

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <gtest/gtest.h>

#include "analytics/TallyAPI.h"
#include "analytics/TallySession.h"
#include "analytics/TallyUploader.h"
#include "platform/core/Log.h"
#include "platform/system/BackgroundTasks.h"
#include "platform/system/Clock.h"
#include "support/LogCapture.h"
#include "support/MemorySessionStore.h"

namespace analytics::test {

using testing_support::MemorySessionStore;

// Builds each report exactly as a network uploader would, and keeps it.
class CapturingUploader : public TallyUploader {
public:
    struct Upload {
        bool shortTimeout;
        bool sendCurrentSession;
        QByteArray report;
        int backgroundTasks; // held while the report was sent
    };

    void startHeartbeat(double) override { }
    void sendSessionsToServer(bool shortTimeout, bool, bool requestAds, bool sendCurrentSession) override
    {
        const QByteArray report
            = TallySession::dataForSessions(TallySession::sessionsToSend(sendCurrentSession), requestAds);
        std::scoped_lock lock(m_mutex);
        m_uploads.append(
            { shortTimeout, sendCurrentSession, report, platform::BackgroundTasks::activeCount() });
    }
    void sendPreparedReport(const QByteArray& report) override // the end-of-session upload
    {
        std::scoped_lock lock(m_mutex);
        m_uploads.append({ true, true, report, platform::BackgroundTasks::activeCount() });
    }
    QList<Upload> uploads()
    {
        std::scoped_lock lock(m_mutex);
        return m_uploads;
    }

private:
    std::mutex m_mutex; // guards m_uploads
    QList<Upload> m_uploads;
};

class AnalyticsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TallyAPI::resetForTesting();
        platform::Clock::setNow(start);
        store = std::make_shared<MemorySessionStore>();
        uploader = std::make_shared<CapturingUploader>();
        TallySessionStore::setInstance(store);
        TallyUploader::setInstance(uploader);
    }
    void TearDown() override
    {
        TallyAPI::resetForTesting();
        platform::Clock::useSystemTime();
    }

    QStringList logLines() const { return m_log.lines(); }

    const QDateTime start { QDateTime::fromMSecsSinceEpoch(1336000000000, Qt::UTC) }; // 2012-05-02
    std::shared_ptr<MemorySessionStore> store;
    std::shared_ptr<CapturingUploader> uploader;

private:
    testing_support::LogCapture m_log;
};

} // namespace analytics::test
