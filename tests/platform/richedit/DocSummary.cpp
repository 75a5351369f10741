#include "tests/platform/richedit/DocSummary.h"

#include <QTextBlock>
#include <QTextList>
#include <cmath>

std::vector<ParaSummary> summarize(const QTextDocument &doc)
{
    std::vector<ParaSummary> out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        ParaSummary p;
        p.text = b.text();
        const QTextBlockFormat bf = b.blockFormat();
        const Qt::Alignment a = bf.alignment() & Qt::AlignHorizontal_Mask;
        p.align = (a & Qt::AlignHCenter)   ? 'C'
                  : (a & Qt::AlignJustify) ? 'J'
                  : (a & Qt::AlignRight)   ? 'R'
                                           : 'L';
        p.li = static_cast<int>(std::lround(bf.leftMargin() * 15));
        p.fi = static_cast<int>(std::lround(bf.textIndent() * 15));
        p.ri = static_cast<int>(std::lround(bf.rightMargin() * 15));
        if (QTextList *l = b.textList())
            p.list = l->format().style() == QTextListFormat::ListDecimal ? 'd' : 'b';
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            const QTextCharFormat cf = f.charFormat();
            const QFont font = cf.font().resolve(doc.defaultFont());
            RunSummary r;
            r.text = f.text();
            r.family = font.family();
            r.size = font.pointSizeF();
            r.bold = font.bold();
            r.italic = font.italic();
            r.underline = font.underline();
            r.strike = font.strikeOut();
            if (cf.hasProperty(QTextFormat::ForegroundBrush) && cf.foreground().style() != Qt::NoBrush)
                r.color = cf.foreground().color().name();
            if (!p.runs.empty()) {
                RunSummary &last = p.runs.back();
                RunSummary probe = r;
                probe.text = last.text;
                if (probe == last) {
                    last.text += r.text;
                    continue;
                }
            }
            p.runs.push_back(r);
        }
        out.push_back(p);
    }
    return out;
}

void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

void PrintTo(const RunSummary &r, std::ostream *os)
{
    *os << "[" << r.text.toStdString() << "|" << r.family.toStdString() << " " << r.size
        << (r.bold ? " b" : "") << (r.italic ? " i" : "") << (r.underline ? " u" : "")
        << (r.strike ? " s" : "") << " " << r.color.toStdString() << "]";
}

void PrintTo(const ParaSummary &p, std::ostream *os)
{
    *os << "{" << p.align << " li" << p.li << " fi" << p.fi << " ri" << p.ri << " list " << p.list << " ";
    for (const RunSummary &r : p.runs)
        PrintTo(r, os);
    *os << "}";
}
