#include "ScriptRunner.h"

#include <cmath>
#include <cstdio>
#include <utility>

#include <QCoreApplication>
#include <QFile>
#include <QQuickItem>
#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include "WindowHost.h"
#include "platform/device/Application.h"
#include "platform/device/Device.h"

using namespace platform;

namespace {

// How often an `until` line looks again: well under a frame, cheap next to drawing one.
constexpr int kPollMs = 20;
// One wheel notch zooms a photo by this factor, as a pinch step does.
constexpr double kWheelZoomStep = 1.25;

// Calls a QML function of the item (the option button's and the slider's scripted control).
bool callForScript(QQuickItem* item, const char* function, const QVariant& argument)
{
    QVariant result;
    const bool called = QMetaObject::invokeMethod(
        item, function, Q_RETURN_ARG(QVariant, result), Q_ARG(QVariant, argument));
    return called && result.toBool();
}

} // namespace

ScriptRunner::ScriptRunner(WindowHost& host, QString source)
    : m_host(host)
    , m_source(std::move(source))
{
    m_next.setSingleShot(true);
    connect(&m_next, &QTimer::timeout, this, &ScriptRunner::runNext);
    m_poll.setInterval(kPollMs);
    connect(&m_poll, &QTimer::timeout, this, &ScriptRunner::checkAwaited);
}

ScriptRunner::~ScriptRunner() = default;

void ScriptRunner::say(const QString& message) const
{
    std::fprintf(stderr, "lumivue: %s\n", message.toUtf8().constData());
    std::fflush(stderr);
}

bool ScriptRunner::start()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (m_source == QLatin1String("-")) {
        const int flags = ::fcntl(STDIN_FILENO, F_GETFL);
        if (flags >= 0)
            ::fcntl(STDIN_FILENO, F_SETFL, flags | O_NONBLOCK);
        m_stdin = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
        connect(m_stdin.get(), &QSocketNotifier::activated, this, &ScriptRunner::readStandardInput);
        return true;
    }
    QFile file(m_source);
    if (!file.open(QIODevice::ReadOnly)) {
        say(QStringLiteral("cannot read the control script '%1': %2").arg(m_source, file.errorString()));
        return false;
    }
    appendText(file.readAll());
    appendText("\n");
    m_inputEnded = true;
    scheduleNext();
    return true;
}

void ScriptRunner::readStandardInput()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n > 0) {
            appendText(QByteArray(buffer, int(n)));
            continue;
        }
        if (n == 0) { // end of input
            m_stdin->setEnabled(false);
            appendText("\n");
            m_inputEnded = true;
        }
        break; // n < 0: nothing more for now (EAGAIN) or an error
    }
    if (!m_waiting)
        scheduleNext();
}

void ScriptRunner::appendText(const QByteArray& text)
{
    m_partial += text;
    int newline;
    while ((newline = m_partial.indexOf('\n')) >= 0) {
        m_lines.push_back(QString::fromUtf8(m_partial.left(newline)).trimmed());
        m_partial.remove(0, newline + 1);
    }
}

void ScriptRunner::scheduleNext(int delayMs)
{
    if (m_quitting)
        return;
    m_waiting = delayMs > 0;
    m_next.start(delayMs);
}

void ScriptRunner::runNext()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    m_waiting = false;
    if (m_lines.empty()) {
        if (m_inputEnded && !m_quitting) {
            m_inputEnded = false; // say it once
            say(QStringLiteral("control script ended without 'quit'; the app keeps running"));
        }
        return;
    }
    const QString line = m_lines.front();
    m_lines.pop_front();
    ++m_lineNumber;
    execute(line);
    if (!m_waiting && !m_quitting)
        scheduleNext();
}

// ---- One function per command -----------------------------------------------------------------

struct ScriptRunner::Line {
    QString text;
    QStringList words; // the command first
    QString where; // "line N: ", the start of every message about it
};

namespace {

bool readNumber(const QString& word, double& value)
{
    bool ok = false;
    value = word.toDouble(&ok);
    return ok && std::isfinite(value);
}

} // namespace

bool ScriptRunner::needs(const Line& line, int count, const char* usage) const
{
    if (line.words.size() == count + 1)
        return true;
    say(line.where + QStringLiteral("usage: %1").arg(QLatin1String(usage)));
    return false;
}

