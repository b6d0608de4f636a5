#pragma once

#include <QString>

namespace platform {

// One posted notification. `object` identifies the poster (never dereferenced by the centre).
struct Notification {
    QString name;
    const void* object { nullptr };
};

} // namespace platform
