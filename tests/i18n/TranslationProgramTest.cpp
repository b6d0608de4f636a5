// The app speaks the user's language where a catalogue exists, and English otherwise: the
// program started under a locale, reading the camera message it logs as it shows it.

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "support/Program.h"

namespace {

struct Locale {
    const char* name;
    const char* lang;
    const char* language; // LANGUAGE: the user's ordered list, ahead of LANG
    bool german;
};

class TranslationProgram : public ::testing::TestWithParam<Locale> { };

TEST_P(TranslationProgram, CameraMessageComesInTheFirstTranslatedLanguage)
{
    const Locale& locale = GetParam();
    QTemporaryDir dir;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : { "LC_ALL", "LC_MESSAGES", "LANGUAGE" })
        environment.remove(QLatin1String(name));
    environment.insert(QStringLiteral("LANG"), QLatin1String(locale.lang));
    if (*locale.language)
        environment.insert(QStringLiteral("LANGUAGE"), QLatin1String(locale.language));
    // A camera that is not there: the scope says so in words.
    const auto run = testing_support::runProgram(
        { "--headless", "--no-analytics", "--album", dir.path(), "--data-dir", dir.path(), "--camera",
            "v4l2:/dev/no-such-camera", "--control", "-" },
        "quit\n", environment);
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_EQ(run.errors.contains(QStringLiteral("Keine Kamera gefunden")), locale.german)
        << run.errors.toStdString();
    EXPECT_EQ(run.errors.contains(QStringLiteral("\nNo camera found\n")), !locale.german)
        << run.errors.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Locales, TranslationProgram,
    ::testing::Values(Locale { "German", "de_DE.UTF-8", "de", true },
        Locale { "AustrianFallsBackToGerman", "de_AT.UTF-8", "", true },
        Locale { "FrenchFirstThenGerman", "fr_FR.UTF-8", "fr:de", true },
        Locale { "UntranslatedFrenchStaysEnglish", "fr_FR.UTF-8", "", false },
        Locale { "EnglishAheadOfGermanStaysEnglish", "de_DE.UTF-8", "en_GB:de", false },
        Locale { "PlainC", "C", "", false }),
    [](const ::testing::TestParamInfo<Locale>& row) { return std::string(row.param.name); });

} // namespace
