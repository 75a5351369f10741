#include "contacts/ContactFileName.h"

#include <QFile>

namespace {
// Linux file systems hold names of at most 255 bytes.
constexpr qsizetype kMaxNameBytes = 255;
} // namespace

QString ContactFilePath(const QString &folder, const QString &fileName)
{
    const auto refuse = [&](const QString &why) {
        throw EContactFileName(QStringLiteral("The contact's name cannot be used in a file name (%1): \"%2\"")
                                   .arg(why, fileName));
    };
    if (fileName.isEmpty() || fileName == QLatin1String("."))
        refuse(QStringLiteral("empty name"));
    if (fileName.contains(QLatin1Char('/')))
        refuse(QStringLiteral("it holds a folder separator"));
    if (fileName.contains(QLatin1String("..")))
        refuse(QStringLiteral("it holds \"..\""));
    if (fileName.contains(QChar(0)))
        refuse(QStringLiteral("it holds a NUL character"));
    if (QFile::encodeName(fileName).size() > kMaxNameBytes)
        refuse(QStringLiteral("longer than the file system allows"));
    QString path = folder;
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path + fileName;
}

QString RecordingPrefix(const QString &company, const QString &firstName, const QString &lastName)
{
    return QStringLiteral("call_rec_") + company + QLatin1Char('_') + firstName + QLatin1Char('_') +
           lastName + QLatin1Char('_');
}

QString RecordingFilePath(const QString &folder, const QString &prefix, int slot)
{
    return ContactFilePath(folder, prefix + QString::number(slot) + QStringLiteral(".wav"));
}
