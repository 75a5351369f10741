// Send Email and Send Fax to many selected contacts, through the main
// window's own handlers, on the default mail client and fax service.
//
//   bench_send [contacts=1000]
//
// Builds a program folder with that many contacts in a temporary folder,
// starts the windows as the program does, selects every row of the main
// grid, and times "Send Email" (1 mail per contact into the Outbox, no view
// before send) and "Send Fax" (one document, a recipient per contact, with
// the default cover page), each with its history stamps.

#include "app/AppWindows.h"
#include "app/TfrmMain.h"
#include "app/TfrmSimple.h"
#include "app/Tools.h"
#include "contacts/DbfTable.h"
#include "messaging/TfrmTemplate.h"
#include "platform/environment/Environment.h"
#include "platform/shell/Shell.h"
#include "tests/support/ScriptedDialogs.h"
#include "ui/DBGrid.h"
#include "ui/DataSource.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {
double cpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Wall time in ms; the process's CPU time goes to cpu, which says more than
// the wall time on a machine others are loading.
template <class F> double timed(F &&f, double &cpu)
{
    QElapsedTimer t;
    const double c0 = cpuMs();
    t.start();
    f();
    cpu = cpuMs() - c0;
    return double(t.nsecsElapsed()) / 1e6;
}
} // namespace

int main(int argc, char **argv)
{
    if (!getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const int contacts = argc > 1 ? std::atoi(argv[1]) : 1000;
    QTemporaryDir tmp;
    const QString programFolder = tmp.path() + "/program";
    QDir().mkpath(programFolder);

    CreateContactTable(programFolder + "/contacdata.dbf");
    {
        TDbfTable t("build");
        t.setTableName(programFolder + "/contacdata.dbf");
        t.Open();
        for (int i = 0; i < contacts; ++i) {
            t.Append();
            t.SetAsString("COMPNAME", QString("Company %1").arg(i));
            t.SetAsString("NAME", QString("Name%1").arg(i));
            t.SetAsString("LAST", QString("Last%1").arg(i));
            t.SetAsString("EMAIL", QString("name%1@example.com").arg(i));
            t.SetAsString("FAX", QString("555-%1").arg(i, 6, 10, QChar('0')));
            t.Post();
        }
        t.Close();
    }

    SystemClock clock;
    Environment env(clock, programFolder, tmp.path() + "/state");
    ScriptedDialogs dialogs;
    SystemShell shell(SystemShell::defaults(env.stateFolder()));
    RegisterFaxService(shell, QStringLiteral(BRENVOY_BIN_DIR));
    WindowRegistry registry;
    registry.environment = &env;
    registry.dialogs = &dialogs;
    registry.shell = &shell;
    registry.terminate = [] {};
    CreateWindows(registry);
    registry.frmSimple->show();
    QApplication::processEvents();
    TfrmMain &main = *registry.frmMain;
    if (!main.OutlookAvailable || !main.FaxServiceAvailable) {
        std::fprintf(stderr, "mail client or fax service not found\n");
        return 1;
    }

    MessageTemplate t;
    t.email.subject = "Spring offer";
    t.email.body = {"Dear customer,", "our prices are down.", "Regards"};
    t.email.viewBeforeSend = false;
    t.fax.bodyRtf =
        "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs24 Our spring offer\\par Prices are down.\\par}";
    registry.frmTemplate->setTemplate(t);

    // Every row selected, as the operator would with Shift+End.
    TDbfTable &table = main.dsTable();
    for (qint64 i = 0; i < table.VisibleCount(); ++i) {
        main.dataSource().gotoBookmark(table.VisibleAt(i));
        main.DBGrid1->setCurrentRowSelected(true);
    }
    std::printf("contacts selected: %d\n", main.DBGrid1->SelectedCount());

    dialogs.shown.clear();
    double cpu = 0;
    const double email = timed([&] { main.btnSendEmailClick(); }, cpu);
    std::printf("Send Email: %.0f ms, %.0f ms CPU (%s)\n", email, cpu,
                qPrintable(dialogs.texts().join(" | ")));
    dialogs.shown.clear();
    const double fax = timed([&] { main.btnSendFaxClick(); }, cpu);
    std::printf("Send Fax:   %.0f ms, %.0f ms CPU (%s)\n", fax, cpu, qPrintable(dialogs.texts().join(" | ")));
    std::printf("first contact's e-mail stamp: %s, fax stamp: %s / %s\n",
                qPrintable(table.DisplayText(table.VisibleAt(0), "TM_EMAIL1")),
                qPrintable(table.DisplayText(table.VisibleAt(0), "TM_FAX1")),
                qPrintable(table.DisplayText(table.VisibleAt(0), "DT_FAX1")));
    // What the sends left behind: the mails in the Outbox, the fax jobs.
    const auto files = [](const QString &dir, const QString &pattern) {
        return QDir(dir).entryList({pattern}, QDir::Files).size();
    };
    std::printf("Outbox: %lld mails, fax queue and archive: %lld jobs\n",
                qint64(files(tmp.path() + "/state/mail/Maildir/.Outbox/cur", "*")),
                qint64(files(tmp.path() + "/state/fax/queue", "*.json") +
                       files(tmp.path() + "/state/fax/archive", "*.json")));
    DestroyWindows(registry);
    return 0;
}
