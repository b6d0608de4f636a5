#include "Translations.h"

#include <memory>

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "platform/core/Log.h"

namespace Translations {

QString install(QCoreApplication& app, const QLocale& locale)
{
    for (const QString& name : locale.uiLanguages()) {
        const QLocale wanted(name);
        // English (or the C locale) ahead of a translated language is the user's choice of the
        // source texts, not a gap to fill with the next language on the list.
        if (wanted.language() == QLocale::English || wanted.language() == QLocale::C)
            return {};
        auto own = std::make_unique<QTranslator>(&app);
        // "lumivue_de_AT" falls back to "lumivue_de" by itself.
        if (!own->load(QStringLiteral("lumivue_") + wanted.name(), QStringLiteral(":/i18n")))
            continue;
        app.installTranslator(own.release());
        // Qt's own texts (standard buttons, dialogs) where qt6-translations-l10n is installed.
        auto qt = std::make_unique<QTranslator>(&app);
        if (qt->load(wanted, QStringLiteral("qt"), QStringLiteral("_"),
                QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            app.installTranslator(qt.release());
        const QString language = QLocale::languageToCode(wanted.language());
        platform::log(platform::lcApp(), "Translations: %s", qUtf8Printable(language));
        return language;
    }
    return {};
}

} // namespace Translations
