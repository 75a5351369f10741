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

QString withoutLineBreaks(QString value)
{
    static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
    if (hasLineBreak(value))
        value.replace(breaks, QStringLiteral(" "));
    return value;
}

// The value as it must stand in the file to read back unchanged.
QString storedValue(const QString &value)
{
    const bool blanksAtEnds = !value.isEmpty() && (value.front().isSpace() || value.back().isSpace());
    const bool quoted =
        value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front();
    if (blanksAtEnds || quoted)
        return QLatin1Char('"') + value + QLatin1Char('"');
    return value;
}

bool isBlank(QChar c)
{
    return c.isSpace();
}

} // namespace

ProfileDocument::Parsed ProfileDocument::parse(const QString &raw)
{
    qsizetype from = 0, to = raw.size();
    while (from < to && isBlank(raw[from]))
        ++from;
    while (to > from && isBlank(raw[to - 1]))
        --to;
    if (from == to)
        return {Kind::Blank};
    if (raw[from] == '[') {
        qsizetype close = raw.indexOf(QLatin1Char(']'), from);
        qsizetype nameFrom = from + 1, nameTo = close < 0 || close > to ? to : close;
        while (nameFrom < nameTo && isBlank(raw[nameFrom]))
            ++nameFrom;
        while (nameTo > nameFrom && isBlank(raw[nameTo - 1]))
            --nameTo;
        return {Kind::Section, nameFrom, nameTo - nameFrom};
    }
    if (raw[from] == ';')
        return {};
    const qsizetype eq = raw.indexOf(QLatin1Char('='), from);
    if (eq < 0 || eq >= to)
        return {};
    qsizetype nameTo = eq;
    while (nameTo > from && isBlank(raw[nameTo - 1]))
        --nameTo;
    qsizetype valueFrom = eq + 1;
    while (valueFrom < to && isBlank(raw[valueFrom]))
        ++valueFrom;
    qsizetype valueTo = to;
    if (valueTo - valueFrom >= 2 && (raw[valueFrom] == '"' || raw[valueFrom] == '\'') &&
        raw[valueTo - 1] == raw[valueFrom]) {
        ++valueFrom;
        --valueTo;
    }
    return {Kind::Key, from, nameTo - from, valueFrom, valueTo - valueFrom};
}

QStringView ProfileDocument::nameOf(qsizetype line) const
{
    const Parsed &p = m_parsed[line];
    return QStringView(m_lines[line]).mid(p.nameFrom, p.nameLength);
}

QStringView ProfileDocument::valueOf(qsizetype line) const
{
    const Parsed &p = m_parsed[line];
    return QStringView(m_lines[line]).mid(p.valueFrom, p.valueLength);
}

void ProfileDocument::invalidate()
{
    m_sectionIndex.reset();
    m_keyIndex.clear();
}

void ProfileDocument::insertLines(qsizetype at, const QStringList &raw)
{
    if (raw.isEmpty())
        return;
    std::vector<Parsed> parsed;
    parsed.reserve(raw.size());
    for (const QString &line : raw)
        parsed.push_back(parse(line));
    // One splice, so a batch of new keys costs one move of the lines after it.
    QStringList lines;
    lines.reserve(m_lines.size() + raw.size());
    lines << m_lines.mid(0, at) << raw << m_lines.mid(at);
    m_lines = std::move(lines);
    m_parsed.insert(m_parsed.begin() + at, parsed.begin(), parsed.end());
    invalidate();
}

void ProfileDocument::replaceLine(qsizetype at, const QString &raw)
{
    const QString oldName = foldedName(at);
    const Kind oldKind = m_parsed[at].kind;
    m_lines[at] = raw;
    m_parsed[at] = parse(raw);
    if (m_parsed[at].kind != oldKind || foldedName(at) != oldName)
        invalidate();
}

void ProfileDocument::removeLines(qsizetype at, qsizetype count)
{
    m_lines.remove(at, count);
    m_parsed.erase(m_parsed.begin() + at, m_parsed.begin() + at + count);
    invalidate();
}

bool ProfileDocument::load(const QString &fileName)
{
    *this = ProfileDocument();
    QFile f(fileName);
    if (!f.exists())
        return true;
    if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxFileSize)
        return false;
    QString text;
    {
        const QByteArray bytes = f.readAll();
        TextEncoding::Decoded decoded = TextEncoding::decode(bytes);
        m_codec = decoded.codec;
        // Plain ASCII does not tell UTF-8 from the Windows code page. Such a
        // file is taken as the Windows program writes it, so a file that lost
        // its last accented letter in one write gets the next one back in its
        // own code page.
        if (m_codec == TextEncoding::Utf8 && bytes.size() == decoded.text.size())
            m_codec = TextEncoding::Windows1252;
        text = std::move(decoded.text);
    }
    m_lineBreak = TextEncoding::lineBreakOf(text);
    if (text.isEmpty())
        return true;
    // Lines are cut from the text by position: a split through a regular
    // expression would hold several copies of a large file at once.
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype lf = text.indexOf(QLatin1Char('\n'), start);
        const qsizetype next = lf < 0 ? text.size() + 1 : lf + 1;
        qsizetype end = lf < 0 ? text.size() : lf;
        if (lf >= 0 && end > start && text[end - 1] == '\r')
            --end;
        m_lines << text.mid(start, end - start);
        start = next;
    }
    text.clear();
    text.squeeze();
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
    if (!m_sectionIndex) {
        m_sectionIndex.emplace();
        for (size_t i = 0; i < m_parsed.size(); ++i)
            if (m_parsed[i].kind == Kind::Section) {
                const QString name = foldedName(static_cast<qsizetype>(i));
                if (!m_sectionIndex->contains(name))
                    m_sectionIndex->insert(name, static_cast<qsizetype>(i));
            }
    }
    return m_sectionIndex->value(name.trimmed().toCaseFolded(), -1);
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
    auto it = m_keyIndex.find(header);
    if (it == m_keyIndex.end()) {
        QHash<QString, qsizetype> keys;
        const qsizetype end = sectionEnd(header);
        for (qsizetype i = header + 1; i < end; ++i)
            if (m_parsed[i].kind == Kind::Key) {
                const QString name = foldedName(i);
                if (!keys.contains(name))
                    keys.insert(name, i);
            }
        it = m_keyIndex.insert(header, std::move(keys));
    }
    return it->value(key.trimmed().toCaseFolded(), -1);
}

