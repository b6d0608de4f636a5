#pragma once

// A running lumivue driven line by line through `--control -`: the test sends script lines and
// waits for what the program logs, so every wait ends on an event (with a generous limit) rather
// than after a fixed time. `sync()` waits until every line sent so far has been carried out.
//
// Threads: the test's thread only.

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class LiveLumivue {
public:
    // Starts the program headless with analytics off and the given extra arguments.
    explicit LiveLumivue(const QStringList& arguments,
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());
    ~LiveLumivue();
    LiveLumivue(const LiveLumivue&) = delete;
    LiveLumivue& operator=(const LiveLumivue&) = delete;

    bool started() const { return m_started; }
    void send(const QString& line);
    // Waits until `text` has appeared `count` times in the log; false after the time limit.
    bool waitForLog(const QString& text, int count = 1, int limitMs = 60000);
    // Waits until every line sent before has been run (actions run in order).
    bool sync();
    // Sends "quit" and waits for the end; the exit code, or -1 for a crash or a hang.
    int quit();
    // SIGKILL, as a phone's shell ends an app: nothing of the program runs after it.
    void kill();

    int occurrences(const QString& text) const { return int(m_log.count(text)); }
    const QString& log() const { return m_log; }

private:
    void readLog();

    QTemporaryDir m_settingsHome;
    QProcess m_process;
    QString m_log;
    bool m_started { false };
    int m_syncs { 0 };
};
