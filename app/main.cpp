#include "app/AppWindows.h"
#include "app/CloseOnSignal.h"
#include "app/TfrmSimple.h"
#include "app/Tools.h"
#include "platform/environment/Environment.h"
#include "platform/shell/Shell.h"
#include "ui/Dialogs.h"
#include "ui/Fonts.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brenvoy"));
    useProgramFont();
    // The program ends when the compact panel closes, not when the last
    // visible window does (the main contact window replaces it on screen).
    QApplication::setQuitOnLastWindowClosed(false);

    SystemClock clock;
    Environment environment(clock, Environment::defaultProgramFolder(), Environment::defaultStateFolder());
    QtDialogs dialogs;
    SystemShell shell(SystemShell::defaults(environment.stateFolder()));
    RegisterFaxService(shell, QCoreApplication::applicationDirPath());

    WindowRegistry registry;
    // Stopped from outside, the program closes as the operator would close
    // it: closing the compact panel ends it, whichever window is on screen.
    CloseOnSignal closeOnSignal([&registry] {
        if (registry.frmSimple)
            registry.frmSimple->close();
        else
            QCoreApplication::quit();
    });
    registry.environment = &environment;
    registry.dialogs = &dialogs;
    registry.shell = &shell;
    // exit, not quit: quitting would first close every window, and the main
    // contact window's close saves the settings.
    registry.terminate = [] { QCoreApplication::exit(0); };
    CreateWindows(registry);

    registry.frmSimple->show();
    const int rc = app.exec();
    DestroyWindows(registry);
    return rc;
}
