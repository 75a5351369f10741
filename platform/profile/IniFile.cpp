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

QString IniFile::ReadString(const QString &section, const QString &key, const QString &defaultValue,
                            int bufferSize) const
{
    return GetPrivateProfileString(section, key, defaultValue, m_fileName, bufferSize);
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

void IniFile::DeleteKey(const QString &section, const QString &key)
{
    // As with the platform call, a key that cannot be deleted is left; the
    // next write to the file reports the file.
    WritePrivateProfileString(section, key, std::nullopt, m_fileName);
}

void IniFile::EraseSection(const QString &section)
{
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
    return GetPrivateProfileSectionNames(m_fileName);
}

QStringList IniFile::ReadSection(const QString &section) const
{
    return GetPrivateProfileSectionKeys(section, m_fileName);
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
