#include "app/AppWindows.h"
#include "app/TfrmSimple.h"
#include "app/Tools.h"
#include "platform/environment/Environment.h"
#include "platform/shell/Shell.h"
#include "ui/Dialogs.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brenvoy"));
    // The program ends when the compact panel closes, not when the last
    // visible window does (the main contact window replaces it on screen).
    QApplication::setQuitOnLastWindowClosed(false);

    SystemClock clock;
    Environment environment(clock, Environment::defaultProgramFolder(), Environment::defaultStateFolder());
    QtDialogs dialogs;
    SystemShell shell(SystemShell::defaults(environment.stateFolder()));
    RegisterFaxService(shell, QCoreApplication::applicationDirPath());

    WindowRegistry registry;
    registry.environment = &environment;
    registry.dialogs = &dialogs;
    registry.shell = &shell;
    registry.terminate = [] { QCoreApplication::quit(); };
    CreateWindows(registry);

    registry.frmSimple->show();
    const int rc = app.exec();
    DestroyWindows(registry);
    return rc;
}
