#include "platform/richedit/RtfWriter.h"

#include "platform/richedit/CodePages.h"
#include "platform/richedit/RtfReader.h"

#include <QColor>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>

#include <cmath>
#include <vector>

namespace rtf {

namespace {

QString familyOf(const QTextCharFormat &f, const QString &fallback)
{
    const QStringList families = f.fontFamilies().toStringList();
    if (!families.isEmpty() && !families.first().isEmpty())
        return families.first();
    const QString single = f.property(QTextFormat::FontFamily).toString();
    return single.isEmpty() ? fallback : single;
}

void appendEscaped(QByteArray &out, const QString &text)
{
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '\\' || u == '{' || u == '}') {
            out += '\\';
            out += static_cast<char>(u);
        } else if (u == '\t') {
            out += "\\tab ";
        } else if (u == QChar::LineSeparator) {
            out += "\\line ";
        } else if (u == 0x00A0) {
            out += "\\~";
        } else if (u >= 0x20 && u < 0x7F) {
            out += static_cast<char>(u);
        } else if (u < 0x20 || u == QChar::ObjectReplacementCharacter || u == QChar::ParagraphSeparator) {
            // Control characters and embedded objects carry no text.
        } else if (auto b = codepages::encode1252(c)) {
            out += "\\'";
            out += QByteArray::number(static_cast<unsigned char>(*b), 16).rightJustified(2, '0');
        } else {
            out += "\\u";
            out += QByteArray::number(u > 32767 ? static_cast<int>(u) - 65536 : static_cast<int>(u));
            out += '?';
        }
    }
}

struct Props {
    int font = 0;
    int halfPoints = 24;
    bool bold = false, italic = false, underline = false, strike = false;
    int color = 0;
};

class Writer {
public:
    explicit Writer(const QTextDocument &doc) : m_doc(doc)
    {
        m_defaultFamily = doc.defaultFont().family();
        m_defaultSize = doc.defaultFont().pointSizeF() > 0 ? doc.defaultFont().pointSizeF() : 12.0;
    }

    QByteArray run();

private:
    int fontIndex(const QString &family)
    {
        const int i = m_fonts.indexOf(family);
        if (i >= 0)
            return i;
        m_fonts << family;
        return m_fonts.size() - 1;
    }
    int colorIndex(const QTextCharFormat &f)
    {
        if (!f.hasProperty(QTextFormat::ForegroundBrush) || f.foreground().style() == Qt::NoBrush)
            return 0;
        const QRgb rgb = f.foreground().color().rgb() & 0xFFFFFF;
        for (size_t i = 0; i < m_colors.size(); ++i)
            if (m_colors[i] == rgb)
                return static_cast<int>(i) + 1;
        m_colors.push_back(rgb);
        return static_cast<int>(m_colors.size());
    }
    Props propsOf(const QTextCharFormat &f)
    {
        Props p;
        p.font = fontIndex(familyOf(f, m_defaultFamily));
        const double size = f.fontPointSize() > 0 ? f.fontPointSize() : m_defaultSize;
        p.halfPoints = std::max(2, static_cast<int>(std::lround(size * 2)));
        p.bold = f.fontWeight() >= QFont::DemiBold;
        p.italic = f.fontItalic();
        p.underline = f.fontUnderline();
        p.strike = f.fontStrikeOut();
        p.color = colorIndex(f);
        return p;
    }
    void switchTo(QByteArray &out, const Props &p)
    {
        QByteArray words;
        if (p.font != m_current.font)
            words += "\\f" + QByteArray::number(p.font);
        if (p.halfPoints != m_current.halfPoints)
            words += "\\fs" + QByteArray::number(p.halfPoints);
        if (p.bold != m_current.bold)
            words += p.bold ? "\\b" : "\\b0";
        if (p.italic != m_current.italic)
            words += p.italic ? "\\i" : "\\i0";
        if (p.underline != m_current.underline)
            words += p.underline ? "\\ul" : "\\ulnone";
        if (p.strike != m_current.strike)
            words += p.strike ? "\\strike" : "\\strike0";
        if (p.color != m_current.color)
            words += "\\cf" + QByteArray::number(p.color);
        if (!words.isEmpty())
            out += words + ' ';
        m_current = p;
    }
    static int twips(double px) { return static_cast<int>(std::lround(px / kPixelsPerTwip)); }

