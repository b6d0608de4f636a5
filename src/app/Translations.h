#pragma once

// The user's language for the texts the app shows: the app's own catalogue (built into the
// program under :/i18n) and, where installed, Qt's for the texts of its own controls. Chosen from
// the user's language list (LANGUAGE, else LC_ALL / LC_MESSAGES / LANG), first translated one
// wins. English is the source language: an English or untranslated locale keeps the texts as
// written. Main thread, once, after the application object exists.

#include <QString>

class QCoreApplication;
class QLocale;

namespace Translations {

// Installs the catalogues on `app` (which owns them); returns the language chosen ("de"), or an
// empty string when the texts stay English.
QString install(QCoreApplication& app, const QLocale& locale);

} // namespace Translations
