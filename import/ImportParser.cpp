#include "import/ImportParser.h"

#include "contacts/ContactLocate.h"

#include <QStringDecoder>

namespace import {

namespace {

// Windows-1252 differs from Latin-1 only in 0x80..0x9F. The five bytes it
// leaves undefined map to the C1 control of the same value, as Windows does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QString decodeCp1252(const QByteArray &bytes)
{
    QString out(bytes.size(), Qt::Uninitialized);
    QChar *dst = out.data();
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *dst++ = (b >= 0x80 && b < 0xA0) ? QChar(kCp1252High[b - 0x80]) : QChar(b);
    }
    return out;
}

bool isQuote(QChar c)
{
    return c == u'\'' || c == u'"';
}

CellSpan spanOf(QStringView line, QStringView piece)
{
    if (piece.isEmpty())
        return {};
    return {std::uint32_t(piece.data() - line.data()), std::uint32_t(piece.size())};
}

} // namespace

QString decodeImportText(const QByteArray &bytes)
{
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder utf16(QStringConverter::Utf16); // reads the mark for the byte order
        QString text = utf16(bytes);
        if (!utf16.hasError())
            return text;
    }
    QByteArrayView body(bytes);
    if (body.startsWith("\xEF\xBB\xBF"))
        body = body.sliced(3);
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8(body);
    if (!utf8.hasError())
        return text;
    return decodeCp1252(bytes);
}

QStringList splitSourceLines(QStringView text)
{
    QStringList lines;
    qsizetype begin = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c != u'\n' && c != u'\r')
            continue;
        lines.append(text.mid(begin, i - begin).toString());
        if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
            ++i;
        begin = i + 1;
    }
    if (begin < n)
        lines.append(text.mid(begin).toString());
    return lines;
}

QString trimmedText(QStringView s)
{
    return TrimBlanks(s).toString();
}

QStringView stripEnclosingQuotes(QStringView s)
{
    if (s.isEmpty() || !isQuote(s.front()) || s.front() != s.back())
        return s;
    // The last character goes first, so a lone quote leaves nothing.
    s.chop(1);
    return s.isEmpty() ? s : s.sliced(1);
}

RowSpans splitDelimitedLine(QStringView line, QStringView delimiter, bool stripQuotes,
                            const ColumnFlags &include)
{
    RowSpans row{};
    QStringView rest = line;
    int col = 0;
    if (!delimiter.isEmpty()) {
        const QChar d = delimiter.front();
        for (qsizetype at; (at = rest.indexOf(d)) >= 0;) {
            QStringView field = rest.first(at);
            rest = rest.sliced(at + 1);
            if (stripQuotes)
                field = stripEnclosingQuotes(field);
            if (include[col])
                row[col] = spanOf(line, field);
            if (++col == kColumns)
                return row;
        }
    }
    QStringView last = TrimBlanks(rest);
    if (stripQuotes)
        last = stripEnclosingQuotes(last);
    if (!last.isEmpty() && include[col])
        row[col] = spanOf(line, last);
    return row;
}

RowSpans splitFixedLine(QStringView line, const ColumnWidthList &widths, bool stripQuotes,
                        const ColumnFlags &include)
{
    RowSpans row{};
    qsizetype p = 0;
    for (int i = 0; i < kColumns; ++i) {
        const int w = widths[i];
        if (w != 0 && include[i] && p < line.size()) {
            QStringView field = TrimBlanks(line.mid(p, w));
            if (stripQuotes)
                field = stripEnclosingQuotes(field);
            row[i] = spanOf(line, field);
        }
        p += w;
    }
    return row;
}

QStringList spansToTexts(QStringView line, const RowSpans &spans)
{
    QStringList out;
    out.reserve(kColumns);
    for (const CellSpan &s : spans)
        out.append(s.in(line).toString());
    return out;
}

} // namespace import
