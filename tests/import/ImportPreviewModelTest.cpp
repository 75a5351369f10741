#include "import/ImportPreviewModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace import;

namespace {

// The tester reports through warnings starting with "FAIL!".
QStringList g_failures;
void collectFailures(QtMsgType, const QMessageLogContext &, const QString &msg)
{
    if (msg.contains(QLatin1String("FAIL!")))
        g_failures << msg;
}

ColumnFlags all()
{
    ColumnFlags f{};
    f.fill(true);
    return f;
}

} // namespace

TEST(ImportPreviewModel, StaysConsistentThroughSplitsClearsAndResizes)
{
    g_failures.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectFailures);
    {
        ImportPreviewModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);

        const QStringList three{"a,b", "c,d", "e"};
        model.splitDelimited(three, u",", false, all());
        EXPECT_EQ(model.rowCount(), 3);
        EXPECT_EQ(model.columnCount(), kGridColumns);
        EXPECT_EQ(model.index(1, 1).data().toString(), "d");
        EXPECT_EQ(model.cell(1, 2), "d") << "grid rows count the header row";

        model.setHeaderText(0, "FIRST NAME");
        EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), "FIRST NAME");
        EXPECT_TRUE(model.hasMapping());

        model.splitFixed({"Smith Jo  "}, ColumnWidthList{6, 4}, false, all());
        EXPECT_EQ(model.rowCount(), 1);
        EXPECT_EQ(model.cell(1, 1), "Jo");
        EXPECT_EQ(model.headerText(0), "FIRST NAME") << "a split leaves the header row alone";

        model.clearCells();
        EXPECT_EQ(model.rowCount(), 1) << "clearing keeps the row count";
        EXPECT_EQ(model.cell(0, 1), QString());
        EXPECT_FALSE(model.hasMapping());

        model.splitDelimited(three + three, u",", false, all());
        model.splitDelimited({}, u",", false, all());
        EXPECT_EQ(model.gridRowCount(), 1);
    }
    qInstallMessageHandler(previous);
    EXPECT_TRUE(g_failures.isEmpty()) << g_failures.join('\n').toStdString();
}

TEST(ImportPreviewModel, DataTextIgnoresBlankCellsAndColumnTen)
{
    ImportPreviewModel model;
    model.splitDelimited({"  ,   ,", "\t "}, u",", false, all());
    EXPECT_FALSE(model.hasDataText()) << "fields before a delimiter keep blanks but are blank";
    EXPECT_EQ(model.cell(0, 1), "  ");

    model.splitDelimited({"  ,   ,", " , x"}, u",", false, all());
    EXPECT_TRUE(model.hasDataText());
    EXPECT_EQ(model.cell(10, 2), QString());

    ColumnFlags none{};
    model.splitDelimited({"a,b"}, u",", false, none);
    EXPECT_FALSE(model.hasDataText());
}

// The view lays out whatever text a cell gives it; a line megabytes long
// froze it, and at a few hundred crashed it. The import still reads it whole.
TEST(ImportPreviewModel, ShowsABoundedPrefixOfAVeryLongCell)
{
    ImportPreviewModel model;
    const QString huge(4 * 1024 * 1024, QLatin1Char('x'));
    model.splitDelimited({"Jo," + huge + ",end", "Max,short"}, u",", false, all());
    const QString shown = model.index(0, 1).data().toString();
    EXPECT_EQ(shown.size(), ImportPreviewModel::kPreviewCellLength + 1);
    EXPECT_TRUE(shown.startsWith("xxxx"));
    EXPECT_TRUE(shown.endsWith(QChar(0x2026)));
    EXPECT_EQ(model.cell(1, 1).size(), huge.size());
    // Cells that fit are shown as they are.
    EXPECT_EQ(model.index(0, 2).data().toString(), "end");
    EXPECT_EQ(model.index(1, 1).data().toString(), "short");
}
