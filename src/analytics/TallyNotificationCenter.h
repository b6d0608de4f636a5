#pragma once

// The analytics layer's own named notifications (posted with no object), so that it needs no UI
// toolkit: observers register a callback for a name and are called on the posting thread, in
// registration order, outside any lock (an observer may add or remove observers). Any thread.

#include <functional>

#include <QString>

namespace analytics {

class TallyNotificationCenter {
public:
    TallyNotificationCenter() = delete;

    using Observer = std::function<void()>;

    // Returns a token for removeObserver (never 0).
    static int addObserver(const QString& name, Observer observer);
    static void removeObserver(int token);
    static void post(const QString& name);
};

} // namespace analytics
