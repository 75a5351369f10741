#include "platform/richedit/CodePages.h"

#include <QStringDecoder>
#include <map>
#include <mutex>

namespace codepages {

namespace {
// 0x80..0x9F of Windows-1252; the rest of the page is Latin-1. Unassigned
// bytes keep their C1 value, as Windows' own converter does.
const char16_t k1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString decode1252(const QByteArray &bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        out += (b >= 0x80 && b < 0xA0) ? QChar(k1252High[b - 0x80]) : QChar(b);
    }
    return out;
}
} // namespace

int fromCharset(int charset)
{
    switch (charset) {
    case 2:
        return -1; // symbol
    case 77:
        return 10000;
    case 128:
        return 932;
    case 129:
        return 949;
    case 134:
        return 936;
    case 136:
        return 950;
    case 161:
        return 1253;
    case 162:
        return 1254;
    case 163:
        return 1258;
    case 177:
        return 1255;
    case 178:
        return 1256;
    case 186:
        return 1257;
    case 204:
        return 1251;
    case 222:
        return 874;
    case 238:
        return 1250;
    case 255:
        return 437;
    default:
        return 0;
    }
}

QString decode(const QByteArray &bytes, int codePage)
{
    if (codePage <= 0 || codePage == 1252 || bytes.isEmpty())
        return decode1252(bytes);
    if (codePage == 65001)
        return QString::fromUtf8(bytes);
    if (codePage == 28591)
        return QString::fromLatin1(bytes);

    // Qt's converters are looked up by name; remember which exist.
    static std::mutex lock;
    static std::map<int, bool> known;
    const QByteArray name = codePage == 10000 ? QByteArray("macintosh")
                            : codePage == 932 ? QByteArray("Shift_JIS")
                            : codePage == 936 ? QByteArray("GBK")
                            : codePage == 949 ? QByteArray("EUC-KR")
                            : codePage == 950 ? QByteArray("Big5")
                            : codePage == 437 ? QByteArray("IBM437")
                            : codePage == 850 ? QByteArray("IBM850")
                                              : "windows-" + QByteArray::number(codePage);
    {
        std::lock_guard<std::mutex> guard(lock);
        auto it = known.find(codePage);
        if (it != known.end() && !it->second)
            return decode1252(bytes);
    }
    QStringDecoder decoder(name.constData());
    {
        std::lock_guard<std::mutex> guard(lock);
        known[codePage] = decoder.isValid();
    }
    if (!decoder.isValid())
        return decode1252(bytes);
    QString out = decoder.decode(bytes);
    return out;
}

std::optional<char> encode1252(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
        return static_cast<char>(u);
    for (int i = 0; i < 32; ++i)
        if (k1252High[i] == u && u >= 0x100)
            return static_cast<char>(0x80 + i);
    return std::nullopt;
}

} // namespace codepages
