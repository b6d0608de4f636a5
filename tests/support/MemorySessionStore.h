#pragma once

// A session store in memory: the current session's newest archived state and the saved records,
// for tests that need the layer's persistence but not its files.

#include <mutex>

#include <QByteArray>
#include <QDateTime>
#include <QList>

#include "analytics/TallySession.h"
#include "analytics/TallySessionStore.h"

namespace testing_support {

class MemorySessionStore : public analytics::TallySessionStore {
public:
    void saveCurrentSession(const analytics::TallySessionState& state) override
    {
        std::scoped_lock lock(m_mutex);
        m_current = state;
        m_hasCurrent = true;
    }
    std::shared_ptr<analytics::TallySession> readCurrentSession() override
    {
        std::scoped_lock lock(m_mutex);
        return m_hasCurrent ? std::make_shared<analytics::TallySession>(m_current) : nullptr;
    }
    void deleteCurrentSession() override
    {
        std::scoped_lock lock(m_mutex);
        m_hasCurrent = false;
    }
    QList<QByteArray> savedSessions() override
    {
        std::scoped_lock lock(m_mutex);
        return m_saved;
    }
    void setSavedSessions(const QList<QByteArray>& records) override
    {
        std::scoped_lock lock(m_mutex);
        m_saved = records;
    }
    void addToSavedSessions(const QByteArray& record) override
    {
        std::scoped_lock lock(m_mutex);
        m_saved.append(record);
    }
    QDateTime initialTimestamp(const QDateTime& candidate) override
    {
        std::scoped_lock lock(m_mutex);
        if (!m_initial.isValid())
            m_initial = candidate;
        return m_initial;
    }

    bool hasCurrent()
    {
        std::scoped_lock lock(m_mutex);
        return m_hasCurrent;
    }
    analytics::TallySessionState current()
    {
        std::scoped_lock lock(m_mutex);
        return m_current;
    }

private:
    std::mutex m_mutex; // guards everything below
    analytics::TallySessionState m_current;
    bool m_hasCurrent { false };
    QList<QByteArray> m_saved;
    QDateTime m_initial;
};

} // namespace testing_support
