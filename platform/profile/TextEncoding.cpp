#include "platform/profile/TextEncoding.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <array>

namespace TextEncoding {
namespace {

// Windows-1252 differs from Latin-1 only in 0x80..0x9F; 0 marks the five
// unassigned bytes, which Windows maps to the C1 controls of the same value.
constexpr std::array<char16_t, 32> kHigh = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                            0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                            0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                            0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

QString fromWindows1252(const QByteArray &bytes)
{
    QString out;
    out.resize(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        char16_t c = b;
        if (b >= 0x80 && b < 0xA0 && kHigh[b - 0x80] != 0)
            c = kHigh[b - 0x80];
        out[i] = QChar(c);
    }
    return out;
}

bool toWindows1252(const QString &text, QByteArray &out)
{
    out.resize(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF) || (c >= 0x80 && c < 0xA0 && kHigh[c - 0x80] == 0)) {
            out[i] = static_cast<char>(c);
            continue;
        }
        bool found = false;
        for (size_t k = 0; k < kHigh.size(); ++k) {
            if (kHigh[k] == c && c != 0) {
                out[i] = static_cast<char>(0x80 + k);
                found = true;
                break;
            }
        }
        if (!found)
            return false;
    }
    return true;
}

} // namespace

Decoded decode(const QByteArray &bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return {QString::fromUtf8(bytes.mid(3)), Utf8Bom};
    if (bytes.startsWith("\xFF\xFE")) {
        QStringDecoder dec(QStringDecoder::Utf16LE);
        return {QString(dec(bytes.mid(2))), Utf16LeBom};
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return {text, Utf8};
    return {fromWindows1252(bytes), Windows1252};
}

QByteArray encode(const QString &text, const QByteArray &codec, QByteArray *usedCodec)
{
    QByteArray used = codec;
    QByteArray out;
    if (codec == Windows1252) {
        if (!toWindows1252(text, out)) {
            used = Utf8;
            out = text.toUtf8();
        }
    } else if (codec == Utf8Bom) {
        out = "\xEF\xBB\xBF" + text.toUtf8();
    } else if (codec == Utf16LeBom) {
        QStringEncoder enc(QStringEncoder::Utf16LE);
        out = "\xFF\xFE" + QByteArray(enc(text));
    } else {
        used = Utf8;
        out = text.toUtf8();
    }
    if (usedCodec)
        *usedCodec = used;
    return out;
}

QString lineBreakOf(const QString &text, const QString &fallback)
{
    if (text.contains(QLatin1String("\r\n")))
        return QStringLiteral("\r\n");
    if (text.contains(QLatin1Char('\n')))
        return QStringLiteral("\n");
    return fallback;
}

} // namespace TextEncoding
