#pragma once

#include <QByteArray>

class QTextDocument;

namespace rtf {

// The document as RTF that the Windows rich-text control, WordPad and
// LibreOffice read back with the same text and formatting: fonts, sizes,
// bold/italic/underline/strike-out, colours, alignment, indents, bullets.
// Text outside Windows-1252 is written as \u with a "?" fallback.
QByteArray write(const QTextDocument &doc);

} // namespace rtf
