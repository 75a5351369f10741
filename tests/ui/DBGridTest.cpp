#include "ui/DBGrid.h"
#include "tests/ui/UiFixture.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QScopeGuard>
#include <QTest>
#include <future>

namespace {
QList<DBGridColumn> columns()
{
    return {{"NAME", {}, 90}, {"NOFIELD", {}, 60}, {"COMPNAME", "COMPANY NAME", 100}};
}
} // namespace

class DBGridTest : public UiFixture {
protected:
    void makeGrid(const QStringList &rows)
    {
        open(names(rows));
        grid = std::make_unique<DBGrid>(*source, dialogs, columns());
        grid->resize(400, 300);
        grid->show();
    }
    QPoint rowPoint(int row) const { return grid->visualRect(grid->model()->index(row, 0)).center(); }
    void click(int row, Qt::KeyboardModifiers mods = {})
    {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, mods, rowPoint(row));
    }
    QStringList selectedNames() const
    {
        QStringList out;
        for (Bookmark b : grid->SelectedRows())
            out << table->DisplayText(b, "NAME");
        return out;
    }
    QString current() const { return table->AsString("NAME"); }

    std::unique_ptr<DBGrid> grid;
};

TEST_F(DBGridTest, ModelPassesTheTesterAndFollowsTheFilter)
{
    makeGrid({"Ann", "Bob", "Cy"});
    QAbstractItemModelTester tester(grid->model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(grid->model()->rowCount(), 3);
    EXPECT_EQ(grid->model()->headerData(2, Qt::Horizontal).toString(), "COMPANY NAME");
    EXPECT_EQ(grid->model()->headerData(1, Qt::Horizontal).toString(), "NOFIELD");
    EXPECT_EQ(grid->model()->index(1, 0).data().toString(), "Bob");
    // A column that names no field stays empty.
    EXPECT_EQ(grid->model()->index(1, 1).data().toString(), "");
    EXPECT_FALSE(grid->model()->flags(grid->model()->index(0, 0)) & Qt::ItemIsEditable);

    table->OnFilterRecord = [](TDbfTable &t) { return t.AsString("NAME") != "Bob"; };
    table->setFiltered(true);
    source->notifyDataSetChanged();
    EXPECT_EQ(grid->model()->rowCount(), 2);
    EXPECT_EQ(grid->model()->index(1, 0).data().toString(), "Cy");
    table->Close();
    EXPECT_EQ(grid->model()->rowCount(), 0);
}

TEST_F(DBGridTest, ClicksSelectAndCtrlClicksToggleKeptInRecordOrder)
{
    makeGrid({"Ann", "Bob", "Cy", "Dee"});
    click(2);
    EXPECT_EQ(current(), "Cy");
    EXPECT_EQ(selectedNames(), QStringList({"Cy"}));
    click(0, Qt::ControlModifier);
    click(3, Qt::ControlModifier);
    // Bookmarks come back in file order, not in the order they were clicked.
    EXPECT_EQ(selectedNames(), QStringList({"Ann", "Cy", "Dee"}));
    click(2, Qt::ControlModifier);
    EXPECT_EQ(selectedNames(), QStringList({"Ann", "Dee"}));
    EXPECT_EQ(current(), "Cy");
    // A plain click selects only that row.
    click(1);
    EXPECT_EQ(selectedNames(), QStringList({"Bob"}));
}

TEST_F(DBGridTest, ShiftArrowsExtendAndArrowsAloneClear)
{
    makeGrid({"Ann", "Bob", "Cy", "Dee", "Eve"});
    click(1);
    QTest::keyClick(grid.get(), Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(grid.get(), Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(selectedNames(), QStringList({"Bob", "Cy", "Dee"}));
    EXPECT_EQ(current(), "Dee");
    // Back towards the anchor gives up the row left behind.
    QTest::keyClick(grid.get(), Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(selectedNames(), QStringList({"Bob", "Cy"}));
    QTest::keyClick(grid.get(), Qt::Key_Down);
    EXPECT_TRUE(selectedNames().isEmpty());
    EXPECT_EQ(current(), "Dee");
}

TEST_F(DBGridTest, SingleSelectionMovesWithoutSelectingAndSwitchingOffClears)
{
    makeGrid({"Ann", "Bob", "Cy"});
    click(0);
    click(2, Qt::ControlModifier);
    ASSERT_EQ(grid->SelectedCount(), 2);
    grid->setMultiSelect(false);
    EXPECT_EQ(grid->SelectedCount(), 0);
    click(1, Qt::ControlModifier);
    QTest::keyClick(grid.get(), Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(grid->SelectedCount(), 0);
    EXPECT_EQ(current(), "Cy");
}

TEST_F(DBGridTest, CtrlDeleteAsksAccordingToTheSelection)
{
    struct Case {
        QList<int> ctrlClicks; // after a plain click on row 0 unless empty
        MsgResult answer;
        QString question;
        QList<int> deletedRecords;
    };
    const QList<Case> cases = {
        {{}, MsgResult::Ok, "Delete record?", {1}},
        {{2}, MsgResult::Ok, "Delete all selected records?", {1, 3}},
        {{2}, MsgResult::Cancel, "Delete all selected records?", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.question.toStdString());
        grid.reset();
        source.reset();
        table.reset();
        QFile::remove(te.path("contacdata.dbf"));
        QFile::remove(te.path("contacdata.dbt"));
        makeGrid({"Ann", "Bob", "Cy"});
        dialogs.shown.clear();
        if (!c.ctrlClicks.isEmpty()) {
            click(0);
            for (int r : c.ctrlClicks)
                click(r, Qt::ControlModifier);
        }
        dialogs.answer(c.answer);
        QTest::keyClick(grid.get(), Qt::Key_Delete, Qt::ControlModifier);
        ASSERT_EQ(dialogs.shown.size(), 1u);
        EXPECT_EQ(dialogs.shown[0].text, c.question);
        EXPECT_EQ(dialogs.shown[0].buttons, MsgButtons::OkCancel);
        const RawTable r = raw();
        EXPECT_EQ(r.count(), 3); // deleting never removes records from the file
        for (int rec = 1; rec <= 3; ++rec)
            EXPECT_EQ(r.deleted(rec), c.deletedRecords.contains(rec)) << rec;
        EXPECT_EQ(grid->model()->rowCount(), 3 - int(c.deletedRecords.size()));
        EXPECT_EQ(grid->SelectedCount(), c.answer == MsgResult::Ok ? 0 : 2);
    }
}

TEST_F(DBGridTest, ReopeningTheTableDropsTheSelection)
{
    makeGrid({"Ann", "Bob"});
    click(1);
    table->Close();
    table->Open();
    EXPECT_EQ(grid->SelectedCount(), 0);
    EXPECT_EQ(current(), "Ann");
}

TEST_F(DBGridTest, LeavingTheGridDropsAnUntouchedInsert)
{
    makeGrid({"Ann"});
    grid->setCancelOnExit(true);
    QWidget host;
    grid->setParent(&host);
    auto *other = new QLineEdit(&host);
    other->move(0, 310);
    host.show();
    QApplication::setActiveWindow(&host);
    grid->setFocus();
    ASSERT_TRUE(grid->hasFocus());
    table->Insert();
    other->setFocus();
    EXPECT_EQ(source->State(), DatasetState::Browse);
    EXPECT_EQ(raw().count(), 1);
    grid->setParent(nullptr);
}

TEST_F(DBGridTest, CurrentRowFollowsTheTable)
{
    makeGrid({"Ann", "Bob", "Cy"});
    table->Last();
    EXPECT_EQ(grid->currentIndex().row(), 2);
    EXPECT_EQ(grid->model()->headerData(2, Qt::Vertical).toString(), QString::fromUtf8("\u25B6"));
    EXPECT_EQ(grid->model()->headerData(0, Qt::Vertical).toString(), "");
}

// A run of appends with the controls held back reaches the grid once, at
// the end, and the grid then shows every row with the last one current.
TEST_F(DBGridTest, HeldControlsRefreshTheGridOncePerBatch)
{
    makeGrid({"Ann"});
    int resets = 0, scrolls = 0;
    // Rows added at the end arrive as one insertion rather than a reset.
    QObject::connect(grid->model(), &QAbstractItemModel::modelReset, [&] { ++resets; });
    QObject::connect(grid->model(), &QAbstractItemModel::rowsInserted, [&] { ++resets; });
    source->OnAfterScroll = [&] { ++scrolls; };

    table->DisableControls();
    table->DisableControls(); // nested: only the outermost release counts
    for (int i = 0; i < 50; ++i) {
        table->Append();
        table->SetAsString("NAME", QStringLiteral("Row %1").arg(i));
        table->Post();
    }
    table->EnableControls();
    EXPECT_EQ(resets + scrolls, 0);
    table->EnableControls();

    EXPECT_EQ(resets, 1);
    EXPECT_EQ(scrolls, 1);
    EXPECT_EQ(grid->model()->rowCount(), 51);
    EXPECT_EQ(grid->currentIndex().row(), 50);
    EXPECT_EQ(grid->model()->index(50, 0).data().toString(), "Row 49");
}

// A large table's grid lists its first records while the pass after open is
// held, and the rest as the pass delivers them, in file order, with the
// first record current throughout and its after-scroll steps run once.
TEST(DBGridLoading, ListsTheFirstRecordsAtOnceAndTheRestAsThePassDelivers)
{
    TestEnvironment te;
    const QString path = te.path("contacdata.dbf");
    QList<ContactRow> rows;
    constexpr int kRecords = 6000;
    for (int i = 1; i <= kRecords; ++i)
        rows.push_back({"N" + QString::number(i), {}, {}, {}, {}, {}, {}, {}, {}});
    makeContactTable(path, rows);

    std::promise<void> go;
    const std::shared_future<void> released = go.get_future().share();
    ScriptedDialogs dialogs;
    TDbfTable table;
    auto release = qScopeGuard([&] { go.set_value(); });
    DataSource source(table);
    int scrolls = 0;
    source.OnAfterScroll = [&] { ++scrolls; };
    table.setTableName(path);
    table.OnPassStart = [released] { released.wait(); };
    table.Open();
    DBGrid grid(source, dialogs, columns());
    grid.resize(400, 300);
    grid.show();
    QAbstractItemModelTester tester(grid.model(), QAbstractItemModelTester::FailureReportingMode::Fatal);

    EXPECT_EQ(grid.model()->rowCount(), 2048);
    EXPECT_EQ(grid.model()->index(0, 0).data().toString(), "N1");
    EXPECT_EQ(grid.model()->index(2047, 0).data().toString(), "N2048");
    EXPECT_EQ(grid.gridModel()->currentRow(), 0);
    grid.scrollToBottom(); // as far as the rows listed so far
    QApplication::processEvents();

    release.dismiss();
    go.set_value();
    QTRY_COMPARE_WITH_TIMEOUT(grid.model()->rowCount(), kRecords, 10000);
    EXPECT_FALSE(table.Loading());
    for (int row : {2048, 4000, kRecords - 1})
        EXPECT_EQ(grid.model()->index(row, 0).data().toString(), "N" + QString::number(row + 1));
    EXPECT_EQ(grid.gridModel()->currentRow(), 0);
    EXPECT_EQ(table.AsString("NAME"), "N1");
    EXPECT_EQ(scrolls, 1);
    table.Close();
}

// The table closed while the grid follows its pass: the grid empties.
TEST(DBGridLoading, ClosingTheTableDuringThePassEmptiesTheGrid)
{
    TestEnvironment te;
    const QString path = te.path("contacdata.dbf");
    QList<ContactRow> rows;
    for (int i = 1; i <= 4000; ++i)
        rows.push_back({"N" + QString::number(i), {}, {}, {}, {}, {}, {}, {}, {}});
    makeContactTable(path, rows);
    ScriptedDialogs dialogs;
    TDbfTable table;
    DataSource source(table);
    table.setTableName(path);
    table.Open();
    DBGrid grid(source, dialogs, columns());
    grid.show();
    table.Close();
    QTest::qWait(300);
    EXPECT_EQ(grid.model()->rowCount(), 0);
}
