#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

class Environment;
class Dialogs;
class Shell;
class TfrmSimple;
class TfrmSimpleNumbers;
class TfrmMain;
class TFrmRichEditor;

// The long-lived windows, in the order the program entry creates them, and
// the services every window is given. Windows reach each other only through
// this object. Windows of other folders are held as plain widgets; the calls
// the shell makes into them go through the hooks below, set by whoever
// creates them.
struct WindowRegistry {
    Environment *environment = nullptr;
    Dialogs *dialogs = nullptr;
    Shell *shell = nullptr; // shell "open" and the system directory

    TfrmSimple *frmSimple = nullptr;               // the compact panel: the application's main window
    TfrmSimpleNumbers *frmSimpleNumbers = nullptr; // the number list
    TfrmMain *frmMain = nullptr;                   // the main contact window
    QWidget *frmTemplate = nullptr;                // "E-Mail / Fax template editor"
    TFrmRichEditor *frmRichEditor = nullptr;       // the fax editor, "Rich Edit Control Demo"
    QWidget *frmConfiguration = nullptr;           // "Configuration"
    QWidget *frmManualDial = nullptr;              // "Manual Dial"
    QWidget *frmTracking = nullptr;                // "Tracking"
    QWidget *frmAbout = nullptr;                   // "About Brenvoy"

    // The tracking window's ClearArchiveLists, once that window exists.
    std::function<void()> trackingClearArchiveLists;

    // The main contact window's fax availability check (host choice: 0 the
    // fax service, 1 "Other .."; the other program's path), for the
    // configuration window's fax host controls.
    std::function<void(int hostSelection, const QString &hostProgram)> checkFaxService;

    // Ends the program (the program entry quits the event loop; tests record it).
    std::function<void()> terminate;
};
