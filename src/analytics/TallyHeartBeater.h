#pragma once

// The heartbeat: a repeating timer that posts "TallyHeartBeatNotification" (with the beater as
// its object) on platform::NotificationCenter::defaultCenter(). One process-wide instance, created by
// createAndStartInstance (the layer passes 1.0 s). The timer runs on the thread that called start(), which
// must run a Qt event loop (the main thread); it is owned by the application object when there is one, so it
// never outlives the event loop that drives it.
//
// Threads: createAndStartInstance / instance from any thread (the creation is locked); start,
// stop and destroyInstance on the thread that started the instance.

#include <memory>

#include <QPointer>
#include <QString>
#include <QTimer>

#include "platform/core/ThreadChecker.h"

namespace analytics {

class TallyHeartBeater {
public:
    static inline const QString kNotificationName = QStringLiteral("TallyHeartBeatNotification");

    TallyHeartBeater() = default;
    TallyHeartBeater(const TallyHeartBeater&) = delete;
    TallyHeartBeater& operator=(const TallyHeartBeater&) = delete;
    ~TallyHeartBeater();

    // Creates and starts the instance on the first call; later calls return it unchanged.
    static TallyHeartBeater* createAndStartInstance(double intervalSeconds);
    static TallyHeartBeater* instance();
    // Stops and removes the instance (tests, shutdown).
    static void destroyInstance();

    // (Re)starts the repeating timer on the calling thread.
    void start(double intervalSeconds);
    void stop();
    bool isRunning() const { return m_timer && m_timer->isActive(); }
    int intervalMillis() const { return m_timer ? m_timer->interval() : 0; }
    // Posts the notification once.
    void heartBeat();

private:
    QPointer<QTimer> m_timer; // parented to the application object when started on its thread
    std::unique_ptr<QTimer> m_ownedTimer; // used when there is no application object to own it
    [[no_unique_address]] platform::ThreadChecker m_startingThread;
};

} // namespace analytics
