// brenvoy-fax: the fax service's program. "console" (the default) shows the
// queue and the archive, "cover [file]" the cover page editor, "settings"
// the sender details.

#include "platform/environment/Environment.h"
#include "platform/fax/FaxService.h"
#include "platform/fax/tools/CoverPageEditorWindow.h"
#include "platform/fax/tools/FaxConsoleWindow.h"
#include "platform/fax/tools/SenderSettingsDialog.h"

#include <QApplication>
#include <QMessageBox>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brenvoy Fax"));
    const QStringList args = QApplication::arguments().mid(1);
    const QString mode = args.value(0, QStringLiteral("console"));

    SystemClock clock;
    Environment env(clock, QApplication::applicationDirPath(), Environment::defaultStateFolder());

    if (mode == QLatin1String("cover")) {
        CoverPageEditorWindow editor;
        if (args.size() > 1)
            editor.openFile(args[1]);
        editor.show();
        return app.exec();
    }
    if (mode == QLatin1String("settings")) {
        SenderSettingsDialog dlg(FaxServer::faxFolder(env));
        return dlg.exec() == QDialog::Accepted ? 0 : 1;
    }
    try {
        FaxServer server(env);
        server.Connect(QString());
        FaxConsoleWindow console(server);
        console.show();
        return app.exec();
    } catch (const EFaxError &e) {
        QMessageBox::critical(nullptr, QStringLiteral("Fax Console"), e.text());
        return 1;
    }
}
