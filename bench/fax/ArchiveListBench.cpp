// Listing a large outgoing archive the way the tracking window's fax refresh
// does: connect a server, walk OutgoingArchive().GetMessages(0) and compare
// each recipient's fax number. Beside it, grep over the same folder (what a
// user would run instead).
//
//   bench_fax_archive_index [faxes=100000] [state folder, kept between runs]
//
// The archive is written directly, record by record as the store writes
// them, with a copy of one small fax TIFF under every job's name; then one
// listing builds the index from the records (timed: that is what the first
// listing after an upgrade costs). Each timed round runs in a fresh process,
// listing twice: "first" is a process's first listing, "again" the next.

#include "platform/environment/Clock.h"
#include "platform/environment/Environment.h"
#include "platform/fax/FaxService.h"
#include "platform/fax/FaxStore.h"
#include "platform/fax/FaxTiff.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include <sys/resource.h>

namespace {

// One contact in 2,000 numbers: the number timed has 50 faxes at 100,000.
QString number(int i)
{
    return QStringLiteral("555-%1").arg(i % 2000, 6, 10, QChar('0'));
}
const QString kTimedNumber = number(42);

double cpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

double childrenCpuMs()
{
    rusage ru{};
    getrusage(RUSAGE_CHILDREN, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e3 +
           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e3;
}

struct Timing {
    double wall = 0, cpu = 0;
};

template <class F> Timing timed(F &&f)
{
    QElapsedTimer t;
    const double c = cpuMs();
    t.start();
    f();
    return {double(t.nsecsElapsed()) / 1e6, cpuMs() - c};
}

int archivedRecords(const QString &archive)
{
    return int(QDir(archive).entryList({"*.json"}, QDir::Files).size());
}

// Submissions of 1 to 40 recipients, a few minutes apart over about a year,
// the fields filled as a real send fills them.
void writeArchive(const QString &archive, int faxes)
{
    const QString tiff = archive + "/../page.tif";
    {
        fax::FaxTiffWriter w(tiff, 1);
        QImage page(fax::kPageWidth, fax::kPageHeight, QImage::Format_Grayscale8);
        page.fill(255);
        w.addPage(page);
        w.close();
    }
    QFile tiffFile(tiff);
    tiffFile.open(QIODevice::ReadOnly);
    const QByteArray page = tiffFile.readAll();
    const QDateTime start(QDate(2025, 1, 6), QTime(9, 0));
    int job = 0;
    for (int submission = 0; job < faxes; ++submission) {
        const QDateTime submitted = start.addSecs(qint64(submission) * 317);
        const int recipients = std::min(1 + (submission * 7) % 40, faxes - job);
        const QString submissionId =
            QStringLiteral("%1")
                .arg(quint64(0xA000000000000000ull) + quint64(job), 16, 16, QChar('0'))
                .toUpper();
        for (int sequence = 0; sequence < recipients; ++sequence, ++job) {
            const QString id =
                sequence == 0 ? submissionId
                              : QStringLiteral("%1")
                                    .arg(quint64(0xB000000000000000ull) + quint64(job), 16, 16, QChar('0'))
                                    .toUpper();
            QJsonObject o;
            o.insert("id", id);
            o.insert("submission", submissionId);
            o.insert("sequence", sequence);
            o.insert("serial", QString::number(submitted.toMSecsSinceEpoch() * 1000 + submission));
            o.insert("submitted", submitted.toString(Qt::ISODateWithMs));
            o.insert("scheduled", submitted.toString(Qt::ISODateWithMs));
            o.insert("sent", submitted.addSecs(40).toString(Qt::ISODateWithMs));
            o.insert("faxNumber", number(job));
            o.insert("recipient", QStringLiteral("Contact %1").arg(job % 2000));
            o.insert("sender", "Sales Desk");
            o.insert("document", QStringLiteral("Price list %1").arg(submission % 12));
            o.insert("subject", QStringLiteral("Our offer for week %1").arg(submission % 52));
            o.insert("note", "Call us back at any time.");
            o.insert("pages", 2);
            o.insert("priority", 1);
            QFile f(archive + "/" + id + ".json");
            if (!f.open(QIODevice::WriteOnly) || f.write(QJsonDocument(o).toJson()) <= 0) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(f.fileName()));
                std::exit(1);
            }
            QFile pages(archive + "/" + id + ".tif");
            if (!pages.open(QIODevice::WriteOnly) || pages.write(page) != page.size()) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(pages.fileName()));
                std::exit(1);
            }
        }
        if (submission % 200 == 0)
            std::fprintf(stderr, "\rarchive: %d faxes", job);
    }
    std::fprintf(stderr, "\rarchive: %d faxes\n", job);
}

