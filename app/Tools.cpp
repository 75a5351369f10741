#include "app/Tools.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

SystemToolInfo systemToolInfo(SystemTool tool)
{
    switch (tool) {
    case SystemTool::FaxConsole:
        return {QStringLiteral("fxsclnt.exe"), QStringLiteral("Fax Console not found !")};
    case SystemTool::FaxCoverPageEditor:
        return {QStringLiteral("fxscover.exe"), QStringLiteral("Fax Cover Page Editor not found !")};
    case SystemTool::SoundRecorder:
        return {QStringLiteral("sndrec32.exe"), QStringLiteral("Sound Recorder not found !")};
    case SystemTool::VolumeControl:
        return {QStringLiteral("sndvol32.exe"), QStringLiteral("Mixer / Volume Control not found !")};
    }
    return {};
}

void OpenSystemTool(SystemTool tool, Dialogs &dialogs, Shell &shell)
{
    const SystemToolInfo info = systemToolInfo(tool);
    const QString path = shell.GetSystemDirectory() + QLatin1Char('/') + info.fileName;
    if (shell.FileExists(path))
        shell.ShellExecute(QStringLiteral("open"), path, QString(), QString(), ShowCommand::Normal);
    else
        dialogs.showMessage(info.missingMessage);
}

void RegisterFaxService(SystemShell &shell, const QString &programFolder)
{
    const QString beside = QDir(programFolder).filePath(QStringLiteral("brenvoy-fax"));
    const struct {
        const char *name;
        QStringList arguments;
    } tools[] = {
        {"fxscomex.dll", {}},
        {"fxsclnt.exe", {QStringLiteral("console")}},
        {"fxscover.exe", {QStringLiteral("cover")}},
    };
    for (const auto &t : tools)
        for (const QString &program : {beside, QStringLiteral("brenvoy-fax")})
            shell.registerProgram(QString::fromLatin1(t.name), {program, t.arguments});
}

void OpenCallScript(Shell &shell, const QString &programFolder)
{
    const QString script = QDir(programFolder).filePath(QString::fromLatin1(kCallScriptName));
    if (!QFileInfo::exists(script)) {
        // Written whole or not at all: a half-made script would stay behind.
        QSaveFile f(script);
        const QByteArray content(kEmptyCallScript);
        if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size() || !f.commit())
            throw EFCreateError(QStringLiteral("Cannot create file \"%1\". %2")
                                    .arg(QDir::toNativeSeparators(script), f.errorString()));
    }
    shell.ShellExecute(QStringLiteral("open"), QStringLiteral("wordpad.exe"),
                       QString::fromLatin1(kCallScriptName), programFolder, ShowCommand::Show);
}
