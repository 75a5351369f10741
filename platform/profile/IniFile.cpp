#include "platform/profile/IniFile.h"

#include <QLocale>

namespace {

// Drops the unquoted time-zone letters of a time format: a time of day has
// no zone, and a zone name would not parse back.
QString withoutTimeZone(const QString &format)
{
    QString out;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == '\'')
            quoted = !quoted;
        if (!quoted && c == 't')
            continue;
        out += c;
    }
    return out.trimmed();
}

} // namespace

ProfileDocument *IniFile::document() const
{
    if (!m_doc) {
        m_doc.emplace();
        m_readable = m_doc->load(m_fileName);
    }
    return m_readable ? &*m_doc : nullptr;
}

void IniFile::UpdateFile()
{
    if (!buffered() || !m_dirty)
        return;
    if (!document() || !m_doc->save(m_fileName))
        failWrite();
    m_dirty = false;
}

QString IniFile::ReadString(const QString &section, const QString &key, const QString &defaultValue,
                            int bufferSize) const
{
    if (!buffered())
        return GetPrivateProfileString(section, key, defaultValue, m_fileName, bufferSize);
    std::optional<QString> found;
    if (const ProfileDocument *doc = document())
        found = doc->value(section, key, bufferSize > 0 ? bufferSize - 1 : -1);
    QString result = found ? *found : defaultValue;
    if (!found)
        while (!result.isEmpty() && result.back() == ' ')
            result.chop(1);
    if (bufferSize > 0 && result.size() > bufferSize - 1)
        result.truncate(bufferSize - 1);
    return result;
}

int IniFile::ReadInteger(const QString &section, const QString &key, int defaultValue) const
{
    const QString text = ReadString(section, key, QString());
    bool ok = false;
    int value = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        const QString digits = text.mid(2);
        // A sign after the prefix is not a hex number.
        if (!digits.startsWith('-') && !digits.startsWith('+'))
            value = static_cast<int>(digits.toUInt(&ok, 16));
    } else {
        value = text.toInt(&ok, 10);
    }
    return ok ? value : defaultValue;
}

bool IniFile::ReadBool(const QString &section, const QString &key, bool defaultValue) const
{
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

QDate IniFile::ReadDate(const QString &section, const QString &key, const QDate &defaultValue) const
{
    const QString text = ReadString(section, key, QString());
    if (text.isEmpty())
        return defaultValue;
    return parseDate(text).value_or(defaultValue);
}

QTime IniFile::ReadTime(const QString &section, const QString &key, const QTime &defaultValue) const
{
    const QString text = ReadString(section, key, QString());
    if (text.isEmpty())
        return defaultValue;
    return parseTime(text).value_or(defaultValue);
}

void IniFile::failWrite() const
{
    throw EIniFileException(QStringLiteral("Unable to write to %1").arg(m_fileName));
}

void IniFile::WriteString(const QString &section, const QString &key, const QString &value)
{
    if (buffered()) {
        // A file we cannot read is not overwritten with only our keys.
        ProfileDocument *doc = document();
        if (!doc || !doc->setValue(section, key, value))
            failWrite();
        m_dirty = true;
        return;
    }
    if (!WritePrivateProfileString(section, key, value, m_fileName))
        failWrite();
}

void IniFile::WriteInteger(const QString &section, const QString &key, int value)
{
    WriteString(section, key, QString::number(value));
}

void IniFile::WriteBool(const QString &section, const QString &key, bool value)
{
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void IniFile::WriteDate(const QString &section, const QString &key, const QDate &value)
{
    WriteString(section, key, formatDate(value));
}

void IniFile::WriteTime(const QString &section, const QString &key, const QTime &value)
{
    WriteString(section, key, formatTime(value));
}

void IniFile::WriteStrings(const QString &section, const std::vector<std::pair<QString, QString>> &values)
{
    if (buffered()) {
        ProfileDocument *doc = document();
        if (!doc || !doc->setValues(section, values))
            failWrite();
        m_dirty = true;
        return;
    }
    ProfileDocument doc;
    if (!doc.load(m_fileName) || !doc.setValues(section, values) || !doc.save(m_fileName))
        failWrite();
}

void IniFile::DeleteKeys(const QString &section, const std::function<bool(const QString &)> &matches)
{
    if (buffered()) {
        if (ProfileDocument *doc = document(); doc && doc->removeKeys(section, matches))
            m_dirty = true;
        return;
    }
    ProfileDocument doc;
    if (doc.load(m_fileName) && doc.removeKeys(section, matches))
        doc.save(m_fileName);
}

void IniFile::DeleteKey(const QString &section, const QString &key)
{
    // As with the platform call, a key that cannot be deleted is left; the
    // next write to the file reports the file.
    if (buffered()) {
        if (ProfileDocument *doc = document(); doc && doc->removeKey(section, key))
            m_dirty = true;
        return;
    }
    WritePrivateProfileString(section, key, std::nullopt, m_fileName);
}

void IniFile::EraseSection(const QString &section)
{
    if (buffered()) {
        ProfileDocument *doc = document();
        if (!doc)
            failWrite();
        if (doc->removeSection(section))
            m_dirty = true;
        return;
    }
    if (!WritePrivateProfileString(section, std::nullopt, std::nullopt, m_fileName))
        failWrite();
}

bool IniFile::SectionExists(const QString &section) const
{
    return ReadSections().contains(section.trimmed(), Qt::CaseInsensitive);
}

bool IniFile::ValueExists(const QString &section, const QString &key) const
{
    return ReadSection(section).contains(key.trimmed(), Qt::CaseInsensitive);
}

QStringList IniFile::ReadSections() const
{
    if (!buffered())
        return GetPrivateProfileSectionNames(m_fileName);
    const ProfileDocument *doc = document();
    return doc ? doc->sections() : QStringList();
}

QStringList IniFile::ReadSection(const QString &section) const
{
    if (!buffered())
        return GetPrivateProfileSectionKeys(section, m_fileName);
    const ProfileDocument *doc = document();
    return doc ? doc->keys(section) : QStringList();
}

QString IniFile::shortDateFormat()
{
    QString format = QLocale().dateFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return format;
}

QString IniFile::longTimeFormat()
{
    return withoutTimeZone(QLocale().timeFormat(QLocale::LongFormat));
}

QString IniFile::formatDate(const QDate &date)
{
    return QLocale().toString(date, shortDateFormat());
}

QString IniFile::formatTime(const QTime &time)
{
    return QLocale().toString(time, longTimeFormat());
}

std::optional<QDate> IniFile::parseDate(const QString &text)
{
    const QLocale locale;
    const QString trimmed = text.trimmed();
    QDate date = locale.toDate(trimmed, shortDateFormat());
    if (!date.isValid()) {
        // The locale's own two-digit form, as another program may have
        // written it: years 00-49 are this century, 50-99 the last.
        date = locale.toDate(trimmed, locale.dateFormat(QLocale::ShortFormat));
        if (date.isValid() && date.year() < 1950)
            date = date.addYears(100);
    }
    if (!date.isValid())
        return std::nullopt;
    return date;
}

std::optional<QTime> IniFile::parseTime(const QString &text)
{
    const QLocale locale;
    const QString trimmed = text.trimmed();
    QTime time = locale.toTime(trimmed, longTimeFormat());
    if (!time.isValid())
        time = locale.toTime(trimmed, withoutTimeZone(locale.timeFormat(QLocale::ShortFormat)));
    if (!time.isValid())
        return std::nullopt;
    return time;
}
