#pragma once

#include <QByteArray>
#include <cstdint>

// Building RIFF files byte by byte, for tests of the file layers that read
// them. Little-endian, as RIFF is.
inline QByteArray le16(std::uint16_t v)
{
    const char b[2] = {char(v & 0xFF), char(v >> 8)};
    return QByteArray(b, 2);
}

inline QByteArray le32(std::uint32_t v)
{
    return le16(std::uint16_t(v & 0xFFFF)) + le16(std::uint16_t(v >> 16));
}

// A chunk with its size, padded to an even length.
inline QByteArray chunk(const char *id, const QByteArray &data)
{
    QByteArray c = QByteArray(id, 4) + le32(std::uint32_t(data.size())) + data;
    if (data.size() & 1)
        c += '\0';
    return c;
}

inline QByteArray riff(const QByteArray &body, const char *type = "WAVE")
{
    return QByteArray("RIFF") + le32(std::uint32_t(body.size() + 4)) + QByteArray(type, 4) + body;
}

// A whole wave file: a format chunk (formatTag 1 is PCM) and the data.
inline QByteArray waveFileBytes(int formatTag, int rate, int channels, int bits, const QByteArray &data)
{
    const int block = channels * bits / 8;
    const QByteArray fmt = le16(std::uint16_t(formatTag)) + le16(std::uint16_t(channels)) +
                           le32(std::uint32_t(rate)) + le32(std::uint32_t(rate * block)) +
                           le16(std::uint16_t(block)) + le16(std::uint16_t(bits));
    return riff(chunk("fmt ", fmt) + chunk("data", data));
}
