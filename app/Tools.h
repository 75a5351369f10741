#pragma once

// The tool programs of the "&Brenvoy" menu and the call script behind the
// "Script" buttons. The main contact window's handlers call these with its
// dialogs service, the shell and the program folder.

#include "platform/shell/Shell.h"
#include "ui/Dialogs.h"

#include <QString>

#include <stdexcept>

// A file that could not be created; the text names it.
class EFCreateError : public std::runtime_error {
public:
    explicit EFCreateError(const QString &text) : std::runtime_error(text.toUtf8().toStdString()) {}
};

enum class SystemTool { FaxConsole, FaxCoverPageEditor, SoundRecorder, VolumeControl };

struct SystemToolInfo {
    QString fileName;       // in the system directory
    QString missingMessage; // shown when it is not there
};
SystemToolInfo systemToolInfo(SystemTool tool);

// OpenFaxConsole1Click, OpenFaxCoverPageEditor1Click, OpenSoundRecorder1Click,
// OpenVolumeControl1Click: starts the tool from the system directory, or
// shows its "not found" message.
void OpenSystemTool(SystemTool tool, Dialogs &dialogs, Shell &shell);

// The fax service's program ("brenvoy-fax", beside ours or on the PATH)
// stands for its library, fxscomex.dll, and starts its console and its
// cover page editor. Without it the fax service is missing.
void RegisterFaxService(SystemShell &shell, const QString &programFolder);

// The call script's file name and the content of a new one: an empty
// rich-text document, seven characters, no line end.
inline const char *const kCallScriptName = "script.rtf";
inline const char *const kEmptyCallScript = "{\\rtf1}";

// btnScriptClick: creates script.rtf in the program folder when it is
// missing and opens it in the rich-text editor; whether the editor starts is
// not looked at. Throws EFCreateError, and starts nothing, when the file
// cannot be created.
void OpenCallScript(Shell &shell, const QString &programFolder);
