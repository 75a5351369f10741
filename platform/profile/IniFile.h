#pragma once

// An INI file with typed values: what the settings file and the template
// files are made of. Write-through (the default), each write goes to disk at
// once through the private-profile functions. Buffered, the file is read
// once and writes collect in memory until UpdateFile() replaces the file in
// one step: many keys, one disk write.

#include "platform/profile/PrivateProfile.h"
#include "platform/profile/ProfileDocument.h"

#include <QDate>
#include <QString>
#include <QTime>

#include <functional>
#include <stdexcept>
#include <utility>
#include <vector>

// A write that did not reach the file. The text is "Unable to write to %s"
// with the file's path.
class EIniFileException : public std::runtime_error {
public:
    explicit EIniFileException(const QString &text)
        : std::runtime_error(text.toUtf8().toStdString()), m_text(text)
    {
    }
    QString text() const { return m_text; }

private:
    QString m_text;
};

class IniFile {
public:
    enum class Mode { WriteThrough, Buffered };

    explicit IniFile(QString fileName, Mode mode = Mode::WriteThrough)
        : m_fileName(std::move(fileName)), m_mode(mode)
    {
    }

    // Buffered: writes what has changed since the last update. Throws
    // EIniFileException when the file cannot be written. Nothing is written
    // by the destructor.
    void UpdateFile();

    QString FileName() const { return m_fileName; }

    // At most bufferSize - 1 characters come back (2047 by default);
    // bufferSize <= 0 reads the whole value.
    QString ReadString(const QString &section, const QString &key, const QString &defaultValue,
                       int bufferSize = kProfileBufferSize) const;
    // Decimal, or hexadecimal after "0x"/"0X"; anything that is not a whole
    // number gives the default.
    int ReadInteger(const QString &section, const QString &key, int defaultValue) const;
    // Read as an integer; any non-zero value is true.
    bool ReadBool(const QString &section, const QString &key, bool defaultValue) const;
    // In the user's short date format; unparsable text gives the default.
    QDate ReadDate(const QString &section, const QString &key, const QDate &defaultValue) const;
    // In the user's long time format; unparsable text gives the default.
    QTime ReadTime(const QString &section, const QString &key, const QTime &defaultValue) const;

    // Each throws EIniFileException when the file cannot be written.
    void WriteString(const QString &section, const QString &key, const QString &value);
    void WriteInteger(const QString &section, const QString &key, int value);
    void WriteBool(const QString &section, const QString &key, bool value);
    void WriteDate(const QString &section, const QString &key, const QDate &value);
    void WriteTime(const QString &section, const QString &key, const QTime &value);

    // Many keys of one section in one pass over the file, as WriteString
    // would write them one after the other.
    void WriteStrings(const QString &section, const std::vector<std::pair<QString, QString>> &values);

    void DeleteKey(const QString &section, const QString &key);
    // Deletes every key of the section whose name matches, in one pass.
    void DeleteKeys(const QString &section, const std::function<bool(const QString &key)> &matches);
    void EraseSection(const QString &section);

    bool SectionExists(const QString &section) const;
    bool ValueExists(const QString &section, const QString &key) const;
    QStringList ReadSections() const;
    QStringList ReadSection(const QString &section) const; // key names

    // The formats used for dates and times: the locale's short date format
    // with the year widened to four digits (two-digit years would come back
    // in the wrong century), and its long time format without the time zone.
    static QString shortDateFormat();
    static QString longTimeFormat();
    static QString formatDate(const QDate &date);
    static QString formatTime(const QTime &time);
    // nullopt when the text does not parse.
    static std::optional<QDate> parseDate(const QString &text);
    static std::optional<QTime> parseTime(const QString &text);

private:
    [[noreturn]] void failWrite() const;
    bool buffered() const { return m_mode == Mode::Buffered; }
    // The buffered document, read on first use; nullptr when the file
    // exists but cannot be read.
    ProfileDocument *document() const;

    QString m_fileName;
    Mode m_mode;
    mutable std::optional<ProfileDocument> m_doc;
    mutable bool m_readable = true;
    bool m_dirty = false;
};
