#include "platform/richedit/RtfReader.h"

#include "platform/richedit/CodePages.h"

#include <QColor>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

#include <QSet>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <map>
#include <tuple>
#include <vector>

namespace rtf {

bool isRtf(const QByteArray &data)
{
    qsizetype i = 0;
    while (i < data.size() && (data[i] == ' ' || data[i] == '\r' || data[i] == '\n' || data[i] == '\t'))
        ++i;
    return data.mid(i, 5) == "{\\rtf";
}

namespace {

// Limits that keep hostile input from building absurd documents.
constexpr int kMaxDepth = 1000;
constexpr int kMaxIndentTwips = 31680; // 22 inches, as Word allows
constexpr int kMaxHalfPoints = 3276;   // 1638 pt, the rich-text control's largest size

enum class Dest {
    Text,
    Skip,
    FontTable,
    ColorTable,
    ListTable,
    List,
    ListLevel,
    ListOverrideTable,
    ListOverride,
    Pn,
};

enum class Align { Left, Center, Right, Justify };
enum class ListKind { None, Bullet, Decimal };

struct CharState {
    int font = -1; // -1: the document's default font
    int halfPoints = 24;
    bool bold = false, italic = false, underline = false, strike = false;
    int color = 0;
    // LibreOffice and Word give double-byte (\dbch) runs their font and
    // size in the associated words \af and \afs.
    int assocFont = -1;
    int assocHalfPoints = 0;
    bool dbch = false;
    int effectiveFont() const { return dbch && assocFont >= 0 ? assocFont : font; }
    int effectiveHalfPoints() const { return dbch && assocHalfPoints > 0 ? assocHalfPoints : halfPoints; }
    bool operator<(const CharState &o) const
    {
        return std::tie(font, halfPoints, bold, italic, underline, strike, color, assocFont, assocHalfPoints,
                        dbch) < std::tie(o.font, o.halfPoints, o.bold, o.italic, o.underline, o.strike,
                                         o.color, o.assocFont, o.assocHalfPoints, o.dbch);
    }
};

struct ParaState {
    int li = 0, ri = 0, fi = 0;
    Align align = Align::Left;
    ListKind pn = ListKind::None; // from \pn
    int ls = 0;                   // \ls override number, 0 for none
    int ilvl = 0;
};

struct Group {
    Dest dest = Dest::Text;
    CharState chr;
    ParaState para;
    int uc = 1;
};

struct Font {
    QString name;
    int codePage = 0;
    QByteArray pendingName;
};

struct ListDef {
    int id = 0;
    std::vector<int> nfc; // per level
};

int clampInt(long long v, int lo, int hi)
{
    return static_cast<int>(std::clamp<long long>(v, lo, hi));
}

class Reader {
public:
    Reader(const QByteArray &data, QTextDocument &doc) : m_data(data), m_doc(doc), m_cursor(&doc) {}

    void run();

private:
    void controlWord(const QByteArray &word, bool hasParam, int param);
    void controlSymbol(char c);
    void literalByte(char c);
    void appendText(const QString &text);
    void flushBytes();
    void flushText();
    void endParagraph();
    void applyParagraph(const ParaState &p);
    void ensureBlock();
    void finish();
    void pushGroup();
    void popGroup();
    int currentCodePage() const;
    QTextCharFormat charFormat(const CharState &s);
    ListKind listKindOf(const ParaState &p) const;
    bool skipOneForUnicode();

    Group &g() { return m_stack.back(); }

    const QByteArray &m_data;
    QTextDocument &m_doc;
    QTextCursor m_cursor;
    qsizetype m_pos = 0;

    std::vector<Group> m_stack;
    int m_overflow = 0; // groups opened beyond kMaxDepth
    bool m_ignorableNext = false;
    bool m_done = false;
    int m_ucSkip = 0;

