#pragma once

// A fresh analytics layer for each case, on a frozen clock, and everything reset afterwards.
// AnalyticsTest keeps the sessions in memory and captures every report it is asked to send;
// AnalyticsFixture keeps them on disk in a folder of its own and sends them over the network
// with short time-outs.

#include <chrono>
#include <memory>
#include <mutex>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "analytics/TallyAPI.h"
#include "analytics/TallyFileCache.h"
#include "analytics/TallyFileSessionStore.h"
#include "analytics/TallyHeartBeater.h"
#include "analytics/TallyNetworkUploader.h"
#include "analytics/TallyPaths.h"
#include "analytics/TallyReportDecoder.h"
#include "analytics/TallySession.h"
#include "platform/core/Log.h"
#include "platform/system/BackgroundTasks.h"
#include "platform/system/Clock.h"
#include "support/LogCapture.h"
#include "support/MemorySessionStore.h"

namespace testing_support {

class AnalyticsLayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        analytics::TallyAPI::resetForTesting();
        platform::Clock::setNow(m_start);
    }
    void TearDown() override
    {
        analytics::TallyAPI::resetForTesting();
        analytics::TallyHeartBeater::destroyInstance();
        analytics::TallyFileCache::destroyInstance();
        analytics::TallyPaths::setDataDirectory({});
        platform::Clock::useSystemTime();
    }
    explicit AnalyticsLayerTest(const QDateTime& start)
        : m_start(start)
    {
    }

    const QDateTime m_start;
};

class AnalyticsFixture : public AnalyticsLayerTest {
protected:
    static constexpr std::chrono::milliseconds kLongTimeout { 1000 };

    AnalyticsFixture()
        : AnalyticsLayerTest(QDateTime::fromMSecsSinceEpoch(1338508800000)) // 2012-06-01
    {
    }
    void SetUp() override
    {
        AnalyticsLayerTest::SetUp();
        ASSERT_TRUE(m_data.isValid());
        analytics::TallyPaths::setDataDirectory(m_data.path());
        installStore();
        analytics::TallyUploader::setInstance(
            std::make_shared<analytics::TallyNetworkUploader>(std::chrono::milliseconds(500), kLongTimeout));
    }

    // A new store object over the same folder, as a new process would have.
    void installStore()
    {
        m_store = std::make_shared<analytics::TallyFileSessionStore>();
        m_store->setApiKey(QStringLiteral("KEY"));
        analytics::TallySessionStore::setInstance(m_store);
    }

    // A real session record, distinct by its start time.
    // (Made away from the store: a new session archives itself as the current session.)
    QByteArray sessionRecord(int n)
    {
        platform::Clock::advance(1000);
        analytics::TallySessionStore::setInstance(nullptr);
        QByteArray record;
        {
            analytics::TallySession session(QStringLiteral("KEY"), QStringLiteral("1.%1").arg(n));
            session.recordEvent(QStringLiteral("TAKE_PICTURE"));
            record = session.data();
        }
        analytics::TallySessionStore::setInstance(m_store);
        return record;
    }

    static QJsonArray sessionsOf(const QByteArray& report)
    {
        const auto decoded = analytics::TallyReportDecoder::decodeReport(report);
        EXPECT_TRUE(decoded.ok()) << decoded.error.toStdString();
        return decoded.json.value(QLatin1String("sessions")).toArray();
    }

    QStringList dataFiles() const { return QDir(m_data.path()).entryList(QDir::Files | QDir::Hidden); }

    QTemporaryDir m_data;
    std::shared_ptr<analytics::TallyFileSessionStore> m_store;
};

} // namespace testing_support

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
        keep({ shortTimeout, sendCurrentSession,
            TallySession::dataForSessions(TallySession::sessionsToSend(sendCurrentSession), requestAds),
            platform::BackgroundTasks::activeCount() });
    }
    void sendPreparedReport(const QByteArray& report) override // the end-of-session upload
    {
        keep({ true, true, report, platform::BackgroundTasks::activeCount() });
    }
    QList<Upload> uploads()
    {
        std::scoped_lock lock(m_mutex);
        return m_uploads;
    }

private:
    void keep(const Upload& upload)
    {
        std::scoped_lock lock(m_mutex);
        m_uploads.append(upload);
    }
    std::mutex m_mutex; // guards m_uploads
    QList<Upload> m_uploads;
};

class AnalyticsTest : public testing_support::AnalyticsLayerTest {
protected:
    AnalyticsTest()
        : AnalyticsLayerTest(QDateTime::fromMSecsSinceEpoch(1336000000000, Qt::UTC)) // 2012-05-02
    {
    }
    void SetUp() override
    {
        AnalyticsLayerTest::SetUp();
        store = std::make_shared<MemorySessionStore>();
        uploader = std::make_shared<CapturingUploader>();
        TallySessionStore::setInstance(store);
        TallyUploader::setInstance(uploader);
    }

    QStringList logLines() const { return m_log.lines(); }

    const QDateTime& start { m_start };
    std::shared_ptr<MemorySessionStore> store;
    std::shared_ptr<CapturingUploader> uploader;

private:
    testing_support::LogCapture m_log;
};

} // namespace analytics::test
