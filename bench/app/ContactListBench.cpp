// A large contact list where the operator meets it: start-up to the number
// list, idle memory, a search typed into the main window and a view change
// (each to the repainted grids), a fresh process opening the table for one
// search beside GDAL's ogrinfo on the same file, appends and posts, and an
// import of 100,000 lines through the main window beside the bare table.
//
//   bench_contact_list <records> <work folder>
//
// Every measure runs in a process of its own, started by this one.

#include "app/AppWindows.h"
#include "app/TfrmMain.h"
#include "app/TfrmSimple.h"
#include "app/TfrmSimpleNumbers.h"
#include "contacts/DbfFormat.h"
#include "contacts/DbfTable.h"
#include "import/TfrmImportWizard.h"
#include "platform/environment/Environment.h"
#include "platform/shell/Shell.h"
#include "tests/support/ScriptedDialogs.h"
#include "ui/DBGrid.h"
#include "ui/RadioGroup.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

double msSinceProcessStart()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    stat.open(QIODevice::ReadOnly);
    const QByteArray line = stat.readAll();
    const QList<QByteArray> f = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const double startTicks = f.value(19).toDouble(); // field 22 of the whole line
    timespec ts;
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return (ts.tv_sec + ts.tv_nsec / 1e9) * 1000.0 - startTicks * 1000.0 / sysconf(_SC_CLK_TCK);
}

long rssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