qsizetype ProfileDocument::insertionPoint(qsizetype header) const
{
    // Before the blank lines that separate the section from the next one.
    qsizetype at = sectionEnd(header);
    while (at > header + 1 && m_parsed[at - 1].kind == Kind::Blank)
        --at;
    return at;
}

std::optional<QString> ProfileDocument::value(const QString &section, const QString &key,
                                              qsizetype maxLength) const
{
    const qsizetype header = findSection(section);
    if (header < 0)
        return std::nullopt;
    const qsizetype at = findKey(header, key);
    if (at < 0)
        return std::nullopt;
    QStringView v = valueOf(at);
    if (maxLength >= 0 && v.size() > maxLength)
        v = v.first(maxLength);
    return v.toString();
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
    return setValues(section, {{key, value}});
}

bool ProfileDocument::setValues(const QString &section,
                                const std::vector<std::pair<QString, QString>> &values)
{
    if (!validSection(section))
        return false;
    for (const auto &[key, value] : values)
        if (!validKey(key))
            return false;
    const qsizetype header = findSection(section);
    QStringList added;
    QHash<QString, qsizetype> addedAt; // folded key -> its line in added
    for (const auto &[key, rawValue] : values) {
        const QString value = withoutLineBreaks(rawValue);
        const qsizetype at = header < 0 ? -1 : findKey(header, key);
        if (at >= 0) {
            // A hand-kept line stays as it stands while its value does not
            // change; a changed one keeps the key's spelling.
            if (valueOf(at) != value)
                replaceLine(at, nameOf(at).toString() + QLatin1Char('=') + storedValue(value));
            continue;
        }
        const QString line = key.trimmed() + QLatin1Char('=') + storedValue(value);
        const QString folded = key.trimmed().toCaseFolded();
        if (const auto it = addedAt.constFind(folded); it != addedAt.cend()) {
            // The same new key again: the later value wins, under the first spelling.
            const QString &first = added[*it];
            added[*it] = first.left(first.indexOf(QLatin1Char('=')) + 1) + storedValue(value);
            continue;
        }
        addedAt.insert(folded, added.size());
        added << line;
    }
    if (added.isEmpty())
        return true;
    if (header < 0) {
        QStringList lines;
        if (!m_lines.isEmpty() && m_parsed.back().kind != Kind::Blank)
            lines << QString();
        lines << QLatin1Char('[') + section + QLatin1Char(']') << added;
        insertLines(m_lines.size(), lines);
        m_endsWithLineBreak = true;
        return true;
    }
    const qsizetype at = insertionPoint(header);
    if (at == m_lines.size())
        m_endsWithLineBreak = true;
    insertLines(at, added);
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

bool ProfileDocument::removeKeys(const QString &section, const std::function<bool(const QString &)> &matches)
{
    const qsizetype header = findSection(section);
    if (header < 0)
        return false;
    const qsizetype end = sectionEnd(header);
    // Only the first line of each key is the key; a later repeat stays, as
    // deleting one key at a time would leave it.
    QSet<QString> seen;
    std::vector<bool> drop(end - header, false);
    bool any = false;
    for (qsizetype i = header + 1; i < end; ++i) {
        if (m_parsed[i].kind != Kind::Key)
            continue;
        const QString folded = foldedName(i);
        if (seen.contains(folded))
            continue;
        seen.insert(folded);
        if (matches(nameOf(i).toString()))
            drop[i - header] = any = true;
    }
    if (!any)
        return false;
    QStringList lines;
    std::vector<Parsed> parsed;
    lines.reserve(m_lines.size());
    parsed.reserve(m_parsed.size());
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        if (i > header && i < end && drop[i - header])
            continue;
        lines << m_lines[i];
        parsed.push_back(m_parsed[i]);
    }
    m_lines = std::move(lines);
    m_parsed = std::move(parsed);
    invalidate();
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
    QSet<QString> folded;
    for (size_t i = 0; i < m_parsed.size(); ++i) {
        if (m_parsed[i].kind != Kind::Section)
            continue;
        const qsizetype line = static_cast<qsizetype>(i);
        if (!folded.contains(foldedName(line))) {
            folded.insert(foldedName(line));
            names << nameOf(line).toString();
        }
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
    QSet<QString> folded;
    for (qsizetype i = header + 1; i < end; ++i) {
        if (m_parsed[i].kind == Kind::Key && !folded.contains(foldedName(i))) {
            folded.insert(foldedName(i));
            keys << nameOf(i).toString();
        }
    }
    return keys;
}
