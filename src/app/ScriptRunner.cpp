#include "ScriptRunner.h"

#include <cmath>
#include <cstdio>

#include <QApplication>
#include <QFile>
#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include "WindowHost.h"
#include "platform/ui/Application.h"
#include "platform/ui/Device.h"
#include "platform/ui/Slider.h"

using namespace platform;

ScriptRunner::ScriptRunner(WindowHost& host, QString source)
    : m_host(host)
    , m_source(std::move(source))
{
    m_next.setSingleShot(true);
    connect(&m_next, &QTimer::timeout, this, &ScriptRunner::runNext);
}

ScriptRunner::~ScriptRunner() = default;

void ScriptRunner::say(const QString& message) const
{
    std::fprintf(stderr, "lumivue: %s\n", message.toUtf8().constData());
    std::fflush(stderr);
}

bool ScriptRunner::start()
{
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

void ScriptRunner::execute(const QString& line)
{
    if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
        return;
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString command = words.first().toLower();
    const QString where = QStringLiteral("line %1: ").arg(m_lineNumber);
    auto needs = [&](int count, const char* usage) {
        if (words.size() == count + 1)
            return true;
        say(where + QStringLiteral("usage: %1").arg(QLatin1String(usage)));
        return false;
    };
    auto findView = [&](const QString& name) -> View* {
        View* view = m_host.window().findViewByAccessibilityName(name);
        if (!view)
            say(where + QStringLiteral("no view named '%1'").arg(name));
        return view;
    };

    if (command == QLatin1String("tap")) {
        if (!needs(1, "tap NAME"))
            return;
        View* view = findView(words[1]);
        if (!view)
            return;
        const QPointF point = view->convertPointToRoot(view->bounds().center());
        if (view->isHidden())
            say(where + QStringLiteral("'%1' is hidden; the tap goes to what is under it").arg(words[1]));
        m_host.touches().tap(point);
    } else if (command == QLatin1String("choose")) {
        if (!needs(2, "choose NAME INDEX"))
            return;
        bool ok = false;
        const int index = words[2].toInt(&ok);
        View* view = ok ? findView(words[1]) : nullptr;
        if (!ok)
            say(where + QStringLiteral("'%1' is not an item index").arg(words[2]));
        else if (view && !view->chooseItemForScript(index))
            say(where + QStringLiteral("'%1' has no item %2").arg(words[1]).arg(index));
    } else if (command == QLatin1String("slide")) {
        if (!needs(2, "slide NAME VALUE"))
            return;
        bool ok = false;
        const float value = words[2].toFloat(&ok);
        if (!ok || !std::isfinite(value)) {
            say(where + QStringLiteral("'%1' is not a number").arg(words[2]));
            return;
        }
        View* view = findView(words[1]);
        if (!view)
            return;
        auto* slider = dynamic_cast<Slider*>(view);
        if (!slider)
            say(where + QStringLiteral("'%1' is not a slider").arg(words[1]));
        else if (!slider->slideForScript(value))
            say(where + QStringLiteral("'%1' is disabled").arg(words[1]));
    } else if (command == QLatin1String("orientation")) {
        if (!needs(1, "orientation N"))
            return;
        bool ok = false;
        const int orientation = words[1].toInt(&ok);
        if (!ok || !Device::current().setOrientation(orientation))
            say(where + QStringLiteral("orientation must be 0 to 6, not '%1'").arg(words[1]));
    } else if (command == QLatin1String("background")) {
        Application::enterBackground();
    } else if (command == QLatin1String("foreground")) {
        Application::enterForeground();
    } else if (command == QLatin1String("wait")) {
        if (!needs(1, "wait SECONDS"))
            return;
        bool ok = false;
        const double seconds = words[1].toDouble(&ok);
        if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > 24 * 3600) {
            say(where + QStringLiteral("'%1' is not a number of seconds").arg(words[1]));
            return;
        }
        scheduleNext(std::max(1, int(std::lround(seconds * 1000))));
    } else if (command == QLatin1String("screenshot")) {
        const QString path = line.mid(line.indexOf(QLatin1Char(' '))).trimmed();
        if (words.size() < 2) {
            say(where + QStringLiteral("usage: screenshot PATH"));
            return;
        }
        QString error;
        if (!m_host.writeScreenshot(path, &error))
            say(where + error);
    } else if (command == QLatin1String("quit")) {
        m_quitting = true;
        m_next.stop();
        QApplication::quit();
    } else {
        say(where + QStringLiteral("unknown command '%1'").arg(words.first()));
    }
}