// CPU time of the whole process (all threads) so far.
double cpuMs()
{
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

long peakKb()
{
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

void settle(int ms = 0)
{
    QElapsedTimer t;
    t.start();
    do
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    while (t.elapsed() < ms);
}

// A contact table of n records written straight into the file: varied
// companies and names, one contact in fifty due today for a callback.
void makeTable(const QString &path, int n)
{
    CreateContactTable(path);
    QByteArray head;
    {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        head = f.read(1761);
    }
    dbf::writeU32(head.data() + 4, uint32_t(n));
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(head);
    static const char *companies[] = {"Acme",     "Globex", "Initech", "Umbrella", "Hooli",
                                      "Vandelay", "Stark",  "Wayne",   "Wonka",    "Tyrell"};
    static const char *firsts[] = {"Anna", "Bernd", "Carla", "Dieter", "Eva", "Frank", "Greta", "Hans"};
    static const char *lasts[] = {"Smith", "Meyer", "Jones", "Schulz", "Brown", "Wagner", "Miller"};
    const QByteArray today = QDate::currentDate().toString(QStringLiteral("yyyyMMdd")).toLatin1();
    QByteArray chunk;
    QByteArray rec(2102, ' ');
    auto put = [&](int offset, int width, const QByteArray &v) {
        memcpy(rec.data() + offset, v.constData(), size_t(std::min<qsizetype>(width, v.size())));
    };
    for (int i = 0; i < n; ++i) {
        rec.fill(' ');
        put(1, 50, QByteArray(companies[i % 10]) + " Holding " + QByteArray::number(i));
        put(51, 50, QByteArray(firsts[i % 8]) + QByteArray::number(i % 997));
        put(101, 50, lasts[i % 7]);
        put(166, 15, "+49 30 " + QByteArray::number(1000000 + i));
        put(196, 50, "contact" + QByteArray::number(i) + "@example.com");
        if (i % 50 == 7)
            put(2078, 8, today);
        chunk += rec;
        if (chunk.size() > (8 << 20)) {
            f.write(chunk);
            chunk.clear();
        }
    }
    chunk += char(0x1A);
    f.write(chunk);
}

struct Program {
    SystemClock clock;
    Environment env;
    ScriptedDialogs dialogs;
    SystemShell shell;
    WindowRegistry registry;
    explicit Program(const QString &folder)
        : env(clock, folder, folder + QStringLiteral("/state")),
          shell(SystemShell::defaults(env.stateFolder()))
    {
        registry.environment = &env;
        registry.dialogs = &dialogs;
        registry.shell = &shell;
        registry.terminate = [] {};
    }
    ~Program() { DestroyWindows(registry); }
    void start(bool reminder = true)
    {
        if (reminder)
            dialogs.answer(MsgResult::No); // the callback reminder: all contacts
        CreateWindows(registry);
        registry.frmSimple->show();
        while (!registry.frmSimpleNumbers || !registry.frmSimpleNumbers->isVisible())
            QCoreApplication::processEvents();
        registry.frmSimpleNumbers->DBGrid1->repaint();
    }
};

double timed(const std::function<void()> &fn)
{
    QElapsedTimer t;
    t.start();
    fn();
    return t.nsecsElapsed() / 1e6;
}

// --- the children

int windowsChild(const QString &folder)
{
    Program p(folder);
    p.start();
    const double startup = msSinceProcessStart();
    const double startupCpu = cpuMs();
    if (qEnvironmentVariableIsSet("BENCH_STARTUP_ONLY")) { // for profiling the start alone
        printf("startup_ms %.0f\nstartup_cpu_ms %.0f\n", startup, startupCpu);
        return 0;
    }
    // Idle means the background pass has listed the whole table: searches
    // made while it runs wait for it.
    TfrmMain &m = *p.registry.frmMain;
    while (m.dsTable().Loading())
        settle(10);
    const double loaded = msSinceProcessStart();
    settle(1500);
    const long idle = rssKb();
    m.show();
    settle(200);
    auto repaint = [&] {
        m.DBGrid1->repaint();
        p.registry.frmSimpleNumbers->DBGrid1->repaint();
    };
    double search = 0, searchCpu = 0;
    int shown = 0;
    for (const char *text : {"w", "wo", "won", "wonk", "wonka*", "*holding 77*"}) {
        m.edString->setText(QString::fromLatin1(text));
        const double cpu = cpuMs();
        search = std::max(search, timed([&] {
                              m.edStringKeyUp(Qt::Key_A);
                              repaint();
                          }));
        searchCpu = std::max(searchCpu, cpuMs() - cpu);
        shown = int(m.dsTable().VisibleCount());
    }
    m.edString->clear();
    m.edStringKeyUp(Qt::Key_Backspace);
    double view = 0, viewCpu = 0;
    for (int v : {4, 1, 0, 4, 0}) {
        const double cpu = cpuMs();
        view = std::max(view, timed([&] {
                            m.rgView->setItemIndex(v);
                            repaint();
                        }));
        viewCpu = std::max(viewCpu, cpuMs() - cpu);
    }
    printf("loaded_ms %.0f\n", loaded);
    printf("startup_ms %.0f\nstartup_cpu_ms %.0f\nidle_rss_mb %.1f\nsearch_ms %.1f\nsearch_cpu_ms %.1f\n"
           "search_rows %d\nview_ms %.1f\nview_cpu_ms %.1f\n",
           startup, startupCpu, idle / 1024.0, search, searchCpu, shown, view, viewCpu);
    return 0;
}

int writesChild(const QString &table, int n)
{
    TDbfTable t;
    t.setTableName(table);
    t.Open();
    t.Last();
    const double appends = timed([&] {
        for (int i = 0; i < n; ++i) {
            t.Append();
            t.SetAsString(QStringLiteral("NAME"), QStringLiteral("Appended %1").arg(i));
            t.SetAsString(QStringLiteral("PHONE"), QStringLiteral("555-%1").arg(i));
            t.Post();
        }
    });
    t.First();
    const double posts = timed([&] {
        for (int i = 0; i < n; ++i) {
            t.Edit();
            t.SetAsString(QStringLiteral("CONTACTED"), QStringLiteral("called %1").arg(i));
            t.Post();
            t.Next();
        }
    });
    printf("appends_per_s %.0f\nposts_per_s %.0f\n", n / appends * 1000, n / posts * 1000);
    return 0;
}

QString leadList(const QString &folder, int lines)
{
    const QString path = folder + QStringLiteral("/leads.csv");
    if (QFile::exists(path))
        return path;
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    QByteArray all;
    for (int i = 0; i < lines; ++i)
        all += QStringLiteral("Lead%1,Person%1,lead%1@example.com,+1 555 %2,+1 556 %2\r\n")
                   .arg(i)
                   .arg(i, 7, 10, QLatin1Char('0'))
                   .toUtf8();
    f.write(all);
    return path;
}

void driveImport(TfrmImportWizard &w, ScriptedDialogs &dialogs, const QString &list)
{
    w.show();
    // As the operator goes: the first five columns included, then the file.
    w.btnNext1Click();
    w.btnNext2Click();
    for (int c = 0; c < 5; ++c)
        w.cbIncF[c]->click();
    w.Button2Click();
    w.Button4Click();
    dialogs.answerFile(list);
    w.btnImportTextClick();
    w.btnNext1Click();
    w.btnNext2Click();
    w.btnNext4Click();
    const int entries[] = {0, 1, 4, 2, 3};
    for (int c = 0; c < 5; ++c) {
        w.cb[c]->setCurrentIndex(entries[c]);
        w.cb0Change(w.cb[c]);
    }
    w.Timer1Timer();
    dialogs.answer(MsgResult::Yes);
}

int importChild(const QString &mode, const QString &folder, const QString &list)
{
    QDir().mkpath(folder);
    QFile::remove(folder + QStringLiteral("/contacdata.dbf"));
    QFile::remove(folder + QStringLiteral("/contacdata.dbt"));
    double ms = 0;
    qint64 count = 0;
    if (mode == QLatin1String("bare")) {
        CreateContactTable(folder + QStringLiteral("/contacdata.dbf"));
        TDbfTable t;
        t.setTableName(folder + QStringLiteral("/contacdata.dbf"));
        t.Open();
        SystemClock clock;
        ScriptedDialogs dialogs;
        TfrmImportWizard w(t, dialogs, clock);
        driveImport(w, dialogs, list);
        ms = timed([&] { w.btnFinishClick(); });
        count = t.RecordCount();
    } else {
        Program p(folder);
        p.start(false); // an empty table asks no reminder
        TfrmMain &m = *p.registry.frmMain;
        m.show();
        settle(100);
        // What the menu command hands the wizard, without its modal loop.
        TfrmImportWizard w(
            m.dsTable(), p.dialogs, p.clock,
            [&m](const QString &first, const QString &last, const QString &email, const QString &phone,
                 const QString &fax) { m.AddContactIfNew(first, last, email, phone, fax); },
            &m);
        driveImport(w, p.dialogs, list);
        ms = timed([&] {
            w.btnFinishClick();
            settle();
            m.DBGrid1->repaint();
            p.registry.frmSimpleNumbers->DBGrid1->repaint();
        });
        count = m.dsTable().RecordCount();
    }
    printf("import_ms %.0f\nimported %lld\npeak_rss_mb %.1f\n", ms, count, peakKb() / 1024.0);
    return 0;
}

// --- the parent

QMap<QString, QString> runChild(const QStringList &args, double *wallMs = nullptr,
                                const QString &program = QCoreApplication::applicationFilePath())
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    p.waitForFinished(-1);
    if (wallMs)
        *wallMs = t.nsecsElapsed() / 1e6;
    QMap<QString, QString> out;
    for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> kv = line.split(' ');
        out.insert(QString::fromLatin1(kv.value(0)), QString::fromLatin1(kv.value(1)));
    }
    return out;
}

