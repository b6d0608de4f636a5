#pragma once

// The app's lasting settings: Qt settings at their standard location (organisation and
// application "lumivue": $XDG_CONFIG_HOME/lumivue/lumivue.conf). Main thread.

#include <QSettings>

inline QSettings appSettings()
{
    return QSettings(
        QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("lumivue"), QStringLiteral("lumivue"));
}
