#include "platform/system/DeviceInfo.h"

#include <atomic>

#include <QCoreApplication>
#include <QFile>
#include <QLocale>
#include <QSysInfo>
#include <QTimeZone>

#include "platform/system/Digest.h"

namespace platform {

namespace {

std::atomic<UserInterfaceIdiom> g_idiom { UserInterfaceIdiom::Phone };

// Reads a short text file from /proc or /sys; these end in a newline or a NUL terminator.
QString readModelFile(const QString& path)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = file.read(256);
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    return QString::fromUtf8(bytes).trimmed();
}

} // namespace

QString DeviceInfo::uniqueDeviceIdentifier()
{
    QByteArray machineId = QSysInfo::machineUniqueId();
    if (machineId.isEmpty())
        machineId = QSysInfo::machineHostName().toUtf8();
    QString application = QCoreApplication::applicationName();
    if (application.isEmpty())
        application = QStringLiteral("lumivue");
    return deviceIdentifierFor(machineId, application);
}

QString DeviceInfo::deviceIdentifierFor(const QByteArray& machineId, const QString& application)
{
    // Salting with the application keeps identifiers of different applications unlinkable, and
    // hashing keeps the machine id (which other software uses as a secret seed) private.
    const QByteArray input = QByteArrayLiteral("device-id:") + application.toUtf8() + '\n' + machineId;
    return QString::fromLatin1(Digest::sha1(input).toHex());
}

QString DeviceInfo::hardwareModel()
{
    return hardwareModelFrom(
        QStringLiteral("/proc/device-tree/model"), QStringLiteral("/sys/class/dmi/id/product_name"));
}

QString DeviceInfo::hardwareModelFrom(const QString& deviceTreeModelPath, const QString& dmiProductPath)
{
    QString model = readModelFile(deviceTreeModelPath);
    if (model.isEmpty())
        model = readModelFile(dmiProductPath);
    if (model.isEmpty())
        model = QSysInfo::currentCpuArchitecture();
    return model;
}

UserInterfaceIdiom DeviceInfo::userInterfaceIdiom()
{
    return g_idiom.load(std::memory_order_relaxed);
}

void DeviceInfo::setUserInterfaceIdiom(UserInterfaceIdiom idiom)
{
    g_idiom.store(idiom, std::memory_order_relaxed);
}

QString DeviceInfo::bundleVersion()
{
    return QCoreApplication::applicationVersion();
}

QString DeviceInfo::localeIdentifier()
{
    return QLocale::system().name();
}

QString DeviceInfo::timeZoneName()
{
    return QString::fromUtf8(QTimeZone::systemTimeZoneId());
}

} // namespace platform
