#include "config/Settings.h"

#include "contacts/DbfTable.h"
#include "platform/profile/IniFile.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString withSeparator(QString folder)
{
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

} // namespace

DatabaseLocation ReadDatabaseSection(const QString &iniFile, const QString &programFolder)
{
    const IniFile ini(iniFile);
    return {ini.ReadString(QStringLiteral("Database"), QStringLiteral("Path"), withSeparator(programFolder)),
            ini.ReadString(QStringLiteral("Database"), QStringLiteral("Name"),
                           QString::fromUtf8(kDefaultTableName))};
}

void WriteDatabaseSection(const QString &iniFile, const DatabaseLocation &location)
{
    IniFile ini(iniFile, IniFile::Mode::Buffered);
    ini.WriteString(QStringLiteral("Database"), QStringLiteral("Path"), location.path);
    ini.WriteString(QStringLiteral("Database"), QStringLiteral("Name"), location.name);
    ini.UpdateFile();
}

DatabaseLocation ResolveDatabaseLocation(const DatabaseLocation &location, const QString &programFolder)
{
    // A relative folder would depend on where the program was started from.
    if (QDir::isAbsolutePath(location.path) && QFileInfo(location.joined()).isFile())
        return location;
    const DatabaseLocation fallback{withSeparator(programFolder), QString::fromUtf8(kDefaultTableName)};
    if (!QFileInfo::exists(fallback.joined()))
        CreateContactTable(fallback.joined());
    return fallback;
}
