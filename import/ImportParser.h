#pragma once

// The text side of the import wizard: decoding a source, cutting it into
// lines and cutting a line into at most ten columns. Knows no widgets.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>
#include <cstdint>

namespace import {

constexpr int kColumns = 10;     // data columns 0..9 a split can fill
constexpr int kGridColumns = 11; // the preview's last column is never filled

// A cell is always a piece of its source line; keeping offsets instead of
// copies lets a 100,000-line preview be re-split without allocating.
struct CellSpan {
    std::uint32_t start = 0;
    std::uint32_t length = 0;
    bool empty() const { return length == 0; }
    QStringView in(QStringView line) const { return line.mid(start, length); }
};
using RowSpans = std::array<CellSpan, kColumns>;
using ColumnFlags = std::array<bool, kColumns>;
using ColumnWidthList = std::array<int, kColumns>;

// UTF-8 (a byte-order mark is dropped) when the bytes are valid UTF-8,
// UTF-16 when they start with its byte-order mark, otherwise Windows-1252.
QString decodeImportText(const QByteArray &bytes);

// Lines end at CR LF, LF or CR; a break at the very end adds no empty line.
QStringList splitSourceLines(QStringView text);

// Leading and trailing blanks and control characters (everything up to
// and including U+0020) removed; see TrimBlanks.
QString trimmedText(QStringView s);

// 'x' -> x, "x" -> x; a lone quote character becomes empty.
QStringView stripEnclosingQuotes(QStringView s);

// Splits at every occurrence of delimiter (empty: no split). Fields before
// a delimiter keep their blanks; only the last one is trimmed. Everything
// after the tenth field is dropped. Columns not included stay empty.
RowSpans splitDelimitedLine(QStringView line, QStringView delimiter, bool stripQuotes,
                            const ColumnFlags &include);

// Cuts widths[i] characters per column, each field trimmed. A column that
// is not included stays empty but still takes its characters.
RowSpans splitFixedLine(QStringView line, const ColumnWidthList &widths, bool stripQuotes,
                        const ColumnFlags &include);

// The ten fields of a split as text (for callers that want copies).
QStringList spansToTexts(QStringView line, const RowSpans &spans);

} // namespace import
