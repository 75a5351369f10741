#include "platform/sound/Sound.h"

#include <QAudioDevice>
#include <QFile>
#include <QMediaDevices>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Whether a sound card exists decides what "played" means; without one
// every request fails quietly.
bool haveAudio()
{
    return !QMediaDevices::defaultAudioOutput().isNull();
}

TEST(PlaySound, StoppingAlwaysSucceeds)
{
    EXPECT_EQ(PlaySound(nullptr, nullptr, 0), TRUE);
    EXPECT_FALSE(soundIsPlaying());
}

TEST(PlaySound, FilesThatAreNotWavesFailWithoutTheDefaultSound)
{
    QTemporaryDir dir;
    const QByteArray junk = QFile::encodeName(dir.path() + "/junk.wav");
    QFile f(QString::fromLocal8Bit(junk));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a wave file at all, certainly not RIFF");
    f.close();
    const QByteArray missing = QFile::encodeName(dir.path() + "/missing.wav");
    for (const QByteArray &name : {junk, missing})
        EXPECT_EQ(PlaySound(name.constData(), nullptr, SND_FILENAME | SND_ASYNC | SND_NODEFAULT), FALSE);
    // With the default sound allowed, the result depends on a sound card only.
    EXPECT_EQ(PlaySound(missing.constData(), nullptr, SND_FILENAME | SND_ASYNC), haveAudio() ? TRUE : FALSE);
    PlaySound(nullptr, nullptr, 0);
}

TEST(PlaySound, WaveFilePlaysAsynchronouslyOrFailsQuietly)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/tone.wav";
    QByteArray data(16000, 0);
    auto le = [](quint32 v, int n) {
        QByteArray b;
        for (int i = 0; i < n; ++i)
            b += char((v >> (8 * i)) & 0xFF);
        return b;
    };
    QByteArray file = "RIFF" + le(36 + data.size(), 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(1, 2) +
                      le(8000, 4) + le(16000, 4) + le(2, 2) + le(16, 2) + "data" + le(data.size(), 4) + data;
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(file);
    f.close();
    const QByteArray name = QFile::encodeName(path);
    EXPECT_EQ(PlaySound(name.constData(), nullptr, SND_FILENAME | SND_ASYNC | SND_NODEFAULT),
              haveAudio() ? TRUE : FALSE);
    EXPECT_EQ(PlaySound(nullptr, nullptr, 0), TRUE);
    EXPECT_FALSE(soundIsPlaying());
}

} // namespace
