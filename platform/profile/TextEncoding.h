#pragma once

// The encodings our text files come in. Files written by the Windows
// program are in its ANSI code page (Windows-1252); files written here are
// UTF-8. A file is written back in the encoding it was read in, so reading
// and writing it again keeps its bytes.

#include <QByteArray>
#include <QString>

namespace TextEncoding {

inline const QByteArray Utf8 = "UTF-8";
inline const QByteArray Utf8Bom = "UTF-8-BOM";
inline const QByteArray Utf16LeBom = "UTF-16LE-BOM";
inline const QByteArray Windows1252 = "Windows-1252";

struct Decoded {
    QString text;
    QByteArray codec; // one of the names above
};

// By BOM first; then UTF-8 when the bytes are valid UTF-8, else Windows-1252.
Decoded decode(const QByteArray &bytes);

// Encodes in codec. Text that Windows-1252 cannot hold is written as UTF-8
// instead; usedCodec (when given) tells which.
QByteArray encode(const QString &text, const QByteArray &codec, QByteArray *usedCodec = nullptr);

// The line break a text uses: "\r\n" when it has one, else "\n" when it has
// one, else fallback.
QString lineBreakOf(const QString &text, const QString &fallback = QStringLiteral("\r\n"));

} // namespace TextEncoding