    const QTextDocument &m_doc;
    QString m_defaultFamily;
    double m_defaultSize;
    QStringList m_fonts;
    std::vector<QRgb> m_colors;
    Props m_current;
    int m_symbolFont = -1;
};

QByteArray Writer::run()
{
    fontIndex(m_defaultFamily);
    QByteArray body;
    m_current = Props{};
    m_current.font = 0;
    body += "\\f0\\fs24 ";

    for (QTextBlock block = m_doc.begin(); block.isValid(); block = block.next()) {
        const QTextBlockFormat bf = block.blockFormat();
        body += "\\pard";
        const Qt::Alignment a = bf.alignment() & Qt::AlignHorizontal_Mask;
        if (a & Qt::AlignHCenter)
            body += "\\qc";
        else if (a & Qt::AlignJustify)
            body += "\\qj";
        else if ((a & Qt::AlignRight) || ((a & Qt::AlignTrailing) && !(a & Qt::AlignAbsolute)))
            body += "\\qr";
        const int fi = twips(bf.textIndent());
        const int li = twips(bf.leftMargin());
        const int ri = twips(bf.rightMargin());
        if (fi != 0)
            body += "\\fi" + QByteArray::number(fi);
        if (li != 0)
            body += "\\li" + QByteArray::number(li);
        if (ri != 0)
            body += "\\ri" + QByteArray::number(ri);
        body += ' ';

        if (QTextList *list = block.textList()) {
            const QTextListFormat::Style style = list->format().style();
            const bool bullet =
                !(style == QTextListFormat::ListDecimal || style == QTextListFormat::ListLowerAlpha ||
                  style == QTextListFormat::ListUpperAlpha || style == QTextListFormat::ListLowerRoman ||
                  style == QTextListFormat::ListUpperRoman);
            if (bullet) {
                if (m_symbolFont < 0)
                    m_symbolFont = fontIndex(QStringLiteral("Symbol"));
                const QByteArray f = QByteArray::number(m_symbolFont);
                // \pntext is what readers without list support show; \pn is
                // the bullet itself for the rich-text control and WordPad.
                body += "{\\pntext\\f" + f + "\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf" + f +
                        "\\pnindent0{\\pntxtb\\'B7}}";
            } else {
                const QByteArray n = QByteArray::number(list->itemNumber(block) + 1);
                body += "{\\pntext\\f0 " + n +
                        ".\\tab}{\\*\\pn\\pnlvlbody\\pndec\\pnstart1\\pnindent0{\\pntxta .}}";
            }
        }

        bool any = false;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            if (!frag.isValid() || frag.text().isEmpty())
                continue;
            switchTo(body, propsOf(frag.charFormat()));
            appendEscaped(body, frag.text());
            any = true;
        }
        if (!any)
            switchTo(body, propsOf(block.charFormat()));
        body += "\\par\r\n";
    }

    QByteArray out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1033{\\fonttbl";
    for (int i = 0; i < m_fonts.size(); ++i) {
        out += "{\\f" + QByteArray::number(i) + "\\fnil\\fcharset" + (i == m_symbolFont ? "2" : "0") + ' ';
        appendEscaped(out, m_fonts[i]);
        out += ";}";
    }
    out += "}\r\n";
    if (!m_colors.empty()) {
        out += "{\\colortbl ;";
        for (QRgb c : m_colors)
            out += "\\red" + QByteArray::number(qRed(c)) + "\\green" + QByteArray::number(qGreen(c)) +
                   "\\blue" + QByteArray::number(qBlue(c)) + ';';
        out += "}\r\n";
    }
    out += "\\viewkind4\\uc1 ";
    out += body;
    out += "}\r\n";
    return out;
}

} // namespace

QByteArray write(const QTextDocument &doc)
{
    return Writer(doc).run();
}

} // namespace rtf
