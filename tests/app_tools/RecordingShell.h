#pragma once

#include "platform/shell/Shell.h"

#include <QSet>
#include <vector>

// A shell that records what it was asked to open; the files in present
// "exist".
class RecordingShell final : public Shell {
public:
    struct Call {
        QString verb, file, parameters, directory;
        ShowCommand show;
    };
    std::vector<Call> calls;
    QSet<QString> present;
    QString systemDirectory = QStringLiteral("/sys32");
    ShellError result = ShellError::None; // what every ShellExecute answers

    ShellResult ShellExecute(const QString &verb, const QString &file, const QString &parameters,
                             const QString &directory, ShowCommand show) override
    {
        calls.push_back({verb, file, parameters, directory, show});
        ShellResult r;
        r.error = result;
        return r;
    }
    QString GetSystemDirectory() const override { return systemDirectory; }
    bool FileExists(const QString &path) const override { return present.contains(path); }
};
