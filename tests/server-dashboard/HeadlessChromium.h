#pragma once

// Debian's chromium, headless, on a page (a file:// or http:// URL): what it printed, and what the
// page said on the browser's console (policy violations, failed loads, script errors), which for
// this dashboard must be nothing. A private profile per run; the limit scales for slow builds.

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

#include "support/TestTimeScale.h"

namespace testing_support {

struct ChromiumRun {
    bool ended { false }; // by itself, with status 0
    QByteArray output;
    QStringList console;
};

inline bool hasChromium()
{
    return !QStandardPaths::findExecutable(QStringLiteral("chromium")).isEmpty();
}

inline ChromiumRun chromium(const QStringList& arguments)
{
    QTemporaryDir profile;
    QProcess browser;
    browser.start(QStringLiteral("chromium"),
        QStringList { "--headless", "--disable-gpu", "--no-sandbox", "--user-data-dir=" + profile.path(),
            "--enable-logging=stderr", "--v=0" }
            + arguments);
    ChromiumRun run;
    run.ended = browser.waitForFinished(test_support::scaledLimitMs(60000)) && browser.exitCode() == 0;
    run.output = browser.readAllStandardOutput();
    static const QRegularExpression consoleLine(
        QStringLiteral("^\\[[^\\]]*:CONSOLE[^\\]]*\\] (.*)$"), QRegularExpression::MultilineOption);
    for (auto match = consoleLine.globalMatch(QString::fromUtf8(browser.readAllStandardError()));
         match.hasNext();)
        run.console.append(match.next().captured(1));
    return run;
}

} // namespace testing_support
