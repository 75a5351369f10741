#include "platform/profile/ProfileDocument.h"

#include "platform/profile/TextEncoding.h"

#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>

namespace {

bool hasLineBreak(const QString &s)
{
    return s.contains(QLatin1Char('\n')) || s.contains(QLatin1Char('\r'));
}

// The value as it must stand in the file to read back unchanged.
QString storedValue(QString value)
{
    static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
    value.replace(breaks, QStringLiteral(" "));
    const bool blanksAtEnds = !value.isEmpty() && (value.front().isSpace() || value.back().isSpace());
    const bool quoted =
        value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front();
    if (blanksAtEnds || quoted)
        return QLatin1Char('"') + value + QLatin1Char('"');
    return value;
}

} // namespace

ProfileDocument::Parsed ProfileDocument::parse(const QString &raw)
{
    const QString t = raw.trimmed();
    if (t.isEmpty())
        return {Kind::Blank, {}, {}, {}};
    if (t.startsWith(QLatin1Char('['))) {
        const qsizetype close = t.indexOf(QLatin1Char(']'));
        const QString name = (close < 0 ? t.mid(1) : t.mid(1, close - 1)).trimmed();
        return {Kind::Section, name, name.toCaseFolded(), {}};
    }
    if (t.startsWith(QLatin1Char(';')))
        return {};
    const qsizetype eq = t.indexOf(QLatin1Char('='));
    if (eq < 0)
        return {};
    QString value = t.mid(eq + 1).trimmed();
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    const QString name = t.left(eq).trimmed();
    return {Kind::Key, name, name.toCaseFolded(), value};
}

void ProfileDocument::insertLine(qsizetype at, const QString &raw)
{
    m_lines.insert(at, raw);
    m_parsed.insert(m_parsed.begin() + at, parse(raw));
}

void ProfileDocument::replaceLine(qsizetype at, const QString &raw)
{
    m_lines[at] = raw;
    m_parsed[at] = parse(raw);
}

void ProfileDocument::removeLines(qsizetype at, qsizetype count)
{
    m_lines.remove(at, count);
    m_parsed.erase(m_parsed.begin() + at, m_parsed.begin() + at + count);
}

bool ProfileDocument::load(const QString &fileName)
{
    *this = ProfileDocument();
    QFile f(fileName);
    if (!f.exists())
        return true;
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const TextEncoding::Decoded decoded = TextEncoding::decode(f.readAll());
    m_codec = decoded.codec;
    m_lineBreak = TextEncoding::lineBreakOf(decoded.text);
    if (decoded.text.isEmpty())
        return true;
    static const QRegularExpression breaks(QStringLiteral("\r\n|\n"));
    m_lines = decoded.text.split(breaks);
    m_endsWithLineBreak = m_lines.last().isEmpty();
    if (m_endsWithLineBreak)
        m_lines.removeLast();
    m_parsed.reserve(m_lines.size());
    for (const QString &raw : std::as_const(m_lines))
        m_parsed.push_back(parse(raw));
    return true;
}

bool ProfileDocument::save(const QString &fileName) const
{
    QString text = m_lines.join(m_lineBreak);
    if (m_endsWithLineBreak && !m_lines.isEmpty())
        text += m_lineBreak;
    QSaveFile f(fileName);
    // A settings file in a folder we may not create files in can still be
    // rewritten in place.
    f.setDirectWriteFallback(true);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    if (f.write(TextEncoding::encode(text, m_codec)) < 0)
        return false;
    return f.commit();
}

qsizetype ProfileDocument::findSection(const QString &name) const
{
    const QString folded = name.trimmed().toCaseFolded();
    for (size_t i = 0; i < m_parsed.size(); ++i)
        if (m_parsed[i].kind == Kind::Section && m_parsed[i].folded == folded)
            return static_cast<qsizetype>(i);
    return -1;
}

