#include "platform/profile/TextEncoding.h"

#include "platform/codepage/CodePage.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace TextEncoding {
namespace {

QString fromWindows1252(const QByteArray &bytes)
{
    return CodePage::windows1252().decode(bytes.constData(), bytes.size());
}

// Unlike the table engine, a profile file is not written with '?' in place of
// a character: the caller falls back to UTF-8 instead.
bool toWindows1252(const QString &text, QByteArray &out)
{
    const CodePage &cp = CodePage::windows1252();
    out.resize(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const std::optional<char> b = cp.encodeChar(text[i]);
        if (!b)
            return false;
        out[i] = *b;
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
