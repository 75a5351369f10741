// The fax list of the tracking window over a large outgoing archive, through
// the window's own "Refresh List" handler, beside grep over the archive's
// job records (what a user without the window would do).
//
//   bench_fax_archive [faxes=100000] [state folder, kept between runs]
//
// The archive is filled through the local fax service (one document sent to
// 1,000 recipients at a time); a state folder that already holds that many
// faxes is used as it is. One contact in 2,000 numbers gets a fax, so the
// contact timed has 50 entries listed. Each refresh is timed five times.

#include "app/AppWindows.h"
#include "app/TfrmMain.h"
#include "app/TfrmSimple.h"
#include "app/Tools.h"
#include "contacts/DbfTable.h"
#include "platform/environment/Environment.h"
#include "platform/fax/FaxService.h"
#include "platform/fax/FaxStore.h"
#include "platform/shell/Shell.h"
#include "tests/support/ScriptedDialogs.h"
#include "tracking/TfrmTracking.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

template <class F> double timed(F &&f)
{
    QElapsedTimer t;
    t.start();
    f();
    return double(t.nsecsElapsed()) / 1e6;
}

QString number(int i)
{
    return QStringLiteral("555-%1").arg(i % 2000, 6, 10, QChar('0'));
}

int archived(Environment &env)
{
    return int(QDir(FaxServer::faxFolder(env) + "/archive").entryList({"*.json"}, QDir::Files).size());
}

void fillArchive(Environment &env, int faxes)
{
    FaxServer server(env);
    server.Connect(QString());
    const QString body = env.stateFolder() + "/body.txt";
    QFile f(body);
    if (f.open(QIODevice::WriteOnly))
        f.write("Our spring offer: prices are down.\n");
    f.close();
    for (int done = archived(env); done < faxes;) {
        FaxDocument doc(env);
        doc.setBody(body);
        const int batch = std::min(1000, faxes - done);
        for (int i = 0; i < batch; ++i)
            doc.Recipients().Add(number(done + i), QStringLiteral("Contact %1").arg(done + i));
        doc.ConnectedSubmit(server);
        server.processQueue(); // sent now, into the archive
        done += batch;
        std::fprintf(stderr, "\rarchive: %d faxes", done);
    }
    std::fprintf(stderr, "\n");
}

void report(const char *what, std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    std::printf("%-34s best %7.1f ms, median %7.1f ms, worst %7.1f ms\n", what, ms.front(), ms[ms.size() / 2],
                ms.back());
}

} // namespace

int main(int argc, char **argv)
{
    if (!getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const int faxes = argc > 1 ? std::atoi(argv[1]) : 100000;
    QTemporaryDir tmp;
    const QString stateFolder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : tmp.path() + "/state";
    const QString programFolder = tmp.path() + "/program";
    QDir().mkpath(programFolder);
    QDir().mkpath(stateFolder);

    CreateContactTable(programFolder + "/contacdata.dbf");
    {
        TDbfTable t("build");
        t.setTableName(programFolder + "/contacdata.dbf");
        t.Open();
        t.Append();
        t.SetAsString("NAME", "Ann");
        t.SetAsString("FAX", number(42));
        t.Post();
        t.Close();
    }

    SystemClock clock;
    Environment env(clock, programFolder, stateFolder);
    const double fill = timed([&] { fillArchive(env, faxes); });
    std::printf("archive: %d faxes (filled in %.0f s)\n", archived(env), fill / 1000);

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
    auto *tracking = qobject_cast<TfrmTracking *>(registry.frmTracking);

    std::vector<double> refresh;
    for (int i = 0; i < 5; ++i)
        refresh.push_back(timed([&] { tracking->btnRefreshFaxArchiveClick(); }));
    std::printf("entries listed: %d (%s)\n", tracking->cbFaxArchive->count(),
                qPrintable(dialogs.texts().join(" | ")));
    report("fax Refresh List (window handler)", refresh);

    std::vector<double> grep;
    const QString archive = FaxServer::faxFolder(env) + "/archive";
    int found = 0;
    for (int i = 0; i < 5; ++i) {
        grep.push_back(timed([&] {
            QProcess p;
            p.setWorkingDirectory(archive);
            p.start("sh", {"-c", QString("grep -rlF '\"faxNumber\": \"%1\"' . | wc -l").arg(number(42))});
            p.waitForFinished(-1);
            found = p.readAllStandardOutput().trimmed().toInt();
        }));
    }
    std::printf("grep finds: %d\n", found);
    report("grep over the archive records", grep);
    DestroyWindows(registry);
    return 0;
}
