#pragma once

// What the device says about itself: a stable per-device identifier, the hardware model name,
// the user-interface idiom, the application's version, locale and time zone.
// Any thread may call any function.

#include <QByteArray>
#include <QString>

namespace platform {

enum class UserInterfaceIdiom { Phone = 0, Tablet = 1 };

class DeviceInfo {
public:
    DeviceInfo() = delete;

    // A stable identifier of this device for this application: 40 lower-case hex digits derived
    // from the machine id and the application name. The machine id itself never leaves the
    // device through it. Falls back to the host name where no machine id exists.
    static QString uniqueDeviceIdentifier();
    static QString deviceIdentifierFor(const QByteArray& machineId, const QString& application);

    // The hardware model: the device-tree model (ARM phones and boards), else the DMI product
    // name (PCs), else the CPU architecture ("x86_64", "arm64", ...).
    static QString hardwareModel();
    static QString hardwareModelFrom(const QString& deviceTreeModelPath, const QString& dmiProductPath);

    // The idiom is an input of the window host (--idiom); the phone idiom until it is set.
    static UserInterfaceIdiom userInterfaceIdiom();
    static void setUserInterfaceIdiom(UserInterfaceIdiom idiom);

    // The application's build version (QCoreApplication::applicationVersion()), "" when unset.
    static QString bundleVersion();
    // The locale identifier ("en_US") and the IANA name of the local time zone ("Europe/Paris").
    static QString localeIdentifier();
    static QString timeZoneName();
};

} // namespace platform
