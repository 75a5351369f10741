#include "telephony/WaveStream.h"
#include "tests/support/RiffBytes.h"
#include "tests/telephony/TapiTestSupport.h"

#include <QDir>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtEndian>

#include <sys/resource.h>

namespace {

using TapiWaveTest = TapiFixture;

// The data chunk and format of a wave file we wrote or recorded.
struct WaveContents {
    int rate = 0, channels = 0, bits = 0, formatSize = 0;
    QByteArray data;
};

WaveContents readWave(const QString &path)
{
    WaveContents w;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return w;
    const QByteArray all = f.readAll();
    if (all.size() < 12 || !all.startsWith("RIFF") || all.mid(8, 4) != "WAVE")
        return w;
    for (qsizetype pos = 12; pos + 8 <= all.size();) {
        const QByteArray id = all.mid(pos, 4);
        const quint32 size = qFromLittleEndian<quint32>(all.constData() + pos + 4);
        if (id == "fmt ") {
            w.formatSize = int(size);
            w.channels = qFromLittleEndian<quint16>(all.constData() + pos + 10);
            w.rate = int(qFromLittleEndian<quint32>(all.constData() + pos + 12));
            w.bits = qFromLittleEndian<quint16>(all.constData() + pos + 22);
        } else if (id == "data") {
            w.data = all.mid(pos + 8, size);
        }
        pos += 8 + size + (size & 1);
    }
    return w;
}

qint16 sampleAt(const QByteArray &data, qint64 i)
{
    return qFromLittleEndian<qint16>(data.constData() + 2 * i);
}

TEST_F(TapiWaveTest, PlayWaveSendsTheWholeFileDownTheLine)
{
    create();
    const QString file = te.path("message.wav");
    const QByteArray samples = rampSamples(8000 * 7); // 7 seconds: two full buffers and a part
    writeWaveFile(file, 8000, 1, 16, samples);
    dialAndConnect();
    dev->PlayWave(file);
    EXPECT_EQ(dev->WaveMode(), 1);
    EXPECT_TRUE(runUntil([this] { return dev->WaveMode() == 0; }, 20000));
    run(10);
    EXPECT_EQ(provider()->lastCall()->heard, samples);
    EXPECT_EQ(waves, (std::vector<TWaveMessage>{waPlayOpen, waPlayDone, waPlayClose}));
    EXPECT_EQ(dev->CallState(), 8);
    dev->DropCall();
}

TEST_F(TapiWaveTest, OtherFormatsPlayThroughTheMappedDevice)
{
    create();
    const QString file = te.path("stereo.wav");
    QByteArray data(22050 * 4 * 2, Qt::Uninitialized); // 2 s of 22.05 kHz 16-bit stereo
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(i * 31);
    writeWaveFile(file, 22050, 2, 16, data);
    dialAndConnect();
    dev->PlayWave(file);
    EXPECT_TRUE(runUntil([this] { return dev->WaveMode() == 0; }, 20000));
    EXPECT_EQ(provider()->lastCall()->heard, data);
    EXPECT_EQ(provider()->lastCall()->heardFormat.nSamplesPerSec, 22050u);
    dev->DropCall();
}

TEST_F(TapiWaveTest, NewPlayWaveStopsTheMessageThatPlays)
{
    create();
    const QString first = te.path("first.wav"), second = te.path("second.wav");
    const QByteArray a = rampSamples(8000 * 10, 1), b = rampSamples(8000 * 2, 5);
    writeWaveFile(first, 8000, 1, 16, a);
    writeWaveFile(second, 8000, 1, 16, b);
    dialAndConnect();
    dev->PlayWave(first);
    run(1000);
    dev->PlayWave(second);
    EXPECT_EQ(dev->WaveMode(), 1);
    EXPECT_TRUE(runUntil([this] { return dev->WaveMode() == 0; }, 20000));
    const QByteArray heard = provider()->lastCall()->heard;
    // About a second of the first message, then all of the second.
    EXPECT_TRUE(heard.endsWith(b));
    EXPECT_EQ(heard.left(heard.size() - b.size()), a.left(heard.size() - b.size()));
    EXPECT_LT(heard.size() - b.size(), a.size());
    EXPECT_EQ(std::count(waves.begin(), waves.end(), waPlayDone), 2);
    dev->DropCall();
}

TEST_F(TapiWaveTest, PlaybackAndRecordingExcludeEachOther)
{
    create();
    const QString file = te.path("m.wav");
    writeWaveFile(file, 8000, 1, 16, rampSamples(8000 * 5));
    writeProvider("[Default]\nTalkSeconds=100\nHangupSeconds=200\n");
    dialAndConnect();
    dev->PlayWave(file);
    try {
        dev->StartRecording();
        ADD_FAILURE() << "recording started while playing";
    } catch (const ETapiWaveFail &e) {
        EXPECT_STREQ(e.what(), "Wave device in use");
    }
    dev->StopWave();
    EXPECT_TRUE(runUntil([this] { return dev->WaveMode() == 0; }));
    dev->StartRecording();
    EXPECT_EQ(dev->WaveMode(), 2);
    try {
        dev->PlayWave(file);
        ADD_FAILURE() << "played while recording";
    } catch (const ETapiWaveFail &e) {
        EXPECT_STREQ(e.what(), "Wave device in use");
    }
    EXPECT_THROW(dev->SaveRecording(te.path("x.wav"), true), ETapiWaveFail);
    dev->EndRecording();
    EXPECT_TRUE(runUntil([this] { return dev->WaveMode() == 3; }));
    dev->DropCall();
}

TEST_F(TapiWaveTest, PlayWaveErrors)
{
    create();
    const QString file = te.path("m.wav");
    writeWaveFile(file, 8000, 1, 16, rampSamples(800));
    auto textOf = [&](const QString &name) {
        try {
            dev->PlayWave(name);
        } catch (const ETapiWaveFail &e) {
            return QString::fromUtf8(e.what());
        }
        return QString();
    };
    EXPECT_EQ(textOf(te.path("missing.wav")), QStringLiteral("File not found"));
    EXPECT_EQ(textOf(file), QStringLiteral("TAPI wave file error")); // no call
    dialAndConnect();
    QFile junk(te.path("junk.wav"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("this is not a wave file");
    junk.close();
    EXPECT_EQ(textOf(junk.fileName()), QStringLiteral("Unable to read wave file data"));
    // A format the line's wave device refuses gives the platform's text.
    const QString deep = te.path("deep.wav");
    writeWaveFile(deep, 8000, 1, 24, QByteArray(2400, 1));
    EXPECT_EQ(textOf(deep), QStringLiteral("The line cannot play this wave format."));
    EXPECT_EQ(dev->WaveMode(), 0);
    dev->DropCall();
}

QString writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        ADD_FAILURE() << "cannot write " << path.toStdString();
    return path;
}

// 8 kHz 16-bit mono in an extensible record with the given sub-format GUID
// (its first four bytes are the plain tag it stands for).
QByteArray extensibleTelephoneWave(std::uint32_t subFormatTag, const QByteArray &samples)
{
    const QByteArray guidTail("\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 12);
    const QByteArray fmt = le16(0xFFFE) + le16(1) + le32(8000) + le32(16000) + le16(2) + le16(16) + le16(22) +
                           le16(16) + le32(0x4) + le32(subFormatTag) + guidTail;
    return riff(chunk("fmt ", fmt) + chunk("data", samples));
}

long peakResidentKb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

TEST_F(TapiWaveTest, WhatPassesTheTelephoneQualityCheckPlaysOnTheLine)
{
    create();
    const QByteArray samples = rampSamples(8000 * 2);
    const QString extensible = writeBytes(te.path("ext.wav"), extensibleTelephoneWave(1, samples));
    // A float sub-format cannot hold 16-bit samples; the line refuses it.
    const QString floats = writeBytes(te.path("float.wav"), extensibleTelephoneWave(3, samples));
    EXPECT_TRUE(TFileWaveStream(extensible).isTelephoneQuality());
    dialAndConnect();
    dev->PlayWave(extensible);
    EXPECT_TRUE(runUntil([this] { return dev->WaveMode() == 0; }, 20000));
    run(10);
    EXPECT_EQ(provider()->lastCall()->heard, samples);
    EXPECT_EQ(provider()->lastCall()->heardFormat.wFormatTag, WAVE_FORMAT_PCM);
    try {
        dev->PlayWave(floats);
        ADD_FAILURE() << "a float sub-format played";
    } catch (const ETapiWaveFail &e) {
        EXPECT_STREQ(e.what(), "The line cannot play this wave format.");
    }
    EXPECT_EQ(dev->WaveMode(), 0);
    dev->DropCall();
}

TEST_F(TapiWaveTest, AnEmptyMessageOpensBeforeItIsDone)
{
    create();
    const QString file = te.path("empty.wav");
    writeWaveFile(file, 8000, 1, 16, QByteArray());
    dialAndConnect();
    dev->PlayWave(file);
    EXPECT_TRUE(runUntil([this] { return dev->WaveMode() == 0; }, 5000));
    run(10);
    EXPECT_EQ(waves, (std::vector<TWaveMessage>{waPlayOpen, waPlayDone, waPlayClose}));
    EXPECT_TRUE(provider()->lastCall()->heard.isEmpty());
    dev->DropCall();
}

TEST_F(TapiWaveTest, ChunkSizesBeyondTheFileAllocateNothing)
{
    create();
    // 20 bytes whose "fmt " chunk claims 2 GB.
    const QString file =
        writeBytes(te.path("liar.wav"), QByteArray("RIFF") + le32(12) + "WAVE" + "fmt " + le32(0x7FFFFFF0));
    ASSERT_EQ(QFileInfo(file).size(), 20);
    dialAndConnect();
    const long before = peakResidentKb();
    try {
        dev->PlayWave(file);
        ADD_FAILURE() << "a 20-byte file played";
    } catch (const ETapiWaveFail &e) {
        EXPECT_STREQ(e.what(), "Unable to read wave file data");
    }
    EXPECT_THROW(TFileWaveStream{file}, EWaveStreamError);
    EXPECT_LT(peakResidentKb() - before, 64 * 1024) << "kB allocated for a 20-byte file";
    EXPECT_EQ(dev->WaveMode(), 0);
    dev->DropCall();
}

TEST_F(TapiWaveTest, FarEndKeyPressStopsPlayback)
{
    writeProvider("[Default]\nDtmf=2:5\n");
    create();
    std::vector<char> digits;
    dev->OnTapiDTMF = [&](TCustomTapiDevice *, char d, DWORD) { digits.push_back(d); };
    const QString file = te.path("long.wav");
    const QByteArray samples = rampSamples(8000 * 20);
    writeWaveFile(file, 8000, 1, 16, samples);
    dialAndConnect();
    dev->PlayWave(file);
    EXPECT_TRUE(runUntil([this] { return dev->WaveMode() == 0; }, 5000));
    EXPECT_EQ(digits, std::vector<char>{'5'});
    const qsizetype heard = provider()->lastCall()->heard.size();
    EXPECT_GT(heard, 0);
    EXPECT_LT(heard, samples.size() / 4); // stopped about two seconds in
    EXPECT_EQ(dev->CallState(), 8);
    dev->DropCall();
}

TEST_F(TapiWaveTest, FirstSilentSecondEndsTheRecordingAndHangsUp)
{
    // GIVEN the default far end, which talks for four seconds after answering
    create();
    dialAndConnect();
    const qint64 startSample = te.clock.monotonicMs() * 8;
    const qint64 answerSample = provider()->lastCall()->connectedAtMs * 8;
    dev->StartRecording();
    EXPECT_EQ(dev->WaveMode(), 2);
    // WHEN it falls silent
    EXPECT_TRUE(runUntil([this] { return dev->WaveMode() == 3; }, 30000));
    // THEN the recording ended and the call was dropped
    EXPECT_FALSE(dev->LineOpen());
    EXPECT_EQ(dev->CallState(), 0);
    EXPECT_EQ(waves.front(), waRecordOpen);
    EXPECT_NE(std::find(waves.begin(), waves.end(), waDataReady), waves.end());

    const WaveContents w = readWave(dev->RecordingFile());
    EXPECT_EQ(w.rate, 8000);
    EXPECT_EQ(w.channels, 1);
    EXPECT_EQ(w.bits, 16);
    EXPECT_EQ(w.formatSize, 18);
    ASSERT_GE(w.data.size(), 5 * 16000); // four seconds of talk and the silent one
    EXPECT_LT(w.data.size(), 6 * 16000);
    // Every recorded sample is what the far end sent at that moment.
    const FarEnd far(provider()->lastCall()->far);
    qint64 mismatches = 0;
    for (qint64 i = 0; i < w.data.size() / 2; ++i)
        mismatches += sampleAt(w.data, i) != far.sample(startSample + i - answerSample);
    EXPECT_EQ(mismatches, 0);
}

TEST_F(TapiWaveTest, SilenceHandlerMayKeepTheRecordingAndTheCall)
{
    writeProvider("[Default]\nTalkSeconds=0\nHangupSeconds=100\n");
    create();
    int asked = 0;
    dev->OnTapiWaveSilence = [&](TCustomTapiDevice *, bool &stop, bool &hangup) {
        ++asked;
        EXPECT_TRUE(stop && hangup);
        stop = hangup = false;
    };
    dialAndConnect();
    dev->StartRecording();
    run(5500);
    EXPECT_EQ(asked, 1); // once per silent stretch
    EXPECT_EQ(dev->WaveMode(), 2);
    EXPECT_EQ(dev->CallState(), 8);
    dev->EndRecording();
    EXPECT_TRUE(runUntil([this] { return dev->WaveMode() == 3; }));
    EXPECT_EQ(readWave(dev->RecordingFile()).data.size(), 5 * 16000 + 500 * 16);
    dev->DropCall();
}

TEST_F(TapiWaveTest, SixtySecondLimitEndsTheRecordingWhileTheCallGoesOn)
{
    writeProvider("[Default]\nTalkSeconds=90\nHangupSeconds=120\n");
    create();
    dialAndConnect();
    run(1234); // starts mid-sentence
    const qint64 recordStartSample = te.clock.monotonicMs() * 8;
    dev->StartRecording();
    EXPECT_TRUE(runUntil([this] { return dev->WaveMode() == 3; }, 90000));
    run(10);
    EXPECT_EQ(waves.back(), waRecordClose);
    EXPECT_NE(std::find(waves.begin(), waves.end(), waDataReady), waves.end());
    EXPECT_EQ(dev->CallState(), 8);
    EXPECT_TRUE(dev->LineOpen());
    const QString recording = dev->RecordingFile();
    EXPECT_EQ(readWave(recording).data.size(), 960000);

    // An independent reader sees a 60-second telephone-quality file.
    if (QStandardPaths::findExecutable("soxi").isEmpty())
        GTEST_SKIP() << "soxi (package sox) is not installed";
    QProcess soxi;
    soxi.start("soxi", {"-t", recording});
    ASSERT_TRUE(soxi.waitForFinished());
    QProcess info;
    info.start("soxi", {recording});
    ASSERT_TRUE(info.waitForFinished());
    const QString out = QString::fromUtf8(info.readAllStandardOutput());
    EXPECT_TRUE(out.contains(QRegularExpression("Channels\\s*: 1"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QRegularExpression("Sample Rate\\s*: 8000"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QRegularExpression("Precision\\s*: 16-bit"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QRegularExpression("Duration\\s*: 00:01:00.00 = 480000 samples")))
        << out.toStdString();
    EXPECT_EQ(QString::fromUtf8(soxi.readAllStandardOutput()).trimmed(), QStringLiteral("wav"));
    // sox decodes the far end's samples.
    QProcess sox;
    sox.start("sox", {recording, "-t", "raw", "-e", "signed-integer", "-b", "16", "-L", "-"});
    ASSERT_TRUE(sox.waitForFinished());
    const QByteArray decoded = sox.readAllStandardOutput();
    ASSERT_EQ(decoded.size(), 960000);
    const FarEnd far(provider()->lastCall()->far);
    const qint64 offset = recordStartSample - provider()->lastCall()->connectedAtMs * 8;
    qint64 mismatches = 0;
    for (qint64 i = 0; i < decoded.size() / 2; ++i)
        mismatches += sampleAt(decoded, i) != far.sample(offset + i);
    EXPECT_EQ(mismatches, 0);
    dev->DropCall();
}

TEST_F(TapiWaveTest, SaveRecordingMovesTheFinishedRecording)
{
    writeProvider("[Default]\nTalkSeconds=100\nHangupSeconds=200\n");
    create();
    const QString target = te.path("call.wav");
    try {
        dev->SaveRecording(target, true);
        ADD_FAILURE() << "saved without a recording";
    } catch (const ETapiWaveFail &e) {
        EXPECT_STREQ(e.what(), "No wave data available");
    }
    dialAndConnect();
    dev->StartRecording();
    run(2000);
    dev->EndRecording();
    EXPECT_TRUE(runUntil([this] { return dev->WaveMode() == 3; }));
    const QString temp = dev->RecordingFile();
    EXPECT_TRUE(QFileInfo(temp).fileName().startsWith("~AP"));
    const QByteArray recorded = readWave(temp).data;

    QFile old(target);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("older recording");
    old.close();
    try {
        dev->SaveRecording(target, false);
        ADD_FAILURE() << "overwrote without permission";
    } catch (const ETapiWaveFail &e) {
        EXPECT_STREQ(e.what(), "Wave file already exists");
    }
    EXPECT_EQ(dev->WaveMode(), 3);

    // A target the file system refuses keeps the recording for another try.
    EXPECT_THROW(dev->SaveRecording(te.path("no/such/folder/call.wav"), true), ETapiWaveFail);
    EXPECT_EQ(dev->WaveMode(), 3);
    EXPECT_TRUE(QFile::exists(temp));

    dev->SaveRecording(target, true);
    EXPECT_EQ(dev->WaveMode(), 0);
    EXPECT_FALSE(QFile::exists(temp));
    EXPECT_EQ(readWave(target).data, recorded);
    EXPECT_EQ(recorded.size(), 2 * 16000);
    dev->DropCall();
}

TEST_F(TapiWaveTest, DropCallStopsPlaybackButNotTheRecording)
{
    create();
    const QString file = te.path("m.wav");
    writeWaveFile(file, 8000, 1, 16, rampSamples(8000 * 10));
    dialAndConnect();
    dev->PlayWave(file);
    run(500);
    dev->DropCall();
    EXPECT_TRUE(runUntil([this] { return dev->WaveMode() == 0; }, 2000));
    EXPECT_LT(provider()->lastCall()->heard.size(), 8000 * 2);

    dialAndConnect();
    dev->setSilenceCount(0); // no silence check: only the drop could end it
    dev->StartRecording();
    run(1500);
    dev->DropCall();
    run(1000);
    EXPECT_EQ(dev->WaveMode(), 2);
    dev->EndRecording();
    EXPECT_TRUE(runUntil([this] { return dev->WaveMode() == 3; }));
}

} // namespace

namespace {

TEST_F(TapiWaveTest, EndingExactlyAsABufferFillsStillFinishesTheRecording)
{
    writeProvider("[Default]\nTalkSeconds=100\nHangupSeconds=200\n");
    create();
    dialAndConnect();
    // Scheduled before the recording starts, so it runs just before the
    // first buffer comes back full at the same moment.
    te.clock.singleShot(1000, nullptr, [this] { dev->EndRecording(); });
    dev->StartRecording();
    EXPECT_TRUE(runUntil([this] { return dev->WaveMode() == 3; }, 5000));
    EXPECT_EQ(readWave(dev->RecordingFile()).data.size(), 16000);
    dev->DropCall();
}

TEST_F(TapiWaveTest, CallProgressWindowRendersDuringACall)
{
    create();
    dev->DialNumber(QStringLiteral("555-0100"));
    ASSERT_TRUE(runUntil([this] { return dev->CallState() == 5; }));
    run(6000); // the second ring
    ASSERT_TRUE(status->isShowing());
    const QPixmap shot = status->display()->grab();
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(status->display()->windowTitle(), QStringLiteral("Call Progress"));
    const QString out = QDir::tempPath() + "/brenvoy-call-progress.png";
    EXPECT_TRUE(shot.save(out, "PNG"));
    dev->DropCall();
}

} // namespace
