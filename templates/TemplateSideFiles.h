#pragma once

// The settings file's two side files in the Template folder: the e-mail body
// (mailmessage.txt, plain text) and the fax body (faxtemplate.rtf).

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <stdexcept>

// A side file that cannot be read or written.
class SettingsFileError : public std::runtime_error {
public:
    explicit SettingsFileError(const QString &text) : std::runtime_error(text.toStdString()) {}
};

// How the mail body file was stored when read, so a save writes it back the
// same way. New files: UTF-8 text with CR LF line ends.
struct TextFileFormat {
    QByteArray codec = "UTF-8";
    QString lineBreak = QStringLiteral("\r\n");
};

namespace TemplateSideFiles {

// templateFolder may or may not end in a separator.
QString mailMessageFile(const QString &templateFolder);
QString faxTemplateFile(const QString &templateFolder);

// The lines of the mail body file, nothing when it does not exist; format
// takes how it was stored. Throws SettingsFileError when it cannot be read.
std::optional<QStringList> readMailMessage(const QString &path, TextFileFormat &format);
// Replaces the file; throws SettingsFileError when it cannot be written.
void writeMailMessage(const QString &path, const QStringList &lines, const TextFileFormat &format);

// The fax body's RTF, nothing when the file does not exist. Throws
// SettingsFileError when it cannot be read.
std::optional<QByteArray> readFaxTemplate(const QString &path);
// Replaces the file; an empty body is written as an empty document.
void writeFaxTemplate(const QString &path, const QByteArray &rtf);

} // namespace TemplateSideFiles
