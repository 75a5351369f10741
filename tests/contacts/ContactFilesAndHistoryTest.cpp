#include "contacts/ContactFileName.h"
#include "contacts/ContactHistory.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <gtest/gtest.h>

TEST(ContactFileName, NamesStayInsideTheirFolder)
{
    const QString folder = QStringLiteral("/data/Recordings");
    // joined as they stand: spaces and case kept
    EXPECT_EQ(RecordingFilePath(folder, RecordingPrefix("Acme Ltd", "Ann", "Ash"), 3),
              "/data/Recordings/call_rec_Acme Ltd_Ann_Ash_3.wav");
    EXPECT_EQ(RecordingFilePath(folder + "/", RecordingPrefix("", "", ""), 1),
              "/data/Recordings/call_rec____1.wav");
    EXPECT_EQ(ContactFilePath(folder, "O'Neil & Sons.wav"), "/data/Recordings/O'Neil & Sons.wav");

    const QString longName(300, QLatin1Char('x'));
    const QString accented = QString(130, QChar(0xE9)); // 260 bytes in UTF-8
    const QString withNul = QString("nul") + QChar(0) + "x";
    for (const QString &company :
         QStringList{"../../etc", "a/b", "..", "x..y", withNul, longName, accented}) {
        SCOPED_TRACE(company.left(20).toStdString());
        EXPECT_THROW(RecordingFilePath(folder, RecordingPrefix(company, "Ann", "Ash"), 1), EContactFileName);
    }
    EXPECT_THROW(RecordingFilePath(folder, RecordingPrefix("Acme", "/", "Ash"), 1), EContactFileName);
    EXPECT_THROW(RecordingFilePath(folder, RecordingPrefix("Acme", "Ann", ".."), 1), EContactFileName);
}

// The history object on a table alone, with a grid selection that may
// hold rows the current filter hides.
class ContactHistoryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString path = te.path("contacts.dbf");
        CreateContactTable(path);
        table.setTableName(path);
        table.Open();
        for (const char *name : {"Ann", "Bob", "Cy", "Dee"}) {
            table.Append();
            table.SetAsString("NAME", name);
            table.Post();
        }
        ContactHistory::Hooks hooks;
        hooks.multiSelect = [this] { return multi; };
        hooks.selectedRows = [this] { return selected; };
        history = std::make_unique<ContactHistory>(table, te.clock, hooks);
    }
    QString field(Bookmark b, const char *name) const { return table.DisplayText(b, name).trimmed(); }

    TestEnvironment te;
    TDbfTable table;
    bool multi = true;
    QList<Bookmark> selected;
    std::unique_ptr<ContactHistory> history;
};

TEST_F(ContactHistoryTest, SelectedRowsHiddenByAFilterAreLeftOutAndTheRestIsStampedCompletely)
{
    // GIVEN four selected contacts, out of order, two of them hidden
    selected = {4, 2, 1, 3};
    table.OnFilterRecord = [](TDbfTable &t) {
        return t.AsString("NAME") != "Bob" && t.AsString("NAME") != "Cy";
    };
    table.setFiltered(true);
    EXPECT_EQ(history->SelectedContacts(), (QList<Bookmark>{1, 4}));

    // WHEN a fax goes out to the shown ones
    ASSERT_NO_THROW(history->AddFaxHistory({"id-1", "id-2"}));

    // THEN both shown contacts have their own id, in file order, and the
    // hidden ones nothing
    table.setFiltered(false);
    const QString stamp = ContactHistory::TimeStampText(te.clock.now());
    EXPECT_EQ(field(1, "DT_FAX1"), "id-1");
    EXPECT_EQ(field(4, "DT_FAX1"), "id-2");
    EXPECT_EQ(field(1, "TM_FAX1"), stamp);
    EXPECT_EQ(field(2, "TM_FAX1"), "");
    EXPECT_EQ(field(3, "TM_FAX1"), "");
}

TEST_F(ContactHistoryTest, SingleSelectionStampsTheCurrentContactOnce)
{
    multi = false;
    selected = {1, 2, 3};
    table.GotoBookmark(3);
    history->AddWaveHistory("/w/one.wav");
    history->AddEmailHistory();
    EXPECT_EQ(field(3, "DT_WAVE1"), "/w/one.wav");
    EXPECT_NE(field(3, "TM_EMAIL1"), "");
    for (Bookmark b : {1, 2, 4})
        EXPECT_EQ(field(b, "TM_WAVE1"), "") << b;
}