    int m_codePage = 1252;
    int m_defaultFont = 0;
    std::map<int, Font> m_fonts;
    int m_currentFont = -1;
    std::vector<QColor> m_colors; // index 0 may be "auto" (invalid)
    int m_red = -1, m_green = -1, m_blue = -1;
    std::vector<ListDef> m_lists;
    std::map<int, int> m_overrides; // \ls number -> list id
    int m_pendingListId = 0;

    QByteArray m_bytes; // undecoded text bytes of the current run
    QString m_text;     // decoded text not yet inserted
    CharState m_textState;
    bool m_paraHasContent = false;
    // A paragraph mark opens the next block only when something follows it,
    // so the document's last mark does not leave an empty paragraph.
    bool m_pendingBlock = false;
    QTextCharFormat m_pendingBlockFormat;
    ParaState m_lastTextPara;
    QTextList *m_list = nullptr;
    ListKind m_listKind = ListKind::None;
    int m_listKey = 0;
    std::map<CharState, QTextCharFormat> m_formatCache;
};

Dest destinationFor(const QByteArray &w, bool &known)
{
    known = true;
    if (w == "fonttbl")
        return Dest::FontTable;
    if (w == "colortbl")
        return Dest::ColorTable;
    if (w == "listtable")
        return Dest::ListTable;
    if (w == "list")
        return Dest::List;
    if (w == "listlevel")
        return Dest::ListLevel;
    if (w == "listoverridetable")
        return Dest::ListOverrideTable;
    if (w == "listoverride")
        return Dest::ListOverride;
    if (w == "pn")
        return Dest::Pn;
    static const char *const skipped[] = {
        "stylesheet",   "info",         "pict",       "object",     "header",
        "headerl",      "headerr",      "headerf",    "footer",     "footerl",
        "footerr",      "footerf",      "footnote",   "annotation", "pntext",
        "pntxta",       "pntxtb",       "listtext",   "listname",   "leveltext",
        "levelnumbers", "falt",         "panose",     "themedata",  "colorschememapping",
        "datastore",    "latentstyles", "revtbl",     "rsidtbl",    "filetbl",
        "pgdsctbl",     "generator",    "userprops",  "docvar",     "xmlnstbl",
        "template",     "fchars",       "lchars",     "nonshppict", "shpinst",
        "bkmkstart",    "bkmkend",      "fldinst",    "txe",        "xe",
        "tc",           "ftnsep",       "ftnsepc",    "ftncn",      "aftnsep",
        "aftnsepc",     "aftncn",       "background", "pnseclvl",   "author",
        "operator",     "title",        "subject",    "keywords",   "comment",
        "doccomm",      "company",      "lfolevel",   "mmathPr",    "wgrffmtfilter",
        "protusertbl",  "bin"};
    static const QSet<QByteArray> skip = [] {
        QSet<QByteArray> set;
        for (const char *s : skipped)
            set.insert(QByteArray(s));
        return set;
    }();
    if (skip.contains(w))
        return Dest::Skip;
    known = false;
    return Dest::Text;
}

void Reader::run()
{
    m_doc.clear();
    m_cursor = QTextCursor(&m_doc);
    // One edit block: the document updates its layout once, not per run.
    m_cursor.beginEditBlock();
    m_stack.push_back(Group{});
    m_stack.back().chr.font = -1;

    const qsizetype n = m_data.size();
    // Blanks before the header are not text.
    m_pos = std::max<qsizetype>(0, m_data.indexOf('{'));
    bool started = false;
    while (m_pos < n && !m_done) {
        const char c = m_data[m_pos++];
        if (c == '{') {
            m_ucSkip = 0;
            m_ignorableNext = false; // "\*" marks only the word right after it
            if (started)
                pushGroup();
            started = true;
        } else if (c == '}') {
            m_ucSkip = 0;
            m_ignorableNext = false;
            popGroup();
        } else if (c == '\\') {
            if (m_pos >= n)
                break;
            const char d = m_data[m_pos];
            if ((d >= 'a' && d <= 'z')) {
                qsizetype start = m_pos;
                while (m_pos < n && m_data[m_pos] >= 'a' && m_data[m_pos] <= 'z')
                    ++m_pos;
                QByteArray word = m_data.mid(start, std::min<qsizetype>(m_pos - start, 32));
                bool hasParam = false;
                bool negative = false;
                long long value = 0;
                if (m_pos < n && m_data[m_pos] == '-' && m_pos + 1 < n && m_data[m_pos + 1] >= '0' &&
                    m_data[m_pos + 1] <= '9') {
                    negative = true;
                    ++m_pos;
                }
                while (m_pos < n && m_data[m_pos] >= '0' && m_data[m_pos] <= '9') {
                    hasParam = true;
                    if (value < 10'000'000'000LL)
                        value = value * 10 + (m_data[m_pos] - '0');
                    ++m_pos;
                }
                if (m_pos < n && m_data[m_pos] == ' ')
                    ++m_pos;
                if (negative)
                    value = -value;
                const int param = clampInt(value, INT_MIN, INT_MAX);
                if (m_ucSkip > 0 && word != "bin") {
                    --m_ucSkip;
                    continue;
                }
                controlWord(word, hasParam, param);
            } else {
                ++m_pos;
                if (d == '\'') {
                    // \'hh: two hex digits; a truncated escape is dropped.
                    int value = 0, digits = 0;
                    while (digits < 2 && m_pos < n &&
                           std::isxdigit(static_cast<unsigned char>(m_data[m_pos]))) {
                        const char h = m_data[m_pos++];
                        value = value * 16 + (h <= '9' ? h - '0' : (h | 0x20) - 'a' + 10);
                        ++digits;
                    }
                    if (digits == 2) {
                        if (m_ucSkip > 0) {
                            --m_ucSkip;
                            continue;
                        }
                        literalByte(static_cast<char>(value));
                    }
                } else {
                    if (m_ucSkip > 0) {
                        --m_ucSkip;
                        continue;
                    }
                    controlSymbol(d);
                }
            }
        } else if (c == '\r' || c == '\n') {
            // Line ends in the source are formatting of the file, not text.
        } else {
            if (m_ucSkip > 0) {
                --m_ucSkip;
                continue;
            }
            literalByte(c);
        }
    }
    finish();
}

void Reader::pushGroup()
{
    flushBytes();
    if (static_cast<int>(m_stack.size()) >= kMaxDepth) {
        ++m_overflow;
        return;
    }
    // A group starts as a copy of its parent; its first word may switch it.
    m_stack.push_back(m_stack.back());
}

void Reader::popGroup()
{
    flushBytes();
    if (m_overflow > 0) {
        --m_overflow;
        return;
    }
    if (m_stack.size() <= 1) {
        // The document's own closing brace: whatever follows is not RTF.
        m_done = true;
        return;
    }
    Group closed = m_stack.back();
    m_stack.pop_back();
    if (closed.dest == Dest::Pn && g().dest == Dest::Text)
        g().para.pn = closed.para.pn; // \pn describes the paragraph around it
    if (closed.dest == Dest::FontTable && m_currentFont >= 0) {
        Font &f = m_fonts[m_currentFont];
        if (!f.pendingName.isEmpty()) {
            f.name += codepages::decode(f.pendingName, f.codePage > 0 ? f.codePage : m_codePage);
            f.pendingName.clear();
            f.name = f.name.trimmed();
        }
    }
}

int Reader::currentCodePage() const
{
    const int index = m_stack.back().chr.effectiveFont();
    const int font = index < 0 ? m_defaultFont : index;
    auto it = m_fonts.find(font);
    if (it != m_fonts.end() && it->second.codePage > 0)
        return it->second.codePage;
    return m_codePage;
}

void Reader::literalByte(char c)
{
    m_ignorableNext = false;
    const auto b = static_cast<unsigned char>(c);
    switch (m_stack.back().dest) {
    case Dest::Text:
        if (b < 0x20 && c != '\t')
            return; // control bytes carry no text
        if (c == '\t') {
            appendText(QStringLiteral("\t"));
            return;
        }
        m_bytes.append(c);
        return;
    case Dest::FontTable:
        if (m_currentFont < 0)
            return;
        if (c == ';') {
            Font &f = m_fonts[m_currentFont];
            f.name += codepages::decode(f.pendingName, f.codePage > 0 ? f.codePage : m_codePage);
            f.pendingName.clear();
            f.name = f.name.trimmed();
            m_currentFont = -1; // later text of the entry is not part of the name
            return;
        }
        if (b >= 0x20)
            m_fonts[m_currentFont].pendingName.append(c);
        return;
    case Dest::ColorTable:
        if (c == ';') {
            if (m_red < 0 && m_green < 0 && m_blue < 0)
                m_colors.push_back(QColor());
            else
                m_colors.push_back(QColor(std::clamp(m_red, 0, 255), std::clamp(m_green, 0, 255),
                                          std::clamp(m_blue, 0, 255)));
            m_red = m_green = m_blue = -1;
        }
        return;
    default:
        return;
    }
}

void Reader::appendText(const QString &text)
{
    if (g().dest != Dest::Text)
        return;
    flushBytes();
    if (!m_text.isEmpty() && (m_textState < g().chr || g().chr < m_textState))
        flushText();
    m_textState = g().chr;
    m_text += text;
}

void Reader::flushBytes()
{
    if (m_bytes.isEmpty())
        return;
    const QString decoded = codepages::decode(m_bytes, currentCodePage());
    m_bytes.clear();
    if (!m_text.isEmpty() && (m_textState < g().chr || g().chr < m_textState))
        flushText();
    m_textState = g().chr;
    m_text += decoded;
}

void Reader::flushText()
{
    if (m_text.isEmpty())
        return;
    // Control characters, paragraph separators and object marks are not
    // text here: an escaped line feed must not split a paragraph.
    m_text.removeIf([](QChar c) {
        const char16_t u = c.unicode();
        return (u < 0x20 && u != '\t') || u == QChar::ParagraphSeparator ||
               u == QChar::ObjectReplacementCharacter;
    });
    if (m_text.isEmpty())
        return;
    ensureBlock();
    m_cursor.insertText(m_text, charFormat(m_textState));
    m_text.clear();
    m_paraHasContent = true;
    m_lastTextPara = g().para;
}

void Reader::ensureBlock()
{
    if (!m_pendingBlock)
        return;
    m_cursor.insertBlock(QTextBlockFormat(), m_pendingBlockFormat);
    m_pendingBlock = false;
}

QTextCharFormat Reader::charFormat(const CharState &s)
{
    auto it = m_formatCache.find(s);
    if (it != m_formatCache.end())
        return it->second;
    QTextCharFormat f;
    const int index = s.effectiveFont();
    auto font = m_fonts.find(index < 0 ? m_defaultFont : index);
    if (font != m_fonts.end() && !font->second.name.isEmpty()) {
        f.setFontFamilies({font->second.name});
    }
    f.setFontPointSize(s.effectiveHalfPoints() / 2.0);
    f.setFontWeight(s.bold ? QFont::Bold : QFont::Normal);
    f.setFontItalic(s.italic);
    f.setFontUnderline(s.underline);
    f.setFontStrikeOut(s.strike);
    if (s.color > 0 && s.color < static_cast<int>(m_colors.size()) && m_colors[s.color].isValid())
        f.setForeground(m_colors[s.color]);
    m_formatCache.emplace(s, f);
    return f;
}

ListKind Reader::listKindOf(const ParaState &p) const
{
    if (p.ls > 0) {
        auto o = m_overrides.find(p.ls);
        for (const ListDef &l : m_lists) {
            if (o != m_overrides.end() && l.id == o->second) {
                if (l.nfc.empty())
                    return ListKind::Bullet;
                const int nfc = l.nfc[std::clamp<size_t>(p.ilvl, 0, l.nfc.size() - 1)];
                return nfc == 23 ? ListKind::Bullet : nfc == 255 ? ListKind::None : ListKind::Decimal;
            }
        }
        return ListKind::Bullet;
    }
    return p.pn;
}

void Reader::endParagraph()
{
    flushBytes();
    flushText();
    ensureBlock();
    applyParagraph(g().para);
    m_pendingBlock = true;
    m_pendingBlockFormat = charFormat(g().chr);
    m_paraHasContent = false;
}

void Reader::applyParagraph(const ParaState &p)
{
    QTextBlockFormat bf;
    const double leftPx = std::clamp(p.li, -kMaxIndentTwips, kMaxIndentTwips) * kPixelsPerTwip;
    bf.setLeftMargin(std::max(0.0, leftPx));
    bf.setRightMargin(std::max(0, std::clamp(p.ri, -kMaxIndentTwips, kMaxIndentTwips)) * kPixelsPerTwip);
    bf.setTextIndent(std::clamp(p.fi, -kMaxIndentTwips, kMaxIndentTwips) * kPixelsPerTwip);
    switch (p.align) {
    case Align::Left:
        bf.setAlignment(Qt::AlignLeft);
        break;
    case Align::Center:
        bf.setAlignment(Qt::AlignHCenter);
        break;
    case Align::Right:
        bf.setAlignment(Qt::AlignRight);
        break;
    case Align::Justify:
        bf.setAlignment(Qt::AlignJustify);
        break;
    }
    m_cursor.setBlockFormat(bf);
    const ListKind kind = listKindOf(p);
    const int key = p.ls > 0 ? p.ls : -1;
    if (kind == ListKind::None) {
        m_list = nullptr;
    } else if (m_list && m_listKind == kind && m_listKey == key) {
        m_list->add(m_cursor.block());
    } else {
        QTextListFormat lf;
        lf.setStyle(kind == ListKind::Bullet ? QTextListFormat::ListDisc : QTextListFormat::ListDecimal);
        lf.setIndent(1);
        m_list = m_cursor.createList(lf);
        m_listKind = kind;
        m_listKey = key;
    }
}

void Reader::finish()
{
    flushBytes();
    flushText();
    // Text after the last paragraph mark keeps the formatting it was written in.
    if (!m_pendingBlock)
        applyParagraph(m_paraHasContent ? m_lastTextPara : g().para);
    m_cursor.endEditBlock();
    m_doc.setModified(false);
}

void Reader::controlSymbol(char c)
{
    switch (c) {
    case '\\':
    case '{':
    case '}':
        if (g().dest == Dest::Text)
            literalByte(c);
        else if (g().dest == Dest::FontTable)
            literalByte(c);
        return;
    case '~':
        appendText(QString(QChar(0x00A0)));
        return;
    case '_':
        appendText(QString(QChar(0x2011)));
        return;
    case '-':
        return; // optional hyphen: nothing to show
    case '*':
        m_ignorableNext = true;
        return;
    case '\r':
    case '\n':
        controlWord("par", false, 0);
        return;
    case '\t':
        appendText(QStringLiteral("\t"));
        return;
    default:
        return;
    }
}

void Reader::controlWord(const QByteArray &w, bool hasParam, int param)
{
    Group &st = g();
    const bool ignorable = m_ignorableNext;
    m_ignorableNext = false;

    if (st.dest == Dest::Skip) {
        if (w == "bin" && hasParam && param > 0)
            m_pos += std::min<qsizetype>(param, m_data.size() - m_pos);
        return;
    }

    bool known = false;
    const Dest d = destinationFor(w, known);
    if (known) {
        flushBytes();
        if (w == "bin") {
            if (hasParam && param > 0)
                m_pos += std::min<qsizetype>(param, m_data.size() - m_pos);
            return;
        }
        if (d == Dest::FontTable || d == Dest::ColorTable || d == Dest::ListTable || d == Dest::Pn)
            flushText();
        st.dest = d;
        if (d == Dest::List) {
            m_lists.push_back(ListDef{});
        } else if (d == Dest::ListLevel) {
            if (!m_lists.empty() && m_lists.back().nfc.size() < 9)
                m_lists.back().nfc.push_back(0);
        } else if (d == Dest::ListOverride) {
            m_pendingListId = 0;
        } else if (d == Dest::Pn) {
            st.para.pn = ListKind::Decimal;
        }
        return;
    }
    if (ignorable) {
        // An ignorable destination we do not read.
        flushBytes();
        st.dest = Dest::Skip;
        return;
    }

    auto on = [&] { return !hasParam || param != 0; };

    switch (st.dest) {
    case Dest::FontTable:
        if (w == "f") {
            m_currentFont = std::max(0, param);
            m_fonts[m_currentFont].name.clear();
            m_fonts[m_currentFont].pendingName.clear();
        } else if (w == "fcharset" && m_currentFont >= 0) {
            m_fonts[m_currentFont].codePage = codepages::fromCharset(param);
        } else if (w == "cpg" && m_currentFont >= 0 && param > 0) {
            m_fonts[m_currentFont].codePage = param;
        } else if (w == "u" && m_currentFont >= 0) {
            Font &f = m_fonts[m_currentFont];
            f.name += codepages::decode(f.pendingName, f.codePage > 0 ? f.codePage : m_codePage);
            f.pendingName.clear();
            f.name += QChar(static_cast<char16_t>(param & 0xFFFF));
            m_ucSkip = st.uc;
        }
        return;
    case Dest::ColorTable:
        if (w == "red")
            m_red = param;
        else if (w == "green")
            m_green = param;
        else if (w == "blue")
            m_blue = param;
        return;
    case Dest::ListTable:
        return;
    case Dest::List:
        if (w == "listid" && !m_lists.empty())
            m_lists.back().id = param;
        return;
    case Dest::ListLevel:
        if ((w == "levelnfc" || w == "levelnfcn") && !m_lists.empty() && !m_lists.back().nfc.empty())
            m_lists.back().nfc.back() = param;
        return;
    case Dest::ListOverrideTable:
        return;
    case Dest::ListOverride:
        if (w == "listid")
            m_pendingListId = param;
        else if (w == "ls")
            m_overrides[param] = m_pendingListId;
        return;
    case Dest::Pn:
        if (w == "pnlvlblt")
            st.para.pn = ListKind::Bullet;
        else if (w == "pnlvlbody" || w == "pnlvl" || w == "pndec")
            st.para.pn = st.para.pn == ListKind::Bullet ? ListKind::Bullet : ListKind::Decimal;
        else if (w == "pnlvlcont")
            st.para.pn = ListKind::None;
        return;
    case Dest::Skip:
        return;
    case Dest::Text:
        break;
    }

    // Document, paragraph and character words of the body text.
    if (w == "ansicpg") {
        if (param > 0)
            m_codePage = param;
    } else if (w == "ansi") {
        m_codePage = 1252;
    } else if (w == "mac") {
        m_codePage = 10000;
    } else if (w == "pc") {
        m_codePage = 437;
    } else if (w == "pca") {
        m_codePage = 850;
    } else if (w == "deff") {
        m_defaultFont = std::max(0, param);
    } else if (w == "uc") {
        st.uc = std::clamp(param, 0, 10);
    } else if (w == "u") {
        flushBytes();
        appendText(QString(QChar(static_cast<char16_t>(param & 0xFFFF))));
        m_ucSkip = st.uc;
    } else if (w == "par") {
        endParagraph();
    } else if (w == "sect" || w == "row") {
        flushBytes();
        if (m_paraHasContent || !m_text.isEmpty())
            endParagraph();
    } else if (w == "line") {
        appendText(QString(QChar::LineSeparator));
    } else if (w == "tab" || w == "cell") {
        appendText(QStringLiteral("\t"));
    } else if (w == "emdash") {
        appendText(QString(QChar(0x2014)));
    } else if (w == "endash") {
        appendText(QString(QChar(0x2013)));
    } else if (w == "bullet") {
        appendText(QString(QChar(0x2022)));
    } else if (w == "lquote") {
        appendText(QString(QChar(0x2018)));
    } else if (w == "rquote") {
        appendText(QString(QChar(0x2019)));
    } else if (w == "ldblquote") {
        appendText(QString(QChar(0x201C)));
    } else if (w == "rdblquote") {
        appendText(QString(QChar(0x201D)));
    } else if (w == "emspace") {
        appendText(QString(QChar(0x2003)));
    } else if (w == "enspace") {
        appendText(QString(QChar(0x2002)));
    } else if (w == "pard") {
        flushBytes();
        st.para = ParaState{};
    } else if (w == "plain") {
        flushBytes();
        st.chr = CharState{};
    } else if (w == "f") {
        flushBytes();
        st.chr.font = std::max(0, param);
    } else if (w == "fs") {
        flushBytes();
        st.chr.halfPoints = hasParam ? std::clamp(param, 2, kMaxHalfPoints) : 24;
    } else if (w == "af") {
        flushBytes();
        st.chr.assocFont = std::max(0, param);
    } else if (w == "afs") {
        flushBytes();
        st.chr.assocHalfPoints = hasParam ? std::clamp(param, 2, kMaxHalfPoints) : 0;
    } else if (w == "dbch") {
        flushBytes();
        st.chr.dbch = true;
    } else if (w == "loch" || w == "hich") {
        flushBytes();
        st.chr.dbch = false;
    } else if (w == "b") {
        flushBytes();
        st.chr.bold = on();
    } else if (w == "i") {
        flushBytes();
        st.chr.italic = on();
    } else if (w == "ulnone") {
        flushBytes();
        st.chr.underline = false;
    } else if (w == "ul" || w == "uld" || w == "uldb" || w == "ulw" || w == "uldash" || w == "ulth" ||
               w == "ulwave" || w == "uldashd" || w == "uldashdd" || w == "ulhwave" || w == "ulldash") {
        flushBytes();
        st.chr.underline = on();
    } else if (w == "strike") {
        flushBytes();
        st.chr.strike = on();
    } else if (w == "cf") {
        flushBytes();
        st.chr.color = std::max(0, param);
    } else if (w == "ql") {
        st.para.align = Align::Left;
    } else if (w == "qc") {
        st.para.align = Align::Center;
    } else if (w == "qr") {
        st.para.align = Align::Right;
    } else if (w == "qj" || w == "qd") {
        st.para.align = Align::Justify;
    } else if (w == "fi") {
        st.para.fi = std::clamp(param, -kMaxIndentTwips, kMaxIndentTwips);
    } else if (w == "li") {
        st.para.li = std::clamp(param, -kMaxIndentTwips, kMaxIndentTwips);
    } else if (w == "ri") {
        st.para.ri = std::clamp(param, -kMaxIndentTwips, kMaxIndentTwips);
    } else if (w == "ls") {
        st.para.ls = std::max(0, param);
    } else if (w == "ilvl") {
        st.para.ilvl = std::clamp(param, 0, 8);
    }
}

} // namespace

void read(const QByteArray &data, QTextDocument &doc)
{
    const bool undo = doc.isUndoRedoEnabled();
    doc.setUndoRedoEnabled(false);
    Reader(data, doc).run();
    doc.setUndoRedoEnabled(undo);
}

} // namespace rtf
