#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Windows code pages as RTF names them (\ansicpgN, \fcharsetN). 1252 is
// built in, so western documents never depend on ICU; the others go
// through Qt's converters and fall back to 1252 when Qt has none.
namespace codepages {

// Code page of an RTF \fcharset value; 0 when the charset means "the
// document's code page" (ANSI, default) and -1 for symbol fonts.
int fromCharset(int charset);

QString decode(const QByteArray &bytes, int codePage);

// The single Windows-1252 byte for c, if there is one.
std::optional<char> encode1252(QChar c);

} // namespace codepages
