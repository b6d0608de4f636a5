#include "platform/device/SystemSound.h"

#include <atomic>
#include <cmath>
#include <memory>

#include <QAudioDevice>
#include <QCoreApplication>
#include <QDataStream>
#include <QGuiApplication>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QTemporaryFile>
#include <QUrl>

namespace platform {

namespace {

std::atomic<int> g_playCount { 0 };
std::atomic<bool> g_muted { false };

// A 25 ms click: a 3 kHz tone with a fast exponential decay, 16-bit mono PCM at 44.1 kHz.
QByteArray clickWav()
{
    constexpr int rate = 44100;
    constexpr int samples = rate / 40;
    QByteArray pcm;
    pcm.reserve(samples * 2);
    for (int i = 0; i < samples; ++i) {
        const double t = double(i) / rate;
        const double v = std::sin(2 * M_PI * 3000 * t) * std::exp(-t * 250) * 0.6;
        const qint16 s = qint16(std::lround(v * 32767));
        pcm.append(char(s & 0xff));
        pcm.append(char((s >> 8) & 0xff));
    }
    QByteArray wav;
    QDataStream out(&wav, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + pcm.size());
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << quint32(rate) << quint32(rate * 2) << quint16(2)
        << quint16(16);
    out.writeRawData("data", 4);
    out << quint32(pcm.size());
    out.writeRawData(pcm.constData(), int(pcm.size()));
    return wav;
}

// Lives on the main thread; made on the first audible play.
class ClickPlayer {
public:
    void play()
    {
        if (!m_effect && !prepare())
            return;
        m_effect->play();
    }

private:
    bool prepare()
    {
        if (m_failed)
            return false;
        if (QMediaDevices::audioOutputs().isEmpty()) {
            m_failed = true;
            return false;
        }
        m_file = std::make_unique<QTemporaryFile>(QStringLiteral("lumivue-click-XXXXXX.wav"));
        if (!m_file->open() || m_file->write(clickWav()) < 0 || !m_file->flush()) {
            m_failed = true;
            return false;
        }
        m_effect = std::make_unique<QSoundEffect>();
        m_effect->setSource(QUrl::fromLocalFile(m_file->fileName()));
        m_effect->setVolume(0.5f);
        return true;
    }

    std::unique_ptr<QTemporaryFile> m_file;
    std::unique_ptr<QSoundEffect> m_effect;
    bool m_failed { false };
};

bool audible()
{
    if (g_muted.load())
        return false;
    return QGuiApplication::platformName() != QLatin1String("offscreen");
}

} // namespace

void SystemSound::play(int soundId)
{
    if (soundId != clickSoundId)
        return;
    g_playCount.fetch_add(1);
    auto* app = QCoreApplication::instance();
    if (!app || !qGuiApp)
        return;
    QMetaObject::invokeMethod(
        app,
        [] {
            if (!audible())
                return;
            // Made and kept on the main thread; intentionally left for process exit.
            static ClickPlayer* player = new ClickPlayer;
            player->play();
        },
        Qt::QueuedConnection);
}

int SystemSound::playCount()
{
    return g_playCount.load();
}

void SystemSound::setMuted(bool muted)
{
    g_muted.store(muted);
}

} // namespace platform
