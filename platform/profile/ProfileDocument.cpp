#include "platform/profile/ProfileDocument.h"

#include "platform/profile/TextEncoding.h"

#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>

namespace {

enum class LineKind { Section, Key, Other };

struct Line {
    LineKind kind = LineKind::Other;
    QString name;  // section or key name, trimmed
    QString value; // key value, trimmed and unquoted
};

Line parseLine(const QString &raw)
{
    const QString t = raw.trimmed();
    if (t.startsWith(QLatin1Char('['))) {
        const qsizetype close = t.indexOf(QLatin1Char(']'));
        return {LineKind::Section, (close < 0 ? t.mid(1) : t.mid(1, close - 1)).trimmed(), {}};
    }
    if (t.startsWith(QLatin1Char(';')))
        return {};
    const qsizetype eq = t.indexOf(QLatin1Char('='));
    if (eq < 0)
        return {};
    QString value = t.mid(eq + 1).trimmed();
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    return {LineKind::Key, t.left(eq).trimmed(), value};
}

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

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
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const Line l = parseLine(m_lines[i]);
        if (l.kind == LineKind::Section && sameName(l.name, name))
            return i;
    }
    return -1;
}

qsizetype ProfileDocument::sectionEnd(qsizetype header) const
{
    qsizetype i = header + 1;
    while (i < m_lines.size() && parseLine(m_lines[i]).kind != LineKind::Section)
        ++i;
    return i;
}

qsizetype ProfileDocument::findKey(qsizetype header, const QString &key) const
{
    const qsizetype end = sectionEnd(header);
    for (qsizetype i = header + 1; i < end; ++i) {
        const Line l = parseLine(m_lines[i]);
        if (l.kind == LineKind::Key && sameName(l.name, key))
            return i;
    }
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
    return parseLine(m_lines[at]).value;
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
        if (!m_lines.isEmpty() && !m_lines.last().trimmed().isEmpty())
            m_lines << QString();
        m_lines << QLatin1Char('[') + section + QLatin1Char(']') << key.trimmed() + QLatin1Char('=') + stored;
        m_endsWithLineBreak = true;
        return true;
    }
    if (const qsizetype at = findKey(header, key); at >= 0) {
        // Keep the key's spelling as the file has it.
        m_lines[at] = parseLine(m_lines[at]).name + QLatin1Char('=') + stored;
        return true;
    }
    // A new key goes after the section's last non-blank line, before the
    // blank lines that separate it from the next section.
    qsizetype insertAt = sectionEnd(header);
    while (insertAt > header + 1 && m_lines[insertAt - 1].trimmed().isEmpty())
        --insertAt;
    if (insertAt == m_lines.size())
        m_endsWithLineBreak = true;
    m_lines.insert(insertAt, key.trimmed() + QLatin1Char('=') + stored);
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
    m_lines.removeAt(at);
    return true;
}

bool ProfileDocument::removeSection(const QString &section)
{
    const qsizetype header = findSection(section);
    if (header < 0)
        return false;
    m_lines.remove(header, sectionEnd(header) - header);
    return true;
}

QStringList ProfileDocument::sections() const
{
    QStringList names;
    for (const QString &raw : m_lines) {
        const Line l = parseLine(raw);
        if (l.kind == LineKind::Section && !names.contains(l.name, Qt::CaseInsensitive))
            names << l.name;
    }
    return names;
}

QStringList ProfileDocument::keys(const QString &section) const
{
    QStringList keys;
    const qsizetype header = findSection(section);
    if (header < 0)
        return keys;
    const qsizetype end = sectionEnd(header);
    for (qsizetype i = header + 1; i < end; ++i) {
        const Line l = parseLine(m_lines[i]);
        if (l.kind == LineKind::Key && !keys.contains(l.name, Qt::CaseInsensitive))
            keys << l.name;
    }
    return keys;
}
