// Rendering faxes as the program submits them: a one-page RTF body with the
// generic cover page, per page, beside Ghostscript turning the same page
// (as PDF) into a G4 fax TIFF at 204 x 196 dpi; and one submission to 100
// recipients, whose body pages are rendered once.
//
//   bench_fax [--benchmark_filter=...]   (needs gs on the PATH for the comparison)

#include "platform/environment/Environment.h"
#include "platform/fax/FaxService.h"
#include "platform/richedit/RtfReader.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPageSize>
#include <QPdfWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextDocument>
#include <benchmark/benchmark.h>

namespace {

const QByteArray kRtf =
    "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}{\\f1 Times New Roman;}}"
    "\\f0\\fs36\\b Price list for spring\\b0\\par\\fs22 "
    "Dear customer,\\par we are pleased to send you our new prices. Orders placed before the end of the "
    "month "
    "keep the old prices for three months. Our delivery times stay at two working days for everything in "
    "stock."
    "\\par\\f1\\fs24 Item one\\tab 12.50\\par Item two\\tab 18.00\\par Item three\\tab 22.75\\par"
    "\\f0\\fs22 Call us back at any time.\\par Kind regards,\\par The sales office\\par}";

struct Bench {
    QTemporaryDir root;
    SystemClock clock;
    Environment env{clock, root.path() + "/program", root.path() + "/state"};
    QString body = root.path() + "/template.rtf";
    QString pdf = root.path() + "/template.pdf";
    Bench()
    {
        QFile f(body);
        f.open(QIODevice::WriteOnly);
        f.write(kRtf);
        f.close();
        // The same page as a PDF, for Ghostscript.
        QTextDocument doc;
        rtf::read(kRtf, doc);
        QPdfWriter w(pdf);
        w.setPageSize(QPageSize(QPageSize::A4));
        doc.print(&w);
    }
    QStringList submit(int recipients)
    {
        FaxServer server(env);
        server.Connect(QString());
        FaxDocument doc(env);
        doc.setBody(body);
        doc.setCoverPageType(2);
        doc.setCoverPage("generic");
        doc.setSubject("Prices");
        doc.Sender().LoadDefaultSender();
        for (int i = 0; i < recipients; ++i)
            doc.Recipients().Add(QString("555-%1").arg(1000 + i), QString("Recipient %1").arg(i));
        return doc.ConnectedSubmit(server);
    }
};

Bench *bench = nullptr;

void BM_OnePageRtfWithGenericCover(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(bench->submit(1));
    // Two pages per fax: the cover page and the body.
    state.counters["sec_per_page"] = benchmark::Counter(
        double(state.iterations()) * 2, benchmark::Counter::kIsRate | benchmark::Counter::kInvert,
        benchmark::Counter::kIs1000);
}
BENCHMARK(BM_OnePageRtfWithGenericCover)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GhostscriptSamePageFromPdf(benchmark::State &state)
{
    const QString gs = QStandardPaths::findExecutable("gs");
    if (gs.isEmpty()) {
        state.SkipWithError("gs not installed");
        return;
    }
    const QString out = bench->root.path() + "/gs.tif";
    for (auto _ : state) {
        QProcess p;
        p.start(gs, {"-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=tiffg4", "-r204x196",
                     "-sOutputFile=" + out, bench->pdf});
        if (!p.waitForFinished(60000) || p.exitCode() != 0) {
            state.SkipWithError("gs failed");
            return;
        }
    }
    state.counters["sec_per_page"] = benchmark::Counter(
        double(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert,
        benchmark::Counter::kIs1000);
}
BENCHMARK(BM_GhostscriptSamePageFromPdf)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OneSubmissionToRecipients(benchmark::State &state)
{
    const int n = int(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(bench->submit(n));
    state.counters["sec_per_recipient"] = benchmark::Counter(
        double(state.iterations()) * n, benchmark::Counter::kIsRate | benchmark::Counter::kInvert,
        benchmark::Counter::kIs1000);
}
BENCHMARK(BM_OneSubmissionToRecipients)->Arg(1)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Bench b;
    bench = &b;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