QQuickItem* ScriptRunner::findItem(const Line& line, const QString& name) const
{
    QQuickItem* item = m_host.findItem(name);
    if (!item)
        say(line.where + QStringLiteral("no view named '%1'").arg(name));
    return item;
}

std::optional<QPointF> ScriptRunner::touchPoint(const Line& line) const
{
    QQuickItem* item = findItem(line, line.words[1]);
    if (!item)
        return std::nullopt;
    if (!item->isVisible())
        say(line.where
            + QStringLiteral("'%1' is hidden; the touch goes to what is under it").arg(line.words[1]));
    return item->mapToScene(item->boundingRect().center());
}

std::optional<double> ScriptRunner::seconds(const Line& line, const QString& word) const
{
    double value = 0;
    if (!readNumber(word, value) || value < 0 || value > 24 * 3600) {
        say(line.where + QStringLiteral("'%1' is not a number of seconds").arg(word));
        return std::nullopt;
    }
    return value;
}

void ScriptRunner::waitFor(double seconds)
{
    scheduleNext(std::max(1, int(std::lround(seconds * 1000))));
}

void ScriptRunner::tap(const Line& line)
{
    if (!needs(line, 1, "tap NAME"))
        return;
    if (const auto point = touchPoint(line)) {
        m_host.press(*point);
        m_host.release(*point);
    }
}

void ScriptRunner::press(const Line& line)
{
    if (!needs(line, 2, "press NAME SECONDS"))
        return;
    const auto held = seconds(line, line.words[2]);
    const auto point = held ? touchPoint(line) : std::nullopt;
    if (!point)
        return;
    m_host.press(*point);
    // The finger stays down while the script waits; it lifts where it went down.
    QTimer::singleShot(
        std::max(1, int(std::lround(*held * 1000))), this, [this, at = *point] { m_host.release(at); });
    waitFor(*held);
}

void ScriptRunner::drag(const Line& line)
{
    if (!needs(line, 3, "drag NAME DX DY"))
        return;
    double dx = 0, dy = 0;
    if (!readNumber(line.words[2], dx) || !readNumber(line.words[3], dy)) {
        say(line.where
            + QStringLiteral("'%1 %2' is not a distance in points").arg(line.words[2], line.words[3]));
        return;
    }
    const auto from = touchPoint(line);
    if (!from)
        return;
    // A finger moves in small steps, a frame apart, and rests before it lifts: the content
    // follows it and stays, rather than flying off at whatever speed the events arrived.
    constexpr int kSteps = 10;
    m_host.press(*from);
    for (int i = 1; i <= kSteps; ++i) {
        m_host.advanceTouchClock(16);
        m_host.move(*from + QPointF(dx, dy) * (double(i) / kSteps));
    }
    m_host.advanceTouchClock(200);
    m_host.move(*from + QPointF(dx, dy));
    m_host.release(*from + QPointF(dx, dy));
}

void ScriptRunner::zoom(const Line& line)
{
    if (!needs(line, 2, "zoom NAME SCALE"))
        return;
    double scale = 0;
    if (!readNumber(line.words[2], scale) || scale <= 0) {
        say(line.where + QStringLiteral("'%1' is not a zoom factor above 0").arg(line.words[2]));
        return;
    }
    const auto point = touchPoint(line);
    if (!point)
        return;
    // A pinch arrives as wheel steps of a fixed factor, about the point between the fingers.
    const qreal steps = std::log(scale) / std::log(kWheelZoomStep);
    if (!m_host.wheel(*point, steps))
        say(line.where + QStringLiteral("nothing under '%1' zooms").arg(line.words[1]));
}

void ScriptRunner::choose(const Line& line)
{
    if (!needs(line, 2, "choose NAME INDEX"))
        return;
    bool ok = false;
    const int index = line.words[2].toInt(&ok);
    if (!ok) {
        say(line.where + QStringLiteral("'%1' is not an item index").arg(line.words[2]));
        return;
    }
    QQuickItem* item = findItem(line, line.words[1]);
    if (item && !(item->isVisible() && item->isEnabled()))
        say(line.where + QStringLiteral("'%1' is hidden or disabled").arg(line.words[1]));
    else if (item && !callForScript(item, "chooseItemForScript", index))
        say(line.where + QStringLiteral("'%1' has no item %2").arg(line.words[1]).arg(index));
}

