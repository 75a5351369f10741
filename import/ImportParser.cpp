#include "import/ImportParser.h"

#include "contacts/ContactLocate.h"
#include "platform/codepage/CodePage.h"

#include <QStringDecoder>

namespace import {

namespace {

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
    return CodePage::windows1252().decode(bytes.constData(), bytes.size());
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
