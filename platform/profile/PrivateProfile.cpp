#include "platform/profile/PrivateProfile.h"

#include "platform/profile/TextEncoding.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

namespace {

// An INI file as lines, with what it takes to write it back as it was.
struct Document {
    QStringList lines;
    QByteArray codec = TextEncoding::Utf8;
    QString lineBreak = QStringLiteral("\r\n");
    bool endsWithLineBreak = true;
};

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

// false when the file exists but cannot be read; a missing file is empty.
bool load(const QString &fileName, Document &doc)
{
    QFile f(fileName);
    if (!f.exists())
        return true;
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const TextEncoding::Decoded decoded = TextEncoding::decode(f.readAll());
    doc.codec = decoded.codec;
    doc.lineBreak = TextEncoding::lineBreakOf(decoded.text);
    if (decoded.text.isEmpty())
        return true;
    static const QRegularExpression breaks(QStringLiteral("\r\n|\n"));
    doc.lines = decoded.text.split(breaks);
    doc.endsWithLineBreak = doc.lines.last().isEmpty();
    if (doc.endsWithLineBreak)
        doc.lines.removeLast();
    return true;
}

bool save(const QString &fileName, const Document &doc)
{
    QString text = doc.lines.join(doc.lineBreak);
    if (doc.endsWithLineBreak && !doc.lines.isEmpty())
        text += doc.lineBreak;
    QSaveFile f(fileName);
    // A settings file in a folder we may not create files in can still be
    // rewritten in place.
    f.setDirectWriteFallback(true);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    if (f.write(TextEncoding::encode(text, doc.codec)) < 0)
        return false;
    return f.commit();
}

// Index of the header line of the first section called name, or -1.
qsizetype findSection(const Document &doc, const QString &name)
{
    for (qsizetype i = 0; i < doc.lines.size(); ++i) {
        const Line l = parseLine(doc.lines[i]);
        if (l.kind == LineKind::Section && sameName(l.name, name))
            return i;
    }
    return -1;
}

// One past the last line of the section whose header is at header.
qsizetype sectionEnd(const Document &doc, qsizetype header)
{
    qsizetype i = header + 1;
    while (i < doc.lines.size() && parseLine(doc.lines[i]).kind != LineKind::Section)
        ++i;
    return i;
}

qsizetype findKey(const Document &doc, qsizetype header, const QString &key)
{
    const qsizetype end = sectionEnd(doc, header);
    for (qsizetype i = header + 1; i < end; ++i) {
        const Line l = parseLine(doc.lines[i]);
        if (l.kind == LineKind::Key && sameName(l.name, key))
            return i;
    }
    return -1;
}

std::optional<QString> lookup(const QString &section, const QString &key, const QString &fileName)
{
    Document doc;
    if (!load(fileName, doc))
        return std::nullopt;
    const qsizetype header = findSection(doc, section);
    if (header < 0)
        return std::nullopt;
    const qsizetype at = findKey(doc, header, key);
    if (at < 0)
        return std::nullopt;
    return parseLine(doc.lines[at]).value;
}

bool hasLineBreak(const QString &s)
{
    return s.contains(QLatin1Char('\n')) || s.contains(QLatin1Char('\r'));
}

bool validSection(const QString &s)
{
    return !hasLineBreak(s) && !s.contains(QLatin1Char(']'));
}

bool validKey(const QString &k)
{
    const QString t = k.trimmed();
    return !t.isEmpty() && !hasLineBreak(k) && !k.contains(QLatin1Char('=')) &&
           !t.startsWith(QLatin1Char('[')) && !t.startsWith(QLatin1Char(';'));
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

QString GetPrivateProfileString(const QString &section, const QString &key, const QString &defaultValue,
                                const QString &fileName, int bufferSize)
{
    QString result;
    if (const auto found = lookup(section, key, fileName))
        result = *found;
    else {
        result = defaultValue;
        while (!result.isEmpty() && result.back() == ' ')
            result.chop(1);
    }
    if (bufferSize > 0 && result.size() > bufferSize - 1)
        result.truncate(bufferSize - 1);
    return result;
}

int GetPrivateProfileInt(const QString &section, const QString &key, int defaultValue,
                         const QString &fileName)
{
    const auto found = lookup(section, key, fileName);
    if (!found || found->isEmpty())
        return defaultValue;
    const QString &s = *found;
    qsizetype i = 0;
    while (i < s.size() && s[i].isSpace())
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+'))
        negative = s[i++] == '-';
    int base = 10;
    if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    quint32 value = 0;
    for (; i < s.size(); ++i) {
        const int digit = s[i].isDigit() ? s[i].digitValue()
                          : (base == 16 && s[i].toLower() >= 'a' && s[i].toLower() <= 'f')
                              ? s[i].toLower().unicode() - 'a' + 10
                              : -1;
        if (digit < 0 || digit >= base)
            break;
        value = value * base + digit; // wraps as the 32-bit reader does
    }
    return static_cast<int>(negative ? 0u - value : value);
}

bool WritePrivateProfileString(const QString &section, const std::optional<QString> &key,
                               const std::optional<QString> &value, const QString &fileName)
{
    if (!validSection(section) || (key && !validKey(*key)))
        return false;
    Document doc;
    if (!load(fileName, doc))
        return false;
    const qsizetype header = findSection(doc, section);

    if (!key) { // delete the section
        if (header < 0)
            return true;
        doc.lines.remove(header, sectionEnd(doc, header) - header);
        return save(fileName, doc);
    }
    if (!value) { // delete the key
        if (header < 0)
            return true;
        const qsizetype at = findKey(doc, header, *key);
        if (at < 0)
            return true;
        doc.lines.removeAt(at);
        return save(fileName, doc);
    }

    const QString stored = storedValue(*value);
    if (header < 0) {
        if (!doc.lines.isEmpty() && !doc.lines.last().trimmed().isEmpty())
            doc.lines << QString();
        doc.lines << QLatin1Char('[') + section + QLatin1Char(']')
                  << key->trimmed() + QLatin1Char('=') + stored;
        doc.endsWithLineBreak = true;
        return save(fileName, doc);
    }
    if (const qsizetype at = findKey(doc, header, *key); at >= 0) {
        // Keep the key's spelling as the file has it.
        doc.lines[at] = parseLine(doc.lines[at]).name + QLatin1Char('=') + stored;
        return save(fileName, doc);
    }
    // A new key goes after the section's last non-blank line, before the
    // blank lines that separate it from the next section.
    qsizetype insertAt = sectionEnd(doc, header);
    while (insertAt > header + 1 && doc.lines[insertAt - 1].trimmed().isEmpty())
        --insertAt;
    if (insertAt == doc.lines.size())
        doc.endsWithLineBreak = true;
    doc.lines.insert(insertAt, key->trimmed() + QLatin1Char('=') + stored);
    return save(fileName, doc);
}

QStringList GetPrivateProfileSectionNames(const QString &fileName)
{
    Document doc;
    load(fileName, doc);
    QStringList names;
    for (const QString &raw : std::as_const(doc.lines)) {
        const Line l = parseLine(raw);
        if (l.kind == LineKind::Section && !names.contains(l.name, Qt::CaseInsensitive))
            names << l.name;
    }
    return names;
}

QStringList GetPrivateProfileSectionKeys(const QString &section, const QString &fileName)
{
    Document doc;
    load(fileName, doc);
    QStringList keys;
    const qsizetype header = findSection(doc, section);
    if (header < 0)
        return keys;
    const qsizetype end = sectionEnd(doc, header);
    for (qsizetype i = header + 1; i < end; ++i) {
        const Line l = parseLine(doc.lines[i]);
        if (l.kind == LineKind::Key && !keys.contains(l.name, Qt::CaseInsensitive))
            keys << l.name;
    }
    return keys;
}
