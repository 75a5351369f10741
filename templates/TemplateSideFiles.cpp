#include "templates/TemplateSideFiles.h"

#include "platform/profile/TextEncoding.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

namespace {

QString withSeparator(QString folder)
{
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

// An empty rich-text document, written when the fax editor has no content.
const QByteArray kEmptyRtf = "{\\rtf1}";

std::optional<QByteArray> readFile(const QString &path)
{
    if (!QFileInfo::exists(path))
        return std::nullopt;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw SettingsFileError(
            QStringLiteral("Cannot open file \"%1\".").arg(QDir::toNativeSeparators(path)));
    return f.readAll();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile f(path);
    f.setDirectWriteFallback(true);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit())
        throw SettingsFileError(QStringLiteral("Cannot create file \"%1\". %2")
                                    .arg(QDir::toNativeSeparators(path), f.errorString()));
}

} // namespace

namespace TemplateSideFiles {

QString mailMessageFile(const QString &templateFolder)
{
    return withSeparator(templateFolder) + QStringLiteral("mailmessage.txt");
}

QString faxTemplateFile(const QString &templateFolder)
{
    return withSeparator(templateFolder) + QStringLiteral("faxtemplate.rtf");
}

std::optional<QStringList> readMailMessage(const QString &path, TextFileFormat &format)
{
    const std::optional<QByteArray> bytes = readFile(path);
    if (!bytes)
        return std::nullopt;
    const TextEncoding::Decoded decoded = TextEncoding::decode(*bytes);
    format.codec = decoded.codec;
    format.lineBreak = TextEncoding::lineBreakOf(decoded.text);
    // Lines as a text list reads them: CR LF, LF or CR ends a line, and a
    // final line end does not open another line.
    static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
    QStringList lines = decoded.text.split(breaks);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

void writeMailMessage(const QString &path, const QStringList &lines, const TextFileFormat &format)
{
    QString text;
    for (const QString &line : lines)
        text += line + format.lineBreak;
    writeFile(path, TextEncoding::encode(text, format.codec));
}

std::optional<QByteArray> readFaxTemplate(const QString &path)
{
    return readFile(path);
}

void writeFaxTemplate(const QString &path, const QByteArray &rtf)
{
    writeFile(path, rtf.isEmpty() ? kEmptyRtf : rtf);
}

} // namespace TemplateSideFiles
