#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

class CallSettings;
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

    // What the calls read of the configuration window: wave destination,
    // call recording, the play list.
    CallSettings *callSettings = nullptr;
    // The e-mail and fax availability checks (CheckOutlook, CheckFaxService).
    // The configuration window runs them on every change of a host choice or
    // program path; whoever owns the checks sets them.
    std::function<void()> checkOutlook;
    std::function<void()> checkFaxService;

    // The tracking window's ClearArchiveLists, once that window exists.
    std::function<void()> trackingClearArchiveLists;

    // Ends the program (the program entry quits the event loop; tests record it).
    std::function<void()> terminate;
};
