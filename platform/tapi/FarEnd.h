#pragma once

#include "platform/tapi/ProviderConfig.h"

#include <QByteArray>
#include <QString>
#include <vector>

struct WAVEFORMATEX;

// What the far end of a simulated call sends down the line, as telephone
// audio (8000 samples per second, 16-bit, mono), counted in samples from
// the moment it answered: a generated speech-like signal for a while, or
// the samples of a wave file, and then near-silence (a faint hiss well
// under any silence threshold).
class FarEnd {
public:
    static constexpr int kRate = 8000;

    explicit FarEnd(const FarEndConfig &config);

    qint16 sample(qint64 n) const;
    void fill(qint16 *out, qint64 from, int count) const;
    // Set when the configured wave file could not be read; the far end is
    // then silent.
    QString error() const { return m_error; }

    // The faint line hiss sent while nobody talks.
    static qint16 hiss(qint64 n);
    static qint16 speech(qint64 n);

private:
    qint64 m_talkSamples = 0;
    bool m_speech = false;
    std::vector<qint16> m_file;
    QString m_error;
};

// Reads a PCM wave file (8 or 16 bits, any channels and rate) as telephone
// audio; false with *error set otherwise.
bool readWaveAsTelephone(const QString &path, std::vector<qint16> &out, QString *error);
// Converts PCM bytes of one format to telephone audio (first channel,
// nearest sample for another rate).
std::vector<qint16> toTelephoneAudio(const QByteArray &pcm, const WAVEFORMATEX &format);
