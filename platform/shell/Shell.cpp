#include "platform/shell/Shell.h"

#include <QDesktopServices>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>

namespace {

QString baseName(const QString &file)
{
    const qsizetype cut = std::max(file.lastIndexOf(QLatin1Char('/')), file.lastIndexOf(QLatin1Char('\\')));
    return file.mid(cut + 1);
}

// Windows paths may come from settings written there.
QString slashes(QString path)
{
    return path.replace(QLatin1Char('\\'), QLatin1Char('/'));
}

bool hasFolder(const QString &file)
{
    return file.contains(QLatin1Char('/')) || file.contains(QLatin1Char('\\'));
}

QString folderOf(const QString &file)
{
    const qsizetype cut = std::max(file.lastIndexOf(QLatin1Char('/')), file.lastIndexOf(QLatin1Char('\\')));
    return cut < 0 ? QString() : file.left(cut);
}

// LibreOffice without a GUI (the "nogui" packages, installed for document
// conversion) cannot show a document: it needs one of its window-system
// plugins beside the program.
bool usable(const QString &executable)
{
    const QString name = QFileInfo(executable).fileName();
    if (name != QLatin1String("libreoffice") && name != QLatin1String("soffice") &&
        name != QLatin1String("lowriter"))
        return true;
    const QDir programDir = QFileInfo(QFileInfo(executable).canonicalFilePath()).dir();
    const QStringList plugins = programDir.entryList({QStringLiteral("libvclplug_*lo.so")}, QDir::Files);
    for (const QString &p : plugins)
        if (p != QLatin1String("libvclplug_svplo.so"))
            return true;
    return false;
}

} // namespace

const std::map<QString, std::vector<SystemShell::Program>> &SystemShell::builtInPrograms()
{
    // Programs that do each tool's job on a Linux desktop, most common first.
    static const std::map<QString, std::vector<Program>> programs = {
        // The call script is rich text: an editor that reads and writes RTF.
        {QStringLiteral("wordpad.exe"),
         {{QStringLiteral("lowriter"), {}},
          {QStringLiteral("libreoffice"), {QStringLiteral("--writer")}},
          {QStringLiteral("soffice"), {QStringLiteral("--writer")}},
          {QStringLiteral("abiword"), {}},
          {QStringLiteral("ted"), {}}}},
        {QStringLiteral("sndrec32.exe"),
         {{QStringLiteral("gnome-sound-recorder"), {}},
          {QStringLiteral("audio-recorder"), {}},
          {QStringLiteral("audacity"), {}}}},
        {QStringLiteral("sndvol32.exe"),
         {{QStringLiteral("pavucontrol"), {}},
          {QStringLiteral("pavucontrol-qt"), {}},
          {QStringLiteral("mate-volume-control"), {}},
          {QStringLiteral("gnome-control-center"), {QStringLiteral("sound")}}}},
        // No fax service on this desktop yet: the fax tools are not found.
        {QStringLiteral("fxsclnt.exe"), {}},
        {QStringLiteral("fxscover.exe"), {}},
    };
    return programs;
}

SystemShell::Options SystemShell::defaults(const QString &stateFolder)
{
    Options o;
    o.systemDirectory = stateFolder + QStringLiteral("/shell/system32");
    return o;
}

SystemShell::SystemShell(Options options) : m_options(std::move(options))
{
    while (m_options.systemDirectory.size() > 1 && m_options.systemDirectory.endsWith(QLatin1Char('/')))
        m_options.systemDirectory.chop(1);
}

void SystemShell::registerProgram(const QString &windowsName, Program program)
{
    m_registered[windowsName.toLower()].push_back(std::move(program));
}

QString SystemShell::findExecutable(const QString &name) const
{
    if (QDir::isAbsolutePath(name)) {
        const QFileInfo fi(name);
        return fi.isFile() && fi.isExecutable() ? name : QString();
    }
    return QStandardPaths::findExecutable(name, m_options.searchPath);
}

std::optional<SystemShell::Program> SystemShell::programFor(const QString &windowsName) const
{
    const QString key = windowsName.toLower();
    for (const auto *table : {&m_registered, &builtInPrograms()}) {
        const auto it = table->find(key);
        if (it == table->end())
            continue;
        for (const Program &p : it->second) {
            const QString found = findExecutable(p.command);
            if (!found.isEmpty() && usable(found))
                return Program{found, p.arguments};
        }
    }
    return std::nullopt;
}

bool SystemShell::isToolName(const QString &file) const
{
    const QString key = baseName(file).toLower();
    if (!builtInPrograms().count(key) && !m_registered.count(key))
        return false;
    if (!hasFolder(file))
        return true;
    return QDir::cleanPath(slashes(folderOf(file))) == QDir::cleanPath(m_options.systemDirectory);
}

