#include "platform/richedit/CodePages.h"

#include "platform/codepage/CodePage.h"

#include <QStringDecoder>
#include <map>
#include <mutex>

namespace codepages {

namespace {
QString decode1252(const QByteArray &bytes)
{
    return CodePage::windows1252().decode(bytes.constData(), bytes.size());
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
    // The C1 controls the page leaves undefined are written as \u escapes,
    // not as raw bytes.
    if (c.unicode() >= 0x80 && c.unicode() < 0xA0)
        return std::nullopt;
    return CodePage::windows1252().encodeChar(c);
}

} // namespace codepages
