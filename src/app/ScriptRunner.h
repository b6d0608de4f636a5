#pragma once

// Runs scripted actions, one a line, from a file or from standard input:
//   tap NAME            a touch down and up at the centre of the item named NAME
//   press NAME SECONDS  a touch held down at the centre for SECONDS (the script waits meanwhile)
//   drag NAME DX DY     a touch from the centre moved by (DX, DY) points, in small steps, then lifted
//   zoom NAME SCALE     a pinch at the centre that scales by SCALE (2 twice as large, 0.5 half)
//   choose NAME INDEX   picks item INDEX of an option control
//   slide NAME VALUE    moves a slider as a drag would (value-changed, then end of drag)
//   orientation N       sets the device orientation (0-6)
//   background | foreground
//   wait SECONDS
//   until NAME SECONDS  waits until the item named NAME is shown (and, for a control, enabled), at
//                       most SECONDS; past that it says so and the script goes on
//   screenshot PATH
//   quit
// NAME is an item's objectName. Blank lines and lines starting with # are skipped. A line
// that cannot be carried out prints one line on stderr and the script goes on. Each action runs
// from the event loop, so what one line causes is drawn before the next.
//
// Threads: GUI thread only.

#include <deque>
#include <memory>
#include <optional>

#include <QElapsedTimer>
#include <QObject>
#include <QPointF>
#include <QString>
#include <QTimer>

#include "platform/core/ThreadChecker.h"

class QSocketNotifier;
class QQuickItem;
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
    void execute(const QString& text);
    void say(const QString& message) const;

    struct Line;
    // Helpers of the commands; each says what is wrong and gives nothing on a bad line.
    bool needs(const Line& line, int count, const char* usage) const;
    QQuickItem* findItem(const Line& line, const QString& name) const;
    std::optional<QPointF> touchPoint(const Line& line) const; // the centre of the item named by word 1
    std::optional<double> seconds(const Line& line, const QString& word) const;
    void waitFor(double seconds);
    bool isShown(const QString& name) const;
    void checkAwaited();

    void tap(const Line& line);
    void press(const Line& line);
    void drag(const Line& line);
    void zoom(const Line& line);
    void choose(const Line& line);
    void slide(const Line& line);
    void orientation(const Line& line);
    void background(const Line& line);
    void foreground(const Line& line);
    void wait(const Line& line);
    void until(const Line& line);
    void screenshot(const Line& line);
    void quit(const Line& line);

    WindowHost& m_host;
    QString m_source;
    std::deque<QString> m_lines;
    QByteArray m_partial;
    int m_lineNumber { 0 };
    bool m_inputEnded { false };
    bool m_waiting { false };
    bool m_quitting { false };
    QTimer m_next;
    // What an `until` line waits for; polled, since views announce no changes.
    struct Awaited {
        QString name;
        QString where;
        double seconds { 0 };
        QElapsedTimer since;
    };
    std::optional<Awaited> m_awaited;
    QTimer m_poll;
    std::unique_ptr<QSocketNotifier> m_stdin;
    [[no_unique_address]] platform::ThreadChecker m_guiThread;
};
