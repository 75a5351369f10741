// brenvoy-fax: the fax service's program. "console" (the default) shows the
// queue and the archive, "cover [file]" the cover page editor, "settings"
// the sender details, and "send" submits a fax from the command line:
//   brenvoy-fax send [--cover generic|FILE] [--subject S] [--note N]
//                    [--at yyyy-MM-ddThh:mm] DOCUMENT NUMBER[=NAME]...

#include "platform/environment/Environment.h"
#include "platform/fax/FaxService.h"
#include "platform/fax/tools/CoverPageEditorWindow.h"
#include "platform/fax/tools/FaxConsoleWindow.h"
#include "platform/fax/tools/SenderSettingsDialog.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>

#include <cstdio>

namespace {

int send(Environment &env, const QStringList &arguments)
{
    QCommandLineParser p;
    p.addOptions({{"cover", "Cover page: generic or a cover page file.", "cover"},
                  {"subject", "Subject.", "subject"},
                  {"note", "Note.", "note"},
                  {"at", "Send at this local time (yyyy-MM-ddThh:mm).", "time"}});
    p.addPositionalArgument("document", "The document to send.");
    p.addPositionalArgument("recipients", "Fax numbers, each optionally =name.");
    p.process(QStringList{QStringLiteral("brenvoy-fax")} + arguments);
    const QStringList pos = p.positionalArguments();
    if (pos.size() < 2) {
        std::fputs("usage: brenvoy-fax send [options] DOCUMENT NUMBER[=NAME]...\n", stderr);
        return 2;
    }
    try {
        FaxServer server(env);
        server.Connect(QString());
        FaxDocument doc(env);
        doc.setBody(pos[0]);
        doc.setDocumentName(pos[0]);
        for (const QString &r : pos.mid(1))
            doc.Recipients().Add(r.section(QLatin1Char('='), 0, 0), r.section(QLatin1Char('='), 1));
        if (p.isSet("cover")) {
            const QString cover = p.value("cover");
            doc.setCoverPageType(cover == QLatin1String("generic") ? 2 : 1);
            doc.setCoverPage(cover);
        }
        doc.setSubject(p.value("subject"));
        doc.setNote(p.value("note"));
        if (p.isSet("at")) {
            const QDateTime at = QDateTime::fromString(p.value("at"), Qt::ISODate);
            if (!at.isValid()) {
                std::fputs("brenvoy-fax: --at wants yyyy-MM-ddThh:mm\n", stderr);
                return 2;
            }
            doc.setScheduleType(1);
            doc.setScheduleTime(at);
        }
        doc.Sender().LoadDefaultSender();
        for (const QString &id : doc.ConnectedSubmit(server))
            std::printf("%s\n", qPrintable(id));
        return 0;
    } catch (const EFaxError &e) {
        std::fprintf(stderr, "brenvoy-fax: %s\n", e.what());
        return 1;
    }
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brenvoy Fax"));
    const QStringList args = QApplication::arguments().mid(1);
    const QString mode = args.value(0, QStringLiteral("console"));

    SystemClock clock;
    Environment env(clock, QApplication::applicationDirPath(), Environment::defaultStateFolder());

    if (mode == QLatin1String("send"))
        return send(env, args.mid(1));
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
