#include "platform/environment/Environment.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

Environment::Environment(Clock &clock, QString programFolder, QString stateFolder)
    : m_clock(&clock), m_programFolder(QDir::cleanPath(programFolder)),
      m_stateFolder(QDir::cleanPath(stateFolder))
{
    QDir().mkpath(m_programFolder);
    QDir().mkpath(m_stateFolder);
}

QString Environment::defaultProgramFolder()
{
    return QCoreApplication::applicationDirPath();
}

QString Environment::defaultStateFolder()
{
    // GenericDataLocation honours XDG_DATA_HOME and falls back to ~/.local/share.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/brenvoy";
}

QString Environment::stateFolderFor(const QString &layer) const
{
    const QString path = m_stateFolder + "/" + layer;
    QDir().mkpath(path);
    return path;
}
