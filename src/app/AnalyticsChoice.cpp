#include "AnalyticsChoice.h"

#include <QSettings>

namespace AnalyticsChoice {

namespace {

const QString kKey = QStringLiteral("analytics/enabled");

QSettings appSettings()
{
    return QSettings(
        QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("lumivue"), QStringLiteral("lumivue"));
}

} // namespace

bool isOn()
{
    return appSettings().value(kKey, true).toBool();
}

bool store(bool on)
{
    QSettings settings = appSettings();
    settings.setValue(kKey, on);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

} // namespace AnalyticsChoice
