#pragma once

// A fresh analytics layer on disk for each case: its own data folder, the file-backed store, the
// network uploader with short time-outs, a frozen clock, and everything reset afterwards.

#include <chrono>
#include <memory>

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
#include "platform/system/Clock.h"

namespace testing_support {

class AnalyticsFixture : public ::testing::Test {
protected:
    static constexpr std::chrono::milliseconds kShortTimeout { 500 };
    static constexpr std::chrono::milliseconds kLongTimeout { 1000 };

    void SetUp() override
    {
        analytics::TallyAPI::resetForTesting();
        ASSERT_TRUE(m_data.isValid());
        analytics::TallyPaths::setDataDirectory(m_data.path());
        platform::Clock::setNow(QDateTime::fromMSecsSinceEpoch(1338508800000)); // 2012-06-01
        installStore();
        analytics::TallyUploader::setInstance(
            std::make_shared<analytics::TallyNetworkUploader>(kShortTimeout, kLongTimeout));
    }

    void TearDown() override
    {
        analytics::TallyAPI::resetForTesting();
        analytics::TallyHeartBeater::destroyInstance();
        analytics::TallyFileCache::destroyInstance();
        analytics::TallyPaths::setDataDirectory({});
        platform::Clock::useSystemTime();
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
