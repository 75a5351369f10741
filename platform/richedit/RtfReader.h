#pragma once

#include <QByteArray>
#include <QString>
#include <stdexcept>

class QTextDocument;

// Failures of the rich-text layer; what() is UTF-8.
class RichEditError : public std::runtime_error {
public:
    explicit RichEditError(const QString &text) : std::runtime_error(text.toUtf8().toStdString()) {}
};

namespace rtf {

// Indents: the document keeps pixels at 96 dpi, RTF counts twips.
constexpr double kPixelsPerTwip = 96.0 / 1440.0;

// True when data starts as an RTF document ("{\rtf", leading blanks allowed).
bool isRtf(const QByteArray &data);

// Replaces the contents of doc with the RTF in data. Never fails on broken
// input: unbalanced braces, unknown words and truncated escapes are read as
// far as they make sense, like the word processors do.
void read(const QByteArray &data, QTextDocument &doc);

} // namespace rtf
