#include "support/LiveLumivue.h"

#include <algorithm>

#include <QDeadlineTimer>

#include "support/Program.h"
#include "support/TestTimeScale.h"

namespace {

const QString kProgram = QStringLiteral(LUMIVUE_BINARY_DIR "/bin/lumivue");

} // namespace

LiveLumivue::LiveLumivue(const QStringList& arguments, const QProcessEnvironment& environment)
{
    m_process.setProcessEnvironment(testing_support::withOwnSettings(environment, m_settingsHome));
    // The log is on stderr; waits follow it.
    m_process.setReadChannel(QProcess::StandardError);
    m_process.start(kProgram, QStringList { "--headless", "--no-analytics", "--control", "-" } + arguments);
    m_started = m_process.waitForStarted(10000);
}

LiveLumivue::~LiveLumivue()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
}

void LiveLumivue::send(const QString& line)
{
    m_process.write((line + QLatin1Char('\n')).toUtf8());
}

void LiveLumivue::readLog()
{
    m_log += QString::fromUtf8(m_process.readAllStandardError());
}

bool LiveLumivue::waitForLog(const QString& text, int count, int limitMs)
{
    QDeadlineTimer deadline(test_support::scaledLimitMs(limitMs));
    readLog();
    while (occurrences(text) < count) {
        if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
            return false;
        m_process.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
        readLog();
    }
    return true;
}

bool LiveLumivue::sync()
{
    // A tap on a view that does not exist is reported on stderr in script order: a barrier.
    const QString marker = QStringLiteral("sync-marker-%1").arg(++m_syncs);
    send(QStringLiteral("tap ") + marker);
    return waitForLog(QStringLiteral("'%1'").arg(marker));
}

void LiveLumivue::kill()
{
    m_process.kill();
    m_process.waitForFinished(10000);
    readLog();
}

int LiveLumivue::quit()
{
    send(QStringLiteral("quit"));
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(test_support::scaledLimitMs(60000))) {
        m_process.kill();
        m_process.waitForFinished(10000);
        readLog();
        return -1;
    }
    readLog();
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}