constexpr int kRuns = 3;

struct Spread {
    double best, worst;
};

Spread spread(const std::vector<QMap<QString, QString>> &runs, const char *key, bool lowIsBest)
{
    Spread s{0, 0};
    for (size_t i = 0; i < runs.size(); ++i) {
        const double v = runs[i].value(QLatin1String(key)).toDouble();
        if (i == 0 || (lowIsBest ? v < s.best : v > s.best))
            s.best = v;
        if (i == 0 || (lowIsBest ? v > s.worst : v < s.worst))
            s.worst = v;
    }
    return s;
}

// CPU time of the child processes waited for so far.
double childCpuMs()
{
    rusage u;
    getrusage(RUSAGE_CHILDREN, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

// The table's header and length, to put back after a run that appended.
QByteArray readHead(const QString &table)
{
    QFile f(table);
    f.open(QIODevice::ReadOnly);
    return f.read(32) + QByteArray::number(f.size());
}

void restoreHead(const QString &table, const QByteArray &head)
{
    QFile f(table);
    f.open(QIODevice::ReadWrite);
    f.write(head.left(32));
    const qint64 size = head.mid(32).toLongLong();
    f.resize(size);
    f.seek(size - 1);
    f.putChar(char(0x1A)); // the end marker the first appended record overwrote
}

double ogrinfoMs(const QString &table, QString *result)
{
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral("ogrinfo"),
            {QStringLiteral("-ro"), QStringLiteral("-q"), QStringLiteral("-sql"),
             QStringLiteral("SELECT COUNT(*) FROM contacdata WHERE COMPNAME ILIKE '%holding 4711%'"), table});
    if (!p.waitForFinished(-1) || p.exitCode() != 0)
        return -1;
    const double ms = t.nsecsElapsed() / 1e6;
    *result = QString::fromUtf8(p.readAllStandardOutput()).simplified();
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    const QStringList args = [&] {
        QStringList a;
        for (int i = 1; i < argc; ++i)
            a << QString::fromLocal8Bit(argv[i]);
        return a;
    }();
    QApplication app(argc, argv);
    if (args.value(0) == QLatin1String("--windows"))
        return windowsChild(args.value(1));
    if (args.value(0) == QLatin1String("--writes"))
        return writesChild(args.value(1), args.value(2).toInt());
    if (args.value(0) == QLatin1String("--import"))
        return importChild(args.value(1), args.value(2), args.value(3));
    if (args.size() < 2) {
        fprintf(stderr, "usage: bench_contact_list <records> <work folder>\n");
        return 2;
    }

    const int records = args[0].toInt();
    const QString work = QDir(args[1]).absolutePath();
    const QString folder = work + QStringLiteral("/program");
    const QString table = folder + QStringLiteral("/contacdata.dbf");
    QDir().mkpath(folder);
    if (!QFile::exists(table)) {
        const double ms = timed([&] { makeTable(table, records); });
        printf("table of %d records written in %.0f ms\n", records, ms);
    }

    printf("\n%d contacts; each measure run %d times: best (worst)\n", records, kRuns);
    std::vector<QMap<QString, QString>> w;
    for (int i = 0; i < kRuns; ++i)
        w.push_back(runChild({QStringLiteral("--windows"), folder}));
    auto row = [&](const char *label, const char *key, const char *cpuKey, const char *unit, bool lowIsBest) {
        const Spread v = spread(w, key, lowIsBest);
        printf("%-34s %8.1f (%.1f) %s", label, v.best, v.worst, unit);
        if (cpuKey) {
            const Spread c = spread(w, cpuKey, true);
            printf(", CPU %.1f (%.1f) ms", c.best, c.worst);
        }
        printf("\n");
    };
    row("start to number list visible", "startup_ms", "startup_cpu_ms", "ms", true);
    row("start to the whole table listed", "loaded_ms", nullptr, "ms", true);
    row("resident memory once idle", "idle_rss_mb", nullptr, "MB", true);
    row("search typed, to repainted grid", "search_ms", "search_cpu_ms", "ms", true);
    printf("  (the last search lists %s contacts)\n", qPrintable(w[0].value("search_rows")));
    row("view change, to repainted grid", "view_ms", "view_cpu_ms", "ms", true);

    // Both in turn, so that the machine's load falls on both alike.
    std::vector<double> ours, ogr, oursCpu, ogrCpu;
    QString ogrResult, ourResult;
    for (int i = 0; i < kRuns; ++i) {
        double ms = 0;
        double cpu = childCpuMs();
        const auto r =
            runChild({table, QStringLiteral("*holding 4711*")}, &ms,
                     QCoreApplication::applicationDirPath() + QStringLiteral("/bench_open_search"));
        ourResult = r.lastKey(); // the count is its only line
        ours.push_back(ms);
        oursCpu.push_back(childCpuMs() - cpu);
        cpu = childCpuMs();
        ogr.push_back(ogrinfoMs(table, &ogrResult));
        ogrCpu.push_back(childCpuMs() - cpu);
    }
    auto best = [](const std::vector<double> &v) { return *std::min_element(v.begin(), v.end()); };
    auto worst = [](const std::vector<double> &v) { return *std::max_element(v.begin(), v.end()); };
    printf("fresh process open + search        %8.0f (%.0f) ms, CPU %.0f (%.0f) ms; %s listed\n", best(ours),
           worst(ours), best(oursCpu), worst(oursCpu), qPrintable(ourResult));
    printf("ogrinfo ILIKE on the same file      %8.0f (%.0f) ms, CPU %.0f (%.0f) ms; %s\n", best(ogr),
           worst(ogr), best(ogrCpu), worst(ogrCpu), qPrintable(ogrResult));
    printf("  ours %.1f times faster (best against best), %.1f (CPU)\n", best(ogr) / best(ours),
           best(ogrCpu) / best(oursCpu));

    // The writes append to the table; it is cut back after each run so that
    // every run, and the next benchmark, meets the same table.
    std::vector<QMap<QString, QString>> wr;
    for (int i = 0; i < kRuns; ++i) {
        const QByteArray head = readHead(table);
        wr.push_back(runChild({QStringLiteral("--writes"), table, QStringLiteral("20000")}));
        restoreHead(table, head);
    }
    const Spread ap = spread(wr, "appends_per_s", false), po = spread(wr, "posts_per_s", false);
    printf("appends / posts per second         %8.0f (%.0f) / %.0f (%.0f)\n", ap.best, ap.worst, po.best,
           po.worst);

    const QString list = leadList(work, 100000);
    const auto bare = runChild({QStringLiteral("--import"), QStringLiteral("bare"), work + "/bare", list});
    const auto main = runChild({QStringLiteral("--import"), QStringLiteral("main"), work + "/main", list});
    printf("import 100,000 lines, bare table  %6s ms, peak %s MB (%s rows)\n",
           qPrintable(bare.value("import_ms")), qPrintable(bare.value("peak_rss_mb")),
           qPrintable(bare.value("imported")));
    printf("import through the main window    %6s ms, peak %s MB (%s rows), %.2f times the bare import\n",
           qPrintable(main.value("import_ms")), qPrintable(main.value("peak_rss_mb")),
           qPrintable(main.value("imported")),
           main.value("import_ms").toDouble() / std::max(1.0, bare.value("import_ms").toDouble()));
    return 0;
}
