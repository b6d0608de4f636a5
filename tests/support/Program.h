#pragma once

// The built programs run as a user runs them: build/bin/<name> with its arguments and a script on
// standard input, the limits scaled for slower (sanitizer) builds. A Program runs until finish()
// or its destructor, which kills it (SIGKILL: nothing of the program runs).

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "support/TestTimeScale.h"

namespace testing_support {

// The run's settings kept apart from the user's (the self-timer, the analytics choice in
// lumivue.conf), in `home`, unless the test chose a settings folder itself.
inline QProcessEnvironment withOwnSettings(QProcessEnvironment environment, const QTemporaryDir& home)
{
    const QString key = QStringLiteral("XDG_CONFIG_HOME");
    if (environment.value(key) == QProcessEnvironment::systemEnvironment().value(key))
        environment.insert(key, home.filePath(key));
    return environment;
}

class Program {
public:
    explicit Program(const QStringList& arguments,
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
        const char* name = "lumivue")
    {
        m_process.setProcessEnvironment(withOwnSettings(environment, m_settingsHome));
        m_process.start(QStringLiteral(LUMIVUE_BINARY_DIR "/bin/") + QLatin1String(name), arguments);
        EXPECT_TRUE(m_process.waitForStarted(10000));
    }
    ~Program()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    void say(const QByteArray& script)
    {
        if (script.isEmpty())
            return;
        m_process.write(script);
        m_process.waitForBytesWritten(); // no event loop here would write it
    }
    // Sends the rest of the script and ends standard input: the exit code, or -1 when the program
    // did not end by itself within the limit.
    int finish(const QByteArray& script = {}, int limitMs = 60000)
    {
        say(script);
        m_process.closeWriteChannel();
        const bool ended = m_process.waitForFinished(test_support::scaledLimitMs(limitMs));
        return ended && m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }
    int quit() { return finish("quit\n"); }
    QString errors() { return m_errors += QString::fromUtf8(m_process.readAllStandardError()); }
    QByteArray output() { return m_process.readAllStandardOutput(); }

private:
    QTemporaryDir m_settingsHome;
    QProcess m_process;
    QString m_errors;
};

struct ProgramRun {
    int exitCode { -1 };
    QString errors;
};

inline ProgramRun runProgram(const QStringList& arguments, const QByteArray& script = {},
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    Program program(arguments, environment);
    const int exitCode = program.finish(script);
    return { exitCode, program.errors() };
}

// The settings and standard folders under `home`.
inline QProcessEnvironment homeIn(const QTemporaryDir& home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : { "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME" })
        environment.insert(QLatin1String(name), home.filePath(QLatin1String(name)));
    return environment;
}

// What lumivue-report prints for `arguments` with `input` on its standard input.
inline QJsonObject reportJson(const QStringList& arguments, const QByteArray& input = {})
{
    Program tool(arguments, QProcessEnvironment::systemEnvironment(), "lumivue-report");
    EXPECT_EQ(tool.finish(input, 30000), 0) << tool.errors().toStdString();
    return QJsonDocument::fromJson(tool.output()).object();
}

} // namespace testing_support
