#pragma once

// Named notifications from posters to observers, delivered on the main (GUI) thread.
//
// Threads: any thread may add or remove observers and post. A post on the main thread is
// delivered before post() returns; a post from another thread is queued to the main thread.
// An observer removed before a queued notification arrives does not receive it, and once
// removeObserver returns on the main thread, the callback is not running and will not run.

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include <QObject>

#include "platform/core/Notification.h"

namespace platform {

class NotificationCenter : public QObject {
public:
    using Callback = std::function<void(const Notification&)>;
    using Token = std::uint64_t;

    NotificationCenter();
    ~NotificationCenter() override;

    // The process-wide centre, living on the main thread.
    static NotificationCenter& defaultCenter();

    // Observes `name` from any poster. `owner` groups registrations for removeObserver(owner).
    // Returns a token, never 0.
    Token addObserver(const QString& name, const void* owner, Callback callback);
    void removeObserver(Token token);
    void removeObserver(const void* owner);
    void post(const QString& name, const void* object = nullptr);

private:
    struct Observer {
        Token token;
        QString name;
        const void* owner;
        Callback callback;
    };
    void deliver(const Notification& notification);
    bool isRegistered(Token token) const;

    mutable std::mutex m_mutex; // guards m_observers and m_nextToken
    std::vector<Observer> m_observers;
    Token m_nextToken { 1 };
};

} // namespace platform
