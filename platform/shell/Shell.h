#pragma once

// The shell: "open" a program, a document, a folder or a web address, and
// the system directory the program looks for the operating system's tool
// programs in.
//
// The program names Windows tools by their file names (wordpad.exe,
// sndrec32.exe, sndvol32.exe, fxsclnt.exe, fxscover.exe). Here each name
// stands for the Linux program that does the same job, when one is
// installed: such a name "exists" in the system directory exactly when a
// program for it is found, and opening it starts that program. The fax
// tools have no program until the fax service registers one. wordpad.exe
// with a document opens it with the desktop's own program for RTF when
// there is one, else with an installed RTF editor; with neither it fails,
// and the caller falls back to an editor of its own.

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <map>
#include <optional>
#include <vector>

enum class ShowCommand { Hide = 0, Normal = 1, Minimized = 2, Maximized = 3, Show = 5 };

enum class ShellError {
    None,
    FileNotFound,  // no such file, or no installed program for a tool name
    PathNotFound,  // the working folder does not exist
    NoAssociation, // a verb other than "open"
    Failed,        // the program or the desktop refused to start it
};

struct ShellResult {
    ShellError error = ShellError::None;
    // What was started: a program and its arguments, or the URL handed to
    // the desktop.
    QString program;
    QStringList arguments;
    QUrl url;
    bool ok() const { return error == ShellError::None; }
};

class Shell {
public:
    virtual ~Shell() = default;

    // verb "open" (or empty); parameters as one command line; directory the
    // working folder (empty: the current one). Never waits for the program.
    virtual ShellResult ShellExecute(const QString &verb, const QString &file, const QString &parameters,
                                     const QString &directory, ShowCommand show) = 0;
    // Without a trailing separator.
    virtual QString GetSystemDirectory() const = 0;
    // Whether a file is there: for a tool name in the system directory,
    // whether a program for it is installed.
    virtual bool FileExists(const QString &path) const = 0;
};

// The real shell: programs start detached through QProcess, documents and
// web addresses go to the desktop's default application.
class SystemShell final : public Shell {
public:
    // A Linux program, as a command and its leading arguments.
    struct Program {
        QString command;
        QStringList arguments;
    };

    struct Options {
        // The pseudo system directory; normally a folder under the state folder.
        QString systemDirectory;
        // Folders programs are looked up in; empty: the PATH.
        QStringList searchPath;
        // Hooks for tests; empty: QProcess::startDetached / QDesktopServices::openUrl.
        std::function<bool(const QString &program, const QStringList &arguments,
                           const QString &workingFolder)>
            startDetached;
        std::function<bool(const QUrl &)> openUrl;
        // Whether the desktop has a program of its own for a MIME type
        // ("application/rtf"); empty: its desktop entries are looked up.
        std::function<bool(const QString &mimeType)> desktopHandles;
    };

    // The system directory under the platform layers' state folder, the
    // PATH, the real process start and desktop.
    static Options defaults(const QString &stateFolder);

    explicit SystemShell(Options options);

    ShellResult ShellExecute(const QString &verb, const QString &file, const QString &parameters,
                             const QString &directory, ShowCommand show) override;
    QString GetSystemDirectory() const override { return m_options.systemDirectory; }
    bool FileExists(const QString &path) const override;

    // Makes a tool name (e.g. "fxsclnt.exe") start program; the first
    // registered program that is installed wins over the built-in choices.
    void registerProgram(const QString &windowsName, Program program);

    // The installed program a tool name stands for, or nothing.
    std::optional<Program> programFor(const QString &windowsName) const;

    // The Linux programs tried for each tool name, in order.
    static const std::map<QString, std::vector<Program>> &builtInPrograms();

    // Whether the desktop can open documents of a MIME type: its opener is
    // installed and a desktop entry lists the type (or one of its aliases).
    static bool desktopHasHandlerFor(const QString &mimeType);

private:
    QString findExecutable(const QString &name) const;
    bool desktopHandles(const QString &mimeType) const;
    bool isToolName(const QString &file) const;
    ShellResult start(const QString &program, const QStringList &arguments, const QString &directory);
    ShellResult openUrl(const QUrl &url);

    Options m_options;
    std::map<QString, std::vector<Program>> m_registered;
};
