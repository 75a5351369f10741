#include "platform/tapi/FarEnd.h"

#include "platform/mmio/Mmio.h"
#include "platform/mmio/WaveFormat.h"

#include <QFile>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
constexpr double kPi = 3.14159265358979323846;
}

FarEnd::FarEnd(const FarEndConfig &config)
{
    if (config.audio == QLatin1String("speech")) {
        m_speech = true;
        m_talkSamples = qint64(config.talkSeconds * kRate + 0.5);
    } else if (config.audio != QLatin1String("silence")) {
        if (!readWaveAsTelephone(config.audio, m_file, &m_error))
            m_file.clear();
    }
}

qint16 FarEnd::hiss(qint64 n)
{
    // A hash of the index: deterministic, so a test can compute any sample.
    quint32 x = quint32(n) * 2654435761u + 0x9E3779B9u;
    x ^= x >> 15;
    x *= 2246822519u;
    x ^= x >> 13;
    return qint16(int(x % 13) - 6);
}

qint16 FarEnd::speech(qint64 n)
{
    // Voiced sound with a wandering pitch, in syllables of about a quarter
    // second with short pauses: loud enough that no second of it is quiet.
    const double t = double(n) / kRate;
    const double phase = 120.0 * t - 30.0 / (2 * kPi * 0.7) * std::cos(2 * kPi * 0.7 * t);
    double voice = 0;
    for (int k = 1; k <= 5; ++k)
        voice += std::sin(2 * kPi * k * phase) / k;
    const double syllable = 0.55 - 0.45 * std::cos(2 * kPi * 3.7 * t);
    const double v = 5200.0 * syllable * voice + hiss(n);
    return qint16(std::lround(std::clamp(v, -32768.0, 32767.0)));
}

qint16 FarEnd::sample(qint64 n) const
{
    if (n < 0)
        return hiss(n);
    if (m_speech)
        return n < m_talkSamples ? speech(n) : hiss(n);
    if (n < qint64(m_file.size()))
        return m_file[size_t(n)];
    return hiss(n);
}

void FarEnd::fill(qint16 *out, qint64 from, int count) const
{
    for (int i = 0; i < count; ++i)
        out[i] = sample(from + i);
}

std::vector<qint16> toTelephoneAudio(const QByteArray &pcm, const WAVEFORMATEX &format)
{
    std::vector<qint16> out;
    const int bytes = format.wBitsPerSample / 8;
    const int frame = std::max(1, int(format.nChannels)) * bytes;
    if (format.wFormatTag != WAVE_FORMAT_PCM || (bytes != 1 && bytes != 2) || format.nSamplesPerSec == 0)
        return out;
    const qint64 frames = pcm.size() / frame;
    const qint64 count = frames * FarEnd::kRate / format.nSamplesPerSec;
    out.reserve(size_t(count));
    const auto *data = reinterpret_cast<const unsigned char *>(pcm.constData());
    for (qint64 i = 0; i < count; ++i) {
        const qint64 f = std::min(frames - 1, i * qint64(format.nSamplesPerSec) / FarEnd::kRate);
        const unsigned char *p = data + f * frame;
        if (bytes == 1)
            out.push_back(qint16((int(p[0]) - 128) << 8));
        else
            out.push_back(qint16(quint16(p[0]) | (quint16(p[1]) << 8)));
    }
    return out;
}

bool readWaveAsTelephone(const QString &path, std::vector<qint16> &out, QString *error)
{
    auto failWith = [&](const QString &text) {
        if (error)
            *error = path + ": " + text;
        return false;
    };
    const QByteArray name = QFile::encodeName(path);
    MMIOINFO info{};
    HMMIO h = mmioOpen(name.constData(), &info, MMIO_READ | MMIO_ALLOCBUF);
    if (!h)
        return failWith(QStringLiteral("cannot open the file"));
    struct Closer {
        HMMIO h;
        ~Closer() { mmioClose(h, 0); }
    } closer{h};
    MMCKINFO riff{};
    riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    if (mmioDescend(h, &riff, nullptr, MMIO_FINDRIFF) != MMSYSERR_NOERROR)
        return failWith(QStringLiteral("not a RIFF WAVE file"));
    MMCKINFO fmt{};
    fmt.ckid = mmioFOURCC('f', 'm', 't', ' ');
    if (mmioDescend(h, &fmt, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR || fmt.cksize < 16)
        return failWith(QStringLiteral("no format chunk"));
    WAVEFORMATEX format{};
    const std::int32_t want = std::int32_t(std::min<std::uint32_t>(fmt.cksize, sizeof format));
    if (mmioRead(h, reinterpret_cast<char *>(&format), want) != want)
        return failWith(QStringLiteral("cannot read the format"));
    mmioAscend(h, &fmt, 0);
    MMCKINFO data{};
    data.ckid = mmioFOURCC('d', 'a', 't', 'a');
    if (mmioDescend(h, &data, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR)
        return failWith(QStringLiteral("no data chunk"));
    QByteArray pcm(qsizetype(data.cksize), Qt::Uninitialized);
    const std::int32_t got = mmioRead(h, pcm.data(), std::int32_t(pcm.size()));
    if (got < 0)
        return failWith(QStringLiteral("cannot read the samples"));
    pcm.truncate(got);
    out = toTelephoneAudio(pcm, format);
    if (out.empty() && got > 0)
        return failWith(QStringLiteral("not 8- or 16-bit PCM"));
    return true;
}
