#include "contacts/AddContactIfNew.h"

#include "ContactTableFixture.h"

using AddContactIfNewTest = ContactTableFixture;

struct MatchCase {
    const char *name;
    QStringList values; // first, last, e-mail, phone, fax
    bool added;
};

TEST_F(AddContactIfNewTest, AddsOnlyWhatNoVisibleRecordMatchesByPartialKey)
{
    addRecord("Jonathan", "Smith", "js@example.com", "555-0100", "555-0101");
    addRecord("Anna", "Berg");
    const MatchCase cases[] = {
        {"the same contact", {"Jonathan", "Smith", "js@example.com", "555-0100", "555-0101"}, false},
        {"other letter case", {"JONATHAN", "smith", "JS@EXAMPLE.COM", "555-0100", "555-0101"}, false},
        {"first-name prefix alone", {"jon", "", "", "", ""}, false},
        {"prefixes of every field", {"Jo", "Sm", "js@", "555", "555"}, false},
        {"blanks and controls around the values", {" \tJonathan\r\n", "Smith ", "", "", ""}, false},
        {"longer than the stored name", {"Jonathans", "", "", "", ""}, true},
        {"another e-mail", {"Jonathan", "Smith", "other@example.com", "", ""}, true},
        {"the stored value is not a prefix of the search", {"Jonathan", "Smithson", "", "", ""}, true},
    };
    for (const MatchCase &c : cases) {
        const qint64 before = table->RecordCount();
        table->Last();
        AddContactIfNew(*table, c.values[0], c.values[1], c.values[2], c.values[3], c.values[4]);
        EXPECT_EQ(table->RecordCount() - before, c.added ? 1 : 0) << c.name;
        // The match, or the new record, is the current one.
        EXPECT_EQ(table->AsString("NAME"), c.added ? c.values[0] : "Jonathan") << c.name;
        EXPECT_EQ(table->AsString("LAST"), c.added ? c.values[1] : "Smith") << c.name;
    }
}

TEST_F(AddContactIfNewTest, FiveEmptyValuesAddNothingAndLeaveTheCurrentRecord)
{
    addRecord("Jonathan", "Smith");
    addRecord("Anna", "Berg");
    AddContactIfNew(*table, "", " ", "\t", "", "\r\n");
    EXPECT_EQ(table->RecordCount(), 2);
    EXPECT_EQ(table->AsString("NAME"), "Anna");
}

TEST_F(AddContactIfNewTest, StoresTrimmedValuesAndMakesTheNewRecordCurrent)
{
    addRecord("Anna", "Berg");
    table->First();
    AddContactIfNew(*table, "  Jo ", "\tSmith", "jo@example.com ", " 555 ", "");
    EXPECT_EQ(table->State(), DatasetState::Browse);
    EXPECT_EQ(table->AsString("NAME"), "Jo");
    EXPECT_EQ(fieldBytes(1, NAME), padded("Jo", 50));
    EXPECT_EQ(fieldBytes(1, LAST), padded("Smith", 50));
    EXPECT_EQ(fieldBytes(1, EMAIL), padded("jo@example.com", 50));
    EXPECT_EQ(fieldBytes(1, PHONE), padded("555", 15));
    EXPECT_EQ(fieldBytes(1, FAX), padded("", 15));
}

TEST_F(AddContactIfNewTest, AListImportedTwiceAddsNothingTheSecondTime)
{
    // Values the table keeps cut or converted, which the second pass must
    // still recognise as the stored contact.
    const QStringList rows[] = {
        {"Jo", "", "", "+44 20 7946 0958 12", ""},                              // phone past 15 characters
        {QString(60, 'A'), "Long", "", "", ""},                                 // name past 50 characters
        {"Anna", QString(49, 'b') + " c", "", "", ""},                          // cut lands on a blank
        {QString::fromUtf8("Łukasz"), QString::fromUtf8("Иванов"), "", "", ""}, // not in Windows-1252
        {"Mia", "", "mia@" + QString(60, 'x') + ".example", "", "+1 555 0100 0101 7"},
    };
    for (const QStringList &r : rows)
        AddContactIfNew(*table, r[0], r[1], r[2], r[3], r[4]);
    ASSERT_EQ(table->RecordCount(), 5);
    EXPECT_EQ(fieldBytes(0, PHONE), "+44 20 7946 095");
    EXPECT_EQ(fieldBytes(3, NAME), padded("?ukasz", 50));

    for (const QStringList &r : rows) {
        table->First();
        AddContactIfNew(*table, r[0], r[1], r[2], r[3], r[4]);
        // The stored contact is found and becomes current.
        EXPECT_EQ(table->AsString("NAME"), table->StoredText("NAME", r[0])) << r.join('|').toStdString();
    }
    EXPECT_EQ(table->RecordCount(), 5);
    EXPECT_EQ(recordsInFile(), 5);
}

TEST_F(AddContactIfNewTest, ARecordOutsideTheFilteredViewIsNotFound)
{
    addRecord("Anna", "Berg");
    addRecord("Jo", "Smith");
    table->OnFilterRecord = [](TDbfTable &t) { return t.AsString("NAME") != "Anna"; };
    table->setFiltered(true);
    AddContactIfNew(*table, "Jo", "Smith", "", "", "");
    EXPECT_EQ(table->RecordCount(), 2);
    AddContactIfNew(*table, "Anna", "Berg", "", "", "");
    EXPECT_EQ(table->RecordCount(), 3);
}

TEST_F(AddContactIfNewTest, ADeletedRecordIsNotAMatch)
{
    addRecord("Jo", "Smith");
    table->First();
    table->Delete();
    AddContactIfNew(*table, "Jo", "Smith", "", "", "");
    EXPECT_EQ(table->RecordCount(), 2);
    EXPECT_EQ(fieldBytes(1, NAME), padded("Jo", 50));
}
