#include "AnalyticsChoice.h"

#include "AppSettings.h"

namespace AnalyticsChoice {

namespace {

const QString kKey = QStringLiteral("analytics/enabled");

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
