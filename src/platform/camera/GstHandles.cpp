#include "platform/camera/GstHandles.h"

#include <mutex>

namespace platform::gst {

QString initialise()
{
    static std::once_flag once;
    static QString failure;
    std::call_once(once, [] {
        GError* error = nullptr;
        if (!gst_init_check(nullptr, nullptr, &error)) {
            failure = QStringLiteral("GStreamer cannot start: %1")
                          .arg(QString::fromUtf8(error ? error->message : "unknown error"));
            g_clear_error(&error);
        }
    });
    return failure;
}

} // namespace platform::gst