// What the fax refresh does: every message's number compared with the
// contact's.
int refresh(Environment &env)
{
    FaxServer server(env);
    server.Connect(QString());
    server.Connect(QString());
    int matches = 0;
    auto it = server.Folders().OutgoingArchive().GetMessages(0);
    for (it->MoveFirst(); !it->AtEOF(); it->MoveNext())
        matches += it->Message().Recipient().FaxNumber == kTimedNumber;
    return matches;
}

// One round in a fresh process: two listings, printed for the parent.
int measure(const QString &stateFolder)
{
    SystemClock clock;
    Environment env(clock, stateFolder + "/program", stateFolder);
    int first = 0, again = 0;
    const Timing a = timed([&] { first = refresh(env); });
    const Timing b = timed([&] { again = refresh(env); });
    std::printf("%.2f %.2f %.2f %.2f %d %d\n", a.wall, a.cpu, b.wall, b.cpu, first, again);
    return 0;
}

void report(const char *what, const std::vector<Timing> &runs)
{
    const auto [wmin, wmax] = std::minmax_element(
        runs.begin(), runs.end(), [](const Timing &x, const Timing &y) { return x.wall < y.wall; });
    const auto [cmin, cmax] = std::minmax_element(
        runs.begin(), runs.end(), [](const Timing &x, const Timing &y) { return x.cpu < y.cpu; });
    std::printf("%-40s wall best %7.1f ms worst %7.1f ms | CPU best %7.1f ms worst %7.1f ms\n", what,
                wmin->wall, wmax->wall, cmin->cpu, cmax->cpu);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == "--measure")
        return measure(args[2]);

    const int faxes = args.size() > 1 ? args[1].toInt() : 100000;
    QTemporaryDir tmp;
    const QString stateFolder = args.size() > 2 ? args[2] : tmp.path() + "/state";
    const QString archive = stateFolder + "/fax/archive";
    QDir().mkpath(archive);
    QDir().mkpath(stateFolder + "/program");

    const int had = archivedRecords(archive);
    if (had == 0) {
        const Timing w = timed([&] { writeArchive(archive, faxes); });
        std::printf("archive written: %d faxes in %.1f s\n", faxes, w.wall / 1000);
    } else {
        std::printf("archive kept: %d faxes in %s\n", had, qPrintable(archive));
    }
    {
        SystemClock clock;
        Environment env(clock, stateFolder + "/program", stateFolder);
        QFile::remove(archive + "/.index");
        const Timing build = timed([&] { refresh(env); });
        std::printf(
            "first listing without an index (reads every record, builds the index): %.0f ms wall, %.0f ms "
            "CPU\n",
            build.wall, build.cpu);
    }

    std::vector<Timing> first, again;
    int matches = -1;
    for (int round = 0; round < 3; ++round) {
        QProcess p;
        p.start(QCoreApplication::applicationFilePath(), {"--measure", stateFolder});
        if (!p.waitForFinished(-1) || p.exitCode() != 0) {
            std::fprintf(stderr, "measuring failed: %s\n", p.readAllStandardError().constData());
            return 1;
        }
        const QList<QByteArray> f = p.readAllStandardOutput().trimmed().split(' ');
        if (f.size() != 6) {
            std::fprintf(stderr, "measuring printed something else\n");
            return 1;
        }
        first.push_back({f[0].toDouble(), f[1].toDouble()});
        again.push_back({f[2].toDouble(), f[3].toDouble()});
        matches = f[4].toInt();
    }
    std::printf("faxes to %s: %d\n", qPrintable(kTimedNumber), matches);
    report("fax refresh, first in a process", first);
    report("fax refresh, again", again);

    std::vector<Timing> grep;
    int found = 0;
    for (int round = 0; round < 3; ++round) {
        QProcess p;
        p.setWorkingDirectory(stateFolder + "/fax");
        const double c = childrenCpuMs();
        QElapsedTimer t;
        t.start();
        p.start("grep", {"-rl", kTimedNumber, "archive/"});
        p.waitForFinished(-1);
        grep.push_back({double(t.nsecsElapsed()) / 1e6, childrenCpuMs() - c});
        found = int(p.readAllStandardOutput().count('\n'));
    }
    std::printf("grep -rl %s archive/: %d files\n", qPrintable(kTimedNumber), found);
    report("grep -rl over the archive folder", grep);
    return 0;
}
