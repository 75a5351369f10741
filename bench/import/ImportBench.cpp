// The import wizard on a lead list of 100,000 lines with 8 columns: load
// and split, re-split after a delimiter change, and the import into an
// empty table and into one that already holds every row.

#include "contacts/DbfTable.h"
#include "import/ImportPreviewModel.h"
#include "import/TfrmImportWizard.h"
#include "platform/environment/Clock.h"
#include "tests/support/ScriptedDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

namespace {

constexpr int kLines = 100000;

QTemporaryDir &workDir()
{
    static QTemporaryDir dir;
    return dir;
}

QString listFile()
{
    static const QString path = [] {
        const QString p = workDir().filePath("leads.csv");
        QFile f(p);
        f.open(QIODevice::WriteOnly);
        QByteArray all;
        for (int i = 0; i < kLines; ++i)
            all += QStringLiteral("Fran\u00E7ois%1,M\u00FCller%1,lead%1@example.com,+1 555 %2,+1 556 %2,"
                                  "Company %1 Ltd,%1 Main Street,Springfield\r\n")
                       .arg(i)
                       .arg(i, 7, 10, QLatin1Char('0'))
                       .toUtf8();
        f.write(all);
        return p;
    }();
    return path;
}

struct Session {
    SimulatedClock clock;
    ScriptedDialogs dialogs;
    std::unique_ptr<TDbfTable> table;
    std::unique_ptr<TfrmImportWizard> wizard;

    explicit Session(const QString &tablePath, TfrmImportWizard::AddContactFn add = {})
    {
        if (!QFile::exists(tablePath))
            CreateContactTable(tablePath);
        table = std::make_unique<TDbfTable>();
        table->setTableName(tablePath);
        table->Open();
        wizard = std::make_unique<TfrmImportWizard>(*table, dialogs, clock, std::move(add));
        wizard->show();
        // Columns 1..8 included before there is a source, so that loading
        // and the first split below are all that is measured.
        wizard->btnNext1Click();
        wizard->btnNext2Click();
        for (int c = 0; c < 8; ++c)
            wizard->cbIncF[c]->click();
        wizard->Button2Click();
        wizard->Button4Click();
    }
    void load()
    {
        dialogs.answerFile(listFile());
        wizard->btnImportTextClick();
        wizard->btnNext1Click();
    }
    void toMapping()
    {
        wizard->btnNext2Click();
        wizard->btnNext4Click();
        const int entries[] = {0, 1, 4, 2, 3};
        for (int c = 0; c < 5; ++c) {
            wizard->cb[c]->setCurrentIndex(entries[c]);
            wizard->cb0Change(wizard->cb[c]);
        }
        wizard->Timer1Timer();
    }
    void import()
    {
        dialogs.answer(MsgResult::Yes);
        wizard->btnFinishClick();
    }
};

void LoadAndSplit(benchmark::State &state)
{
    listFile();
    for (auto _ : state) {
        state.PauseTiming();
        Session s(workDir().filePath("load.dbf"));
        state.ResumeTiming();
        s.load();
        benchmark::DoNotOptimize(s.wizard->grab());
        if (s.wizard->ResultModel->cell(7, kLines) != "Springfield") {
            state.SkipWithError("split went wrong");
            break;
        }
    }
}
BENCHMARK(LoadAndSplit)->Unit(benchmark::kMillisecond)->Iterations(3);

void ResplitAfterDelimiterChange(benchmark::State &state)
{
    Session s(workDir().filePath("resplit.dbf"));
    s.load();
    bool comma = true;
    for (auto _ : state) {
        comma = !comma;
        s.wizard->delChar->setText(comma ? "," : ";");
        benchmark::DoNotOptimize(s.wizard->grab());
    }
}
BENCHMARK(ResplitAfterDelimiterChange)->Unit(benchmark::kMillisecond)->Iterations(4);

void ImportIntoEmptyTable(benchmark::State &state)
{
    int run = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Session s(workDir().filePath(QStringLiteral("empty%1.dbf").arg(run++)));
        s.load();
        s.toMapping();
        state.ResumeTiming();
        s.import();
        state.PauseTiming();
        if (s.table->RecordCount() != kLines) {
            state.SkipWithError("not every row was added");
            break;
        }
        state.ResumeTiming();
    }
}
BENCHMARK(ImportIntoEmptyTable)->Unit(benchmark::kMillisecond)->Iterations(2);

// The wizard's own share of an import: the rows handed on, nothing stored.
void ImportRowsHandedOnOnly(benchmark::State &state)
{
    qint64 handed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Session s(workDir().filePath("handed.dbf"), [&](const QString &, const QString &, const QString &,
                                                        const QString &, const QString &) { ++handed; });
        s.load();
        s.toMapping();
        state.ResumeTiming();
        s.import();
    }
    if (handed != state.iterations() * kLines)
        state.SkipWithError("rows were lost");
}
BENCHMARK(ImportRowsHandedOnOnly)->Unit(benchmark::kMillisecond)->Iterations(3);

void ImportEveryRowADuplicate(benchmark::State &state)
{
    const QString path = workDir().filePath("full.dbf");
    {
        Session s(path);
        s.load();
        s.toMapping();
        s.import();
    }
    for (auto _ : state) {
        state.PauseTiming();
        Session s(path);
        s.load();
        s.toMapping();
        state.ResumeTiming();
        s.import();
        state.PauseTiming();
        if (s.table->RecordCount() != kLines) {
            state.SkipWithError("duplicates were added");
            break;
        }
        state.ResumeTiming();
    }
}
BENCHMARK(ImportEveryRowADuplicate)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