qsizetype ProfileDocument::sectionEnd(qsizetype header) const
{
    qsizetype i = header + 1;
    while (i < m_lines.size() && m_parsed[i].kind != Kind::Section)
        ++i;
    return i;
}

qsizetype ProfileDocument::findKey(qsizetype header, const QString &key) const
{
    const QString folded = key.trimmed().toCaseFolded();
    for (size_t i = header + 1; i < m_parsed.size() && m_parsed[i].kind != Kind::Section; ++i)
        if (m_parsed[i].kind == Kind::Key && m_parsed[i].folded == folded)
            return static_cast<qsizetype>(i);
    return -1;
}

std::optional<QString> ProfileDocument::value(const QString &section, const QString &key) const
{
    const qsizetype header = findSection(section);
    if (header < 0)
        return std::nullopt;
    const qsizetype at = findKey(header, key);
    if (at < 0)
        return std::nullopt;
    return m_parsed[at].value;
}

bool ProfileDocument::validSection(const QString &s)
{
    return !hasLineBreak(s) && !s.contains(QLatin1Char(']'));
}

bool ProfileDocument::validKey(const QString &k)
{
    const QString t = k.trimmed();
    return !t.isEmpty() && !hasLineBreak(k) && !k.contains(QLatin1Char('=')) &&
           !t.startsWith(QLatin1Char('[')) && !t.startsWith(QLatin1Char(';'));
}

bool ProfileDocument::setValue(const QString &section, const QString &key, const QString &value)
{
    if (!validSection(section) || !validKey(key))
        return false;
    const QString stored = storedValue(value);
    const qsizetype header = findSection(section);
    if (header < 0) {
        if (!m_lines.isEmpty() && m_parsed.back().kind != Kind::Blank)
            insertLine(m_lines.size(), QString());
        insertLine(m_lines.size(), QLatin1Char('[') + section + QLatin1Char(']'));
        insertLine(m_lines.size(), key.trimmed() + QLatin1Char('=') + stored);
        m_endsWithLineBreak = true;
        return true;
    }
    if (const qsizetype at = findKey(header, key); at >= 0) {
        // Keep the key's spelling as the file has it.
        replaceLine(at, m_parsed[at].name + QLatin1Char('=') + stored);
        return true;
    }
    // A new key goes after the section's last non-blank line, before the
    // blank lines that separate it from the next section.
    qsizetype insertAt = sectionEnd(header);
    while (insertAt > header + 1 && m_parsed[insertAt - 1].kind == Kind::Blank)
        --insertAt;
    if (insertAt == m_lines.size())
        m_endsWithLineBreak = true;
    insertLine(insertAt, key.trimmed() + QLatin1Char('=') + stored);
    return true;
}

bool ProfileDocument::removeKey(const QString &section, const QString &key)
{
    const qsizetype header = findSection(section);
    if (header < 0)
        return false;
    const qsizetype at = findKey(header, key);
    if (at < 0)
        return false;
    removeLines(at, 1);
    return true;
}

bool ProfileDocument::removeSection(const QString &section)
{
    const qsizetype header = findSection(section);
    if (header < 0)
        return false;
    removeLines(header, sectionEnd(header) - header);
    return true;
}

QStringList ProfileDocument::sections() const
{
    QStringList names;
    for (const Parsed &l : m_parsed)
        if (l.kind == Kind::Section && !names.contains(l.name, Qt::CaseInsensitive))
            names << l.name;
    return names;
}

QStringList ProfileDocument::keys(const QString &section) const
{
    QStringList keys;
    const qsizetype header = findSection(section);
    if (header < 0)
        return keys;
    const qsizetype end = sectionEnd(header);
    QSet<QString> folded;
    for (qsizetype i = header + 1; i < end; ++i) {
        const Parsed &l = m_parsed[i];
        if (l.kind == Kind::Key && !folded.contains(l.folded)) {
            folded.insert(l.folded);
            keys << l.name;
        }
    }
    return keys;
}
