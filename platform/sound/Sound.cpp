#include "platform/sound/Sound.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMediaDevices>
#include <QPointer>
#include <QSoundEffect>
#include <QThread>
#include <QUrl>
#include <QtEndian>
#include <cmath>

namespace {

// The one sound playing at a time, owned by the application object so it
// goes away with it.
struct Player {
    QPointer<QSoundEffect> effect;
    QPointer<QAudioSink> beep;
    QPointer<QBuffer> beepData;
};

Player &player()
{
    static Player p;
    return p;
}

void stopAll()
{
    Player &p = player();
    if (p.effect) {
        p.effect->stop();
        p.effect->deleteLater();
    }
    if (p.beep) {
        p.beep->stop();
        p.beep->deleteLater();
    }
    if (p.beepData)
        p.beepData->deleteLater();
    p.effect = nullptr;
    p.beep = nullptr;
    p.beepData = nullptr;
}

// A RIFF WAVE file with PCM data: what QSoundEffect can play.
bool playableWave(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = f.read(36);
    return head.size() == 36 && head.startsWith("RIFF") && head.mid(8, 4) == "WAVE" &&
           qFromLittleEndian<quint16>(head.constData() + 20) == 1;
}

bool waitWhilePlaying(qint64 limitMs)
{
    QElapsedTimer t;
    t.start();
    while (soundIsPlaying() && t.elapsed() < limitMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

// The default sound: a short two-tone chime.
bool playDefault(bool sync)
{
    const QAudioDevice out = QMediaDevices::defaultAudioOutput();
    if (out.isNull())
        return false;
    QAudioFormat format;
    format.setSampleRate(8000);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!out.isFormatSupported(format))
        return false;
    QByteArray pcm(8000 * 2 * 3 / 10, Qt::Uninitialized);
    for (int i = 0; i < pcm.size() / 2; ++i) {
        const double f = i < 1200 ? 880.0 : 660.0;
        const double v = 8000.0 * std::sin(2 * 3.14159265358979 * f * i / 8000.0);
        qToLittleEndian(qint16(v), pcm.data() + 2 * i);
    }
    Player &p = player();
    p.beepData = new QBuffer(qApp);
    p.beepData->setData(pcm);
    p.beepData->open(QIODevice::ReadOnly);
    p.beep = new QAudioSink(out, format, qApp);
    p.beep->start(p.beepData);
    if (p.beep->error() != QAudio::NoError) {
        stopAll();
        return false;
    }
    if (sync)
        waitWhilePlaying(2000);
    return true;
}

} // namespace

bool soundIsPlaying()
{
    const Player &p = player();
    return (p.effect && p.effect->isPlaying()) || (p.beep && p.beep->state() == QAudio::ActiveState);
}

BOOL PlaySound(const char *pszSound, HMODULE, std::uint32_t fdwSound)
{
    if (!pszSound || (fdwSound & SND_PURGE)) {
        stopAll();
        return TRUE;
    }
    if (fdwSound & (SND_MEMORY | SND_ALIAS))
        return FALSE;
    if ((fdwSound & SND_NOSTOP) && soundIsPlaying())
        return FALSE;
    stopAll();
    if (!QCoreApplication::instance())
        return FALSE;
    const bool sync = !(fdwSound & SND_ASYNC);
    const QString path = QFile::decodeName(pszSound);
    if (!playableWave(path))
        return (fdwSound & SND_NODEFAULT) ? FALSE : BOOL(playDefault(sync));
    const QAudioDevice out = QMediaDevices::defaultAudioOutput();
    if (out.isNull())
        return FALSE; // no sound card: quietly nothing
    Player &p = player();
    p.effect = new QSoundEffect(out, qApp);
    p.effect->setSource(QUrl::fromLocalFile(path));
    p.effect->setLoopCount((fdwSound & SND_LOOP) ? QSoundEffect::Infinite : 1);
    p.effect->play(); // starts once loaded
    if (sync)
        waitWhilePlaying(10 * 60 * 1000);
    return TRUE;
}