void ScriptRunner::slide(const Line& line)
{
    if (!needs(line, 2, "slide NAME VALUE"))
        return;
    double value = 0;
    if (!readNumber(line.words[2], value)) {
        say(line.where + QStringLiteral("'%1' is not a number").arg(line.words[2]));
        return;
    }
    QQuickItem* item = findItem(line, line.words[1]);
    if (!item)
        return;
    if (item->metaObject()->indexOfMethod("slideForScript(QVariant)") < 0)
        say(line.where + QStringLiteral("'%1' is not a slider").arg(line.words[1]));
    else if (!callForScript(item, "slideForScript", value))
        say(line.where + QStringLiteral("'%1' is disabled").arg(line.words[1]));
}

void ScriptRunner::orientation(const Line& line)
{
    if (!needs(line, 1, "orientation N"))
        return;
    bool ok = false;
    const int orientation = line.words[1].toInt(&ok);
    if (!ok || !Device::current().setOrientation(orientation))
        say(line.where + QStringLiteral("orientation must be 0 to 6, not '%1'").arg(line.words[1]));
}

void ScriptRunner::background(const Line&)
{
    Application::enterBackground();
}

void ScriptRunner::foreground(const Line&)
{
    Application::enterForeground();
}

void ScriptRunner::wait(const Line& line)
{
    if (!needs(line, 1, "wait SECONDS"))
        return;
    if (const auto value = seconds(line, line.words[1]))
        waitFor(*value);
}

// Shown means on screen for a user: it and every item above it visible, and enabled.
bool ScriptRunner::isShown(const QString& name) const
{
    const QQuickItem* item = m_host.findItem(name);
    return item && item->isVisible() && item->isEnabled();
}

void ScriptRunner::until(const Line& line)
{
    if (!needs(line, 2, "until NAME SECONDS"))
        return;
    const auto limit = seconds(line, line.words[2]);
    if (!limit)
        return;
    m_awaited = Awaited { line.words[1], line.where, *limit, {} };
    m_awaited->since.start();
    m_waiting = true;
    m_poll.start();
    checkAwaited();
}

void ScriptRunner::checkAwaited()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!m_awaited)
        return;
    const bool shown = isShown(m_awaited->name);
    if (!shown && m_awaited->since.elapsed() < m_awaited->seconds * 1000)
        return;
    if (!shown)
        say(m_awaited->where
            + QStringLiteral("'%1' was not shown within %2 s").arg(m_awaited->name).arg(m_awaited->seconds));
    m_poll.stop();
    m_awaited.reset();
    scheduleNext();
}

void ScriptRunner::screenshot(const Line& line)
{
    if (line.words.size() < 2) {
        say(line.where + QStringLiteral("usage: screenshot PATH"));
        return;
    }
    const QString path = line.text.mid(line.text.indexOf(QLatin1Char(' '))).trimmed(); // may hold spaces
    QString error;
    if (!m_host.writeScreenshot(path, &error))
        say(line.where + error);
}

void ScriptRunner::quit(const Line&)
{
    m_quitting = true;
    m_next.stop();
    m_poll.stop();
    QCoreApplication::quit();
}

void ScriptRunner::execute(const QString& text)
{
    if (text.isEmpty() || text.startsWith(QLatin1Char('#')))
        return;
    using Command = void (ScriptRunner::*)(const Line&);
    static const std::pair<const char*, Command> kCommands[] = {
        { "tap", &ScriptRunner::tap },
        { "press", &ScriptRunner::press },
        { "drag", &ScriptRunner::drag },
        { "zoom", &ScriptRunner::zoom },
        { "choose", &ScriptRunner::choose },
        { "slide", &ScriptRunner::slide },
        { "orientation", &ScriptRunner::orientation },
        { "background", &ScriptRunner::background },
        { "foreground", &ScriptRunner::foreground },
        { "wait", &ScriptRunner::wait },
        { "until", &ScriptRunner::until },
        { "screenshot", &ScriptRunner::screenshot },
        { "quit", &ScriptRunner::quit },
    };
    const Line line { text, text.split(QLatin1Char(' '), Qt::SkipEmptyParts),
        QStringLiteral("line %1: ").arg(m_lineNumber) };
    const QString command = line.words.first().toLower();
    for (const auto& [name, run] : kCommands)
        if (command == QLatin1String(name)) {
            (this->*run)(line);
            return;
        }
    say(line.where + QStringLiteral("unknown command '%1'").arg(line.words.first()));
}
