#pragma once

// Runs scripted actions, one a line, from a file or from standard input:
//   tap NAME            a touch down and up at the centre of the view named NAME
//   choose NAME INDEX   picks item INDEX of an option control
//   slide NAME VALUE    moves a slider as a drag would (value-changed, then end of drag)
//   orientation N       sets the device orientation (0-6)
//   background | foreground
//   wait SECONDS
//   screenshot PATH
//   quit
// NAME is a view's accessibility name. Blank lines and lines starting with # are skipped. A line
// that cannot be carried out prints one line on stderr and the script goes on. Each action runs
// from the event loop, so what one line causes is drawn before the next.
//
// Threads: GUI thread only.

#include <deque>
#include <memory>

#include <QObject>
#include <QString>
#include <QTimer>

class QSocketNotifier;
class WindowHost;

class ScriptRunner : public QObject {
public:
    ScriptRunner(WindowHost& host, QString source);
    ~ScriptRunner() override;

    // Opens the source and starts; false (with a message printed) when it cannot be read.
    bool start();

private:
    void readStandardInput();
    void appendText(const QByteArray& text);
    void scheduleNext(int delayMs = 0);
    void runNext();
    void execute(const QString& line);
    void say(const QString& message) const;

    WindowHost& m_host;
    QString m_source;
    std::deque<QString> m_lines;
    QByteArray m_partial;
    int m_lineNumber { 0 };
    bool m_inputEnded { false };
    bool m_waiting { false };
    bool m_quitting { false };
    QTimer m_next;
    std::unique_ptr<QSocketNotifier> m_stdin;
};