bool SystemShell::FileExists(const QString &path) const
{
    if (isToolName(path))
        return programFor(baseName(path)).has_value();
    return QFileInfo::exists(path);
}

bool SystemShell::desktopHandles(const QString &mimeType) const
{
    return m_options.desktopHandles ? m_options.desktopHandles(mimeType) : desktopHasHandlerFor(mimeType);
}

bool SystemShell::desktopHasHandlerFor(const QString &mimeType)
{
    // QDesktopServices hands documents to xdg-open on a plain X desktop.
    if (QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty())
        return false;
    const QMimeType type = QMimeDatabase().mimeTypeForName(mimeType);
    QStringList names = type.isValid() ? type.aliases() : QStringList();
    names << (type.isValid() ? type.name() : mimeType) << mimeType;
    for (const QString &folder : QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation)) {
        QDirIterator it(folder, {QStringLiteral("*.desktop")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile entry(it.next());
            // A desktop entry is a few kilobytes; a huge file is not one.
            if (entry.size() > 1 << 20 || !entry.open(QIODevice::ReadOnly | QIODevice::Text))
                continue;
            while (!entry.atEnd()) {
                const QByteArray line = entry.readLine(64 * 1024).trimmed();
                if (!line.startsWith("MimeType="))
                    continue;
                const QStringList types =
                    QString::fromUtf8(line.mid(9)).split(QLatin1Char(';'), Qt::SkipEmptyParts);
                for (const QString &n : names)
                    if (types.contains(n, Qt::CaseInsensitive))
                        return true;
            }
        }
    }
    return false;
}

ShellResult SystemShell::start(const QString &program, const QStringList &arguments, const QString &directory)
{
    ShellResult r;
    r.program = program;
    r.arguments = arguments;
    const bool started = m_options.startDetached ? m_options.startDetached(program, arguments, directory)
                                                 : QProcess::startDetached(program, arguments, directory);
    if (!started)
        r.error = ShellError::Failed;
    return r;
}

ShellResult SystemShell::openUrl(const QUrl &url)
{
    ShellResult r;
    r.url = url;
    const bool opened = m_options.openUrl ? m_options.openUrl(url) : QDesktopServices::openUrl(url);
    if (!opened)
        r.error = ShellError::Failed;
    return r;
}

ShellResult SystemShell::ShellExecute(const QString &verb, const QString &file, const QString &parameters,
                                      const QString &directory, ShowCommand)
{
    if (!verb.isEmpty() && verb.compare(QLatin1String("open"), Qt::CaseInsensitive) != 0)
        return {ShellError::NoAssociation, {}, {}, {}};
    if (file.isEmpty())
        return {ShellError::FileNotFound, {}, {}, {}};
    if (!directory.isEmpty() && !QFileInfo(directory).isDir())
        return {ShellError::PathNotFound, {}, {}, {}};
    const QStringList args = QProcess::splitCommand(parameters);

    // Web and mail addresses; a one-letter scheme is a Windows drive.
    const QUrl url(file, QUrl::StrictMode);
    if (url.isValid() && url.scheme().size() > 1 && !file.startsWith(QLatin1Char('/')))
        return openUrl(url);

    const QDir base(directory.isEmpty() ? QDir::currentPath() : directory);

    if (isToolName(file)) {
        const QString key = baseName(file).toLower();
        // A document for WordPad goes to the desktop's own RTF program first:
        // the operator's choice, and one that surely takes the file.
        if (key == QLatin1String("wordpad.exe") && args.size() == 1) {
            const QString document = base.absoluteFilePath(args[0]);
            if (QFileInfo(document).isFile() && desktopHandles(QStringLiteral("application/rtf")))
                return openUrl(QUrl::fromLocalFile(document));
        }
        if (const auto program = programFor(key))
            return start(program->command, program->arguments + args, directory);
        return {ShellError::FileNotFound, {}, {}, {}};
    }

    if (!hasFolder(file)) {
        QString exe = findExecutable(file);
        if (exe.isEmpty() && file.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive))
            exe = findExecutable(file.chopped(4));
        if (!exe.isEmpty())
            return start(exe, args, directory);
    }

    const QFileInfo target(base.absoluteFilePath(slashes(file)));
    if (!target.exists())
        return {ShellError::FileNotFound, {}, {}, {}};
    if (target.isFile() && target.isExecutable())
        return start(target.absoluteFilePath(), args, directory);
    // A document or a folder: its default application.
    return openUrl(QUrl::fromLocalFile(target.absoluteFilePath()));
}
