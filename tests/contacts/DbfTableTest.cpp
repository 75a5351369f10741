#include "TableTestSupport.h"

#include "contacts/DbfFormat.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSet>
#include <future>
#include <gtest/gtest.h>

namespace {

uint32_t headerCount(const QByteArray &file)
{
    return dbf::readU32(file.constData() + 4);
}

} // namespace

TEST(CreateContactTable, WritesTheExactEmptyFiles)
{
    TestEnvironment te(QDateTime(QDate(2007, 3, 5), QTime(9, 0)));
    const QString path = te.path("contacdata.dbf");
    CreateContactTable(path, te.clock);

    const QByteArray dbf = readFileBytes(path);
    ASSERT_EQ(dbf.size(), 1762);
    EXPECT_EQ(uint8_t(dbf[0]), 0x8B);
    EXPECT_EQ(uint8_t(dbf[1]), 107); // 2007 - 1900
    EXPECT_EQ(dbf[2], 3);
    EXPECT_EQ(dbf[3], 5);
    EXPECT_EQ(headerCount(dbf), 0u);
    EXPECT_EQ(dbf::readU16(dbf.constData() + 8), 1761);
    EXPECT_EQ(dbf::readU16(dbf.constData() + 10), 2102);
    EXPECT_EQ(dbf.mid(12, 17), QByteArray(17, '\0'));
    EXPECT_NE(dbf[29], 0);
    EXPECT_EQ(dbf.mid(30, 2), QByteArray(2, '\0'));
    EXPECT_EQ(dbf[1760], 0x0D);
    EXPECT_EQ(dbf[1761], 0x1A);

    // Descriptors: name zero-padded, type, zeros, width, decimals, zeros.
    const QByteArray notes = dbf.mid(32 + 32 * 50, 32);
    EXPECT_EQ(notes.left(11), QByteArray("NOTES\0\0\0\0\0\0", 11));
    EXPECT_EQ(notes[11], 'M');
    EXPECT_EQ(notes.mid(12, 4), QByteArray(4, '\0'));
    EXPECT_EQ(notes[16], 10);
    EXPECT_EQ(notes[17], 0);
    EXPECT_EQ(notes.mid(18), QByteArray(14, '\0'));
    const QByteArray dur = dbf.mid(32 + 32 * 12, 32);
    EXPECT_EQ(dur.left(9), QByteArray("DUR_CALL1"));
    EXPECT_EQ(dur[11], 'N');
    EXPECT_EQ(dur[16], 4);

    const QByteArray dbt = readFileBytes(te.path("contacdata.dbt"));
    ASSERT_EQ(dbt.size(), 512);
    QByteArray expected(512, '\0');
    expected[0] = 1;
    expected[21] = 2; // 512 little-endian
    EXPECT_EQ(dbt, expected);
}

TEST(CreateContactTable, SchemaHasTheContactFieldsInOrder)
{
    ContactTableFixture f;
    const QStringList names = f.table->FieldNames();
    ASSERT_EQ(names.size(), 54);
    EXPECT_EQ(names.first(), "COMPNAME");
    EXPECT_EQ(names[7], "TM_CALL1");
    EXPECT_EQ(names[46], "DT_WAVE5");
    EXPECT_EQ(names.last(), "EMAILBACK");
    struct Expect {
        const char *name;
        FieldType type;
        int width, offset;
    } cases[] = {{"COMPNAME", FieldType::Character, 50, 1},   {"EMAIL", FieldType::Character, 50, 196},
                 {"DUR_CALL5", FieldType::Number, 4, 387},    {"DT_WAVE1", FieldType::Character, 200, 1016},
                 {"PERMISSION", FieldType::Logical, 1, 2066}, {"NOTES", FieldType::Memo, 10, 2068},
                 {"EMAILBACK", FieldType::Date, 8, 2094}};
    for (const Expect &e : cases) {
        const auto def = f.table->FieldByName(e.name);
        ASSERT_TRUE(def) << e.name;
        EXPECT_EQ(def->type, e.type) << e.name;
        EXPECT_EQ(def->width, e.width) << e.name;
        EXPECT_EQ(def->offset, e.offset) << e.name;
    }
    EXPECT_EQ(f.table->TableLevel(), 4);
    EXPECT_EQ(f.table->CodePage(), "Windows-1252");
}

TEST(CreateContactTable, RefusesToReplaceAnExistingTableAndCleansUpOnFailure)
{
    ContactTableFixture f;
    f.add("Keep");
    f.table->Close();
    const QByteArray before = f.bytes();
    EXPECT_THROW(CreateContactTable(f.path, f.te.clock), EDbfError);
    EXPECT_EQ(f.bytes(), before);

    const QString missingFolder = f.te.path("no/such/folder/t.dbf");
    EXPECT_THROW(CreateContactTable(missingFolder, f.te.clock), EDbfError);
    EXPECT_FALSE(QFileInfo::exists(missingFolder));

    QDir().mkpath(f.te.path("ro"));
    QFile::setPermissions(f.te.path("ro"), QFile::ReadOwner | QFile::ExeOwner);
    if (!QFileInfo(f.te.path("ro")).isWritable()) { // root may write anyway
        EXPECT_THROW(CreateContactTable(f.te.path("ro/t.dbf"), f.te.clock), EDbfError);
        EXPECT_TRUE(QDir(f.te.path("ro")).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }
    QFile::setPermissions(f.te.path("ro"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST(DbfTable, FieldValuesUseTheStoredEncodings)
{
    ContactTableFixture f;
    f.table->Append();
    f.table->SetAsString("NAME", "Smith");
    f.table->SetAsString("COMPNAME", QString(80, 'x')); // cut to 50
    f.table->SetAsString("LAST", "  lead");             // leading spaces stay
    f.table->SetAsInteger("DUR_CALL1", 42);
    f.table->SetAsInteger("DUR_CALL2", -999);
    f.table->SetAsBoolean("PERMISSION", true);
    f.table->SetAsBoolean("PERM_NO", false);
    f.table->SetAsDate("CALLBACK", QDate(2007, 3, 5));
    f.table->Post();
    const Bookmark b = f.table->GetBookmark();

    const QByteArray rec = f.recordBytes(b);
    EXPECT_EQ(rec[0], ' ');
    EXPECT_EQ(rec.mid(51, 50), QByteArray("Smith") + QByteArray(45, ' '));
    EXPECT_EQ(rec.mid(1, 50), QByteArray(50, 'x'));
    EXPECT_EQ(rec.mid(371, 4), QByteArray("  42"));
    EXPECT_EQ(rec.mid(375, 4), QByteArray("-999"));
    EXPECT_EQ(rec[2066], 'T');
    EXPECT_EQ(rec[2067], 'F');
    EXPECT_EQ(rec.mid(2078, 8), QByteArray("20070305"));
    EXPECT_EQ(rec.mid(2068, 10), QByteArray(10, ' ')); // memo never written

    auto t = f.openTable();
    EXPECT_EQ(t->AsString("NAME"), "Smith");
    EXPECT_EQ(t->AsString("LAST"), "  lead");
    EXPECT_EQ(t->AsInteger("DUR_CALL1"), 42);
    EXPECT_EQ(t->AsInteger("DUR_CALL2"), -999);
    EXPECT_TRUE(t->AsBoolean("PERMISSION"));
    EXPECT_FALSE(t->AsBoolean("PERM_NO"));
    EXPECT_EQ(t->AsDate("CALLBACK"), QDate(2007, 3, 5));
    EXPECT_EQ(t->AsDate("FAXBACK"), std::nullopt);
}

TEST(DbfTable, AnAppendedRecordIsBlankEverywhere)
{
    ContactTableFixture f;
    f.table->Append();
    f.table->Post();
    EXPECT_EQ(f.recordBytes(1), QByteArray(2102, ' '));
    EXPECT_EQ(f.table->AsString("NAME"), "");
    EXPECT_EQ(f.table->AsInteger("DUR_CALL1"), 0);
    EXPECT_FALSE(f.table->AsBoolean("PERMISSION"));
    EXPECT_EQ(f.table->AsDate("CALLBACK"), std::nullopt);
    EXPECT_TRUE(f.table->IsNull("NOTES"));
    EXPECT_EQ(f.table->AsString("NOTES"), "");
}

TEST(DbfTable, NumbersOutsideTheFieldWidthAreRefused)
{
    ContactTableFixture f;
    f.table->Append();
    EXPECT_NO_THROW(f.table->SetAsInteger("DUR_CALL1", 9999));
    EXPECT_THROW(f.table->SetAsInteger("DUR_CALL1", 10000), EDbfError);
    EXPECT_THROW(f.table->SetAsInteger("DUR_CALL1", -1000), EDbfError);
    EXPECT_THROW(f.table->SetAsString("DUR_CALL1", "abc"), EDbfError);
    f.table->Post();
    EXPECT_EQ(f.table->AsInteger("DUR_CALL1"), 9999);
}

TEST(DbfTable, UnknownFieldsNameTheComponent)
{
    ContactTableFixture f;
    auto t = f.openTable("tblImport");
    try {
        t->AsString("NOPE");
        FAIL();
    } catch (const EDbfError &e) {
        EXPECT_EQ(e.text(), "tblImport: Field 'NOPE' not found");
    }
    EXPECT_FALSE(t->FieldByName("NOPE"));
}

TEST(DbfTable, OpenErrorsHaveTheirTexts)
{
    TestEnvironment te;
    TDbfTable t;
    t.setFilePath(te.programFolder() + "/");
    t.setTableName("missing.dbf");
    try {
        t.Open();
        FAIL();
    } catch (const EDbfError &e) {
        EXPECT_EQ(e.text(), QString("Open: file not found: \"%1/missing.dbf\".").arg(te.programFolder()));
    }
    writeFileBytes(te.path("junk.dbf"), "this is not a table at all, just some text in a file");
    t.setTableName("junk.dbf");
    try {
        t.Open();
        FAIL();
    } catch (const EDbfError &e) {
        EXPECT_EQ(e.text(), "Invalid DBF file.");
    }
    EXPECT_FALSE(t.Active());
}

TEST(DbfTable, NavigationFlagsAndBookmarks)
{
    ContactTableFixture f;
    EXPECT_TRUE(f.table->Bof());
    EXPECT_TRUE(f.table->Eof());
    const Bookmark a = f.add("A"), b = f.add("B"), c = f.add("C");
    EXPECT_EQ(a, 1);
    EXPECT_EQ(c, 3);

    f.table->First();
    EXPECT_EQ(f.table->AsString("NAME"), "A");
    f.table->Prior();
    EXPECT_TRUE(f.table->Bof());
    EXPECT_EQ(f.table->AsString("NAME"), "A");
    f.table->Next();
    EXPECT_FALSE(f.table->Bof());
    EXPECT_FALSE(f.table->Eof());
    EXPECT_EQ(f.table->AsString("NAME"), "B");
    f.table->Next();
    EXPECT_FALSE(f.table->Eof());
    f.table->Next(); // on the last record: stays, sets the end flag
    EXPECT_TRUE(f.table->Eof());
    EXPECT_EQ(f.table->AsString("NAME"), "C");

    f.table->GotoBookmark(b);
    EXPECT_EQ(f.table->AsString("NAME"), "B");
    EXPECT_FALSE(f.table->Eof());
    EXPECT_TRUE(f.table->BookmarkValid(a));
    EXPECT_FALSE(f.table->BookmarkValid(99));
    EXPECT_THROW(f.table->GotoBookmark(99), EDbfError);

    int scrolls = 0;
    f.table->AfterScroll = [&](TDbfTable &) { ++scrolls; };
    f.table->Last();
    f.table->Next(); // no move
    EXPECT_EQ(scrolls, 1);
}

TEST(DbfTable, EditRereadsTheRecordAndCancelDropsChanges)
{
    ContactTableFixture f;
    f.add("Original");
    auto other = f.openTable("other");
    other->Edit();
    other->SetAsString("NAME", "Changed elsewhere");
    other->Post();

    f.table->Edit(); // sees the other program's post
    EXPECT_EQ(f.table->AsString("NAME"), "Changed elsewhere");
    f.table->SetAsString("NAME", "Mine");
    f.table->Cancel();
    EXPECT_EQ(f.table->AsString("NAME"), "Changed elsewhere");
    EXPECT_EQ(f.table->State(), DatasetState::Browse);
    EXPECT_THROW(f.table->SetAsString("NAME", "x"), EDbfError);

    std::vector<DatasetState> states;
    f.table->OnStateChange = [&](TDbfTable &t) { states.push_back(t.State()); };
    f.table->Edit();
    f.table->SetAsString("NAME", "Posted");
    f.table->Post();
    EXPECT_EQ(states, (std::vector<DatasetState>{DatasetState::Edit, DatasetState::Browse}));
    EXPECT_EQ(f.openTable()->AsString("NAME"), "Posted");
}

TEST(DbfTable, PostWritesOnlyTheRecordAndAppendWritesTheHeader)
{
    ContactTableFixture f;
    f.add("A");
    f.add("B");
    f.te.clock.setNow(QDateTime(QDate(2008, 1, 2), QTime(10, 0)));
    const QByteArray before = f.bytes();
    f.table->First();
    f.table->Edit();
    f.table->SetAsString("NAME", "Z");
    f.table->Post();
    QByteArray after = f.bytes();
    EXPECT_EQ(after.left(1761), before.left(1761)); // header untouched by a post
    EXPECT_EQ(after.mid(1761 + 2102), before.mid(1761 + 2102));

    f.add("C");
    after = f.bytes();
    EXPECT_EQ(headerCount(after), 3u);
    EXPECT_EQ(uint8_t(after[1]), 108);
    EXPECT_EQ(after[2], 1);
    EXPECT_EQ(after[3], 2);
    EXPECT_EQ(after.size(), 1761 + 3 * 2102 + 1);
    EXPECT_EQ(after.back(), 0x1A);
}

TEST(DbfTable, CancelledInsertWritesNothingAndReturnsToTheRecord)
{
    ContactTableFixture f;
    f.add("A");
    f.add("B");
    f.table->First();
    const QByteArray before = f.bytes();
    f.table->Append();
    EXPECT_EQ(f.table->State(), DatasetState::Insert);
    EXPECT_EQ(f.table->GetBookmark(), 0);
    f.table->SetAsString("NAME", "never");
    f.table->Cancel();
    EXPECT_EQ(f.bytes(), before);
    EXPECT_EQ(f.table->AsString("NAME"), "A");
}

TEST(DbfTable, DeletedRecordsStayInTheFileButAreNeverShown)
{
    ContactTableFixture f;
    f.add("A");
    const Bookmark b = f.add("B");
    f.add("C");
    const QByteArray before = f.recordBytes(b);
    f.table->GotoBookmark(b);
    f.table->Delete();
    EXPECT_EQ(f.table->AsString("NAME"), "C"); // moves on to the next
    const QByteArray after = f.recordBytes(b);
    EXPECT_EQ(after[0], '*');
    EXPECT_EQ(after.mid(1), before.mid(1));
    EXPECT_EQ(headerCount(f.bytes()), 3u);

    auto t = f.openTable();
    EXPECT_EQ(t->RecordCount(), 3);
    EXPECT_EQ(t->VisibleCount(), 2);
    EXPECT_FALSE(t->BookmarkValid(b));
    QStringList names;
    for (t->First(); !t->Eof(); t->Next())
        names << t->AsString("NAME");
    EXPECT_EQ(names, (QStringList{"A", "C"}));
}

TEST(DbfTable, FilterCallbackDecidesVisibilityWhileFilteringIsOn)
{
    ContactTableFixture f;
    for (const char *n : {"Ann", "Bob", "Cid", "Dan"})
        f.add(n);
    f.table->OnFilterRecord = [](TDbfTable &t) { return t.AsString("NAME").contains('n'); };
    EXPECT_EQ(f.table->VisibleCount(), 4); // not yet on
    int scrolls = 0;
    f.table->AfterScroll = [&](TDbfTable &) { ++scrolls; };
    f.table->Last();
    scrolls = 0;
    f.table->setFiltered(true);
    EXPECT_EQ(f.table->VisibleCount(), 2);
    EXPECT_EQ(f.table->AsString("NAME"), "Ann");
    EXPECT_EQ(scrolls, 1);
    f.table->Next();
    EXPECT_EQ(f.table->AsString("NAME"), "Dan");
    f.table->Next();
    EXPECT_TRUE(f.table->Eof());
    EXPECT_EQ(f.table->DisplayText(f.table->VisibleAt(1), "NAME"), "Dan");
    f.table->setFiltered(false);
    EXPECT_EQ(f.table->VisibleCount(), 4);
}

TEST(DbfTable, FilterExpressionAndCallbackApplyTogether)
{
    ContactTableFixture f;
    f.add("Smith", "x");
    f.add("Smithers", "y");
    f.add("smit", "x");
    f.add("Jones", "x");
    f.table->OnFilterRecord = [](TDbfTable &t) { return t.AsString("LAST") == "x"; };
    f.table->setFilter("NAME='smi*'");
    f.table->setFiltered(true);
    QStringList names;
    for (qint64 i = 0; i < f.table->VisibleCount(); ++i)
        names << f.table->DisplayText(f.table->VisibleAt(i), "NAME");
    EXPECT_EQ(names, (QStringList{"Smith", "smit"}));

    // A field that is not text is refused and changes nothing.
    EXPECT_THROW(f.table->setFilter("DUR_CALL1='1'"), EDbfError);
    EXPECT_EQ(f.table->Filter(), "NAME='smi*'");
    EXPECT_THROW(f.table->setFilter("NAME=smith"), EDbfError);
    EXPECT_EQ(f.table->VisibleCount(), 2);
}

TEST(DbfTable, AFailingFilterCallbackShowsAllRecords)
{
    ContactTableFixture f;
    f.add("A");
    f.add("B");
    f.table->OnFilterRecord = [](TDbfTable &t) { return t.AsString("NO_SUCH").isEmpty(); };
    EXPECT_THROW(f.table->setFiltered(true), EDbfError);
    EXPECT_FALSE(f.table->Filtered());
    EXPECT_EQ(f.table->VisibleCount(), 2);
}

TEST(DbfTable, DisplayTextShowsTheRecordBeingEdited)
{
    ContactTableFixture f;
    const Bookmark b = f.add("Before");
    f.table->Edit();
    f.table->SetAsString("NAME", "During");
    EXPECT_EQ(f.table->DisplayText(b, "NAME"), "During");
    f.table->Cancel();
    EXPECT_EQ(f.table->DisplayText(b, "NAME"), "Before");
}

TEST(DbfTable, NavigatingWhileEditingPostsTheChange)
{
    ContactTableFixture f;
    f.add("A");
    f.add("B");
    f.table->First();
    f.table->Edit();
    f.table->SetAsString("NAME", "A2");
    f.table->Next();
    EXPECT_EQ(f.table->State(), DatasetState::Browse);
    EXPECT_EQ(f.openTable()->AsString("NAME"), "A2");
}

// Past the first records that Open reads at once, the rest arrive from the
// background scan, and searches and locates work from in-memory columns:
// all must agree with the file after deletions, edits and appends.
TEST(DbfTable, ManyRecordsStayConsistentAcrossScansAndColumns)
{
    ContactTableFixture f;
    constexpr int kRecords = 5000;
    for (int i = 1; i <= kRecords; ++i) {
        f.table->Append();
        f.table->SetAsString("NAME", (i % 10 == 0 ? "Smith" : "Jones") + QString::number(i));
        f.table->SetAsString("EMAIL", QString("c%1@x").arg(i));
        f.table->Post();
    }
    f.table->GotoBookmark(4990);
    f.table->Delete();
    auto t = f.openTable();
    EXPECT_EQ(t->VisibleCount(), kRecords - 1);
    t->Last();
    EXPECT_EQ(t->GetBookmark(), kRecords);
    EXPECT_FALSE(t->BookmarkValid(4990));

    t->setFilter("NAME='smith*'");
    t->setFiltered(true);
    EXPECT_EQ(t->VisibleCount(), kRecords / 10 - 1); // 4990 is deleted

    // An edit and an append are seen by the next search and locate.
    t->setFiltered(false);
    t->GotoBookmark(4001);
    t->Edit();
    t->SetAsString("NAME", "Smithson");
    t->Post();
    t->Append();
    t->SetAsString("NAME", "smithy");
    t->Post();
    t->setFilter("NAME='smith*'");
    t->setFiltered(true);
    EXPECT_EQ(t->VisibleCount(), kRecords / 10 + 1);
    EXPECT_TRUE(t->BookmarkValid(4001));
    EXPECT_TRUE(t->BookmarkValid(kRecords + 1));

    // With a callback as well: few candidates are read one by one, many in
    // one pass; both give the same answer.
    t->OnFilterRecord = [](TDbfTable &r) { return r.AsString("EMAIL").endsWith("1@x"); };
    t->setFiltered(false);
    t->setFiltered(true);
    EXPECT_EQ(t->VisibleCount(), 1); // only 4001 among the Smiths has an e-mail ending in 1
    t->setFilter("NAME='*'");
    QSet<Bookmark> many;
    for (qint64 i = 0; i < t->VisibleCount(); ++i)
        many.insert(t->VisibleAt(i));
    EXPECT_EQ(many.size(), 500);

    t->setFiltered(false);
    t->First();
    EXPECT_TRUE(t->Locate({"NAME", "EMAIL"}, {"SMITHSON", "c4001"}, {true, true}));
    EXPECT_EQ(t->GetBookmark(), 4001);
    EXPECT_FALSE(t->Locate({"NAME", "EMAIL"}, {"jones4001", ""}, {true, true}));
    EXPECT_TRUE(t->Locate({"NAME"}, {"Jones4002"}, {false, false}));
    EXPECT_EQ(t->GetBookmark(), 4002);
}

// Records posted while the background pass after open is still reading the
// file (some before it reaches them, some after), and one appended after:
// the first search and locate see the posted values, never the old ones.
TEST(DbfTable, PostsDuringTheBackgroundPassReachTheFirstSearch)
{
    ContactTableFixture f;
    constexpr int kRecords = 3000, kRenamed = 2000; // more than open reads at once
    for (int i = 1; i <= kRecords; ++i) {
        f.table->Append();
        f.table->SetAsString("NAME", "Jones" + QString::number(i));
        f.table->SetAsString("COMPNAME", "Firm" + QString::number(i));
        f.table->Post();
    }
    f.table.reset();
    auto t = f.openTable();
    t->First(); // moving within the first records waits for nothing
    for (int i = 1; i <= kRenamed; ++i, t->Next()) {
        t->Edit();
        t->SetAsString("NAME", "Smith" + QString::number(i));
        t->SetAsString("COMPNAME", "Acme" + QString::number(i));
        t->Post();
    }
    t->Append();
    t->SetAsString("NAME", "Smithers");
    t->Post();

    const std::pair<const char *, qint64> searches[] = {
        {"NAME='smith*'", kRenamed + 1},
        {"NAME='jones*'", kRecords - kRenamed},
        {"NAME='jones1'", 0},
        {"COMPNAME='acme*'", kRenamed},
        {"COMPNAME='firm2000'", 0},
    };
    for (const auto &[expression, count] : searches) {
        t->setFiltered(false);
        t->setFilter(expression);
        t->setFiltered(true);
        EXPECT_EQ(t->VisibleCount(), count) << expression;
    }
    t->setFiltered(false);
    t->Last();
    EXPECT_TRUE(t->Locate({"NAME", "LAST"}, {"SMITH1999", ""}, {true, true}));
    EXPECT_EQ(t->GetBookmark(), 1999);
    EXPECT_FALSE(t->Locate({"NAME", "LAST"}, {"jones1999", ""}, {true, true}));
}

// The record filter is served from the dates kept in memory (as the views
// read them), including dates posted while the pass after open still runs;
// a filter that also reads other fields gets them from the file, with the
// same records listed either way.
TEST(DbfTable, RecordFilterSeesKeptDatesAndFileFieldsAlike)
{
    ContactTableFixture f;
    const QDate today(2007, 3, 5);
    constexpr int kRecords = 3000; // more than open reads at once
    for (int i = 1; i <= kRecords; ++i) {
        f.table->Append();
        f.table->SetAsString("NAME", "N" + QString::number(i));
        if (i % 10 == 0)
            f.table->SetAsDate("CALLBACK", today);
        f.table->Post();
    }
    f.table.reset();
    auto t = std::make_unique<TDbfTable>();
    t->setKeepInMemory({"CALLBACK"});
    t->setTableName(f.path);
    t->Open();
    t->First();
    t->Edit(); // record 1 becomes due while the pass runs
    t->SetAsDate("CALLBACK", today);
    t->Post();
    t->Next();
    t->Next();
    t->Edit(); // record 3 too
    t->SetAsDate("CALLBACK", today);
    t->Post();

    const QString callback = QStringLiteral("CALLBACK");
    auto due = [&](TDbfTable &r) { return r.AsDate(callback) == today; };
    const std::pair<const char *, std::function<bool(TDbfTable &)>> filters[] = {
        {"dates only", due},
        {"dates, then a name", [&](TDbfTable &r) { return due(r) || r.AsString("NAME").endsWith("5"); }},
    };
    const qint64 expected[] = {kRecords / 10 + 2, kRecords / 10 + 2 + kRecords / 10};
    for (size_t k = 0; k < std::size(filters); ++k) {
        t->OnFilterRecord = filters[k].second;
        t->setFiltered(false);
        t->setFiltered(true);
        EXPECT_EQ(t->VisibleCount(), expected[k]) << filters[k].first;
        EXPECT_EQ(t->VisibleAt(0), 1) << filters[k].first;
        EXPECT_EQ(t->VisibleAt(1), 3) << filters[k].first;
    }
}

// Dates kept in memory are stored compactly; the ones outside the compact
// range, and a change between the two, read back as the file holds them.
TEST(DbfTable, KeptDatesReadBackAcrossTheCompactRange)
{
    ContactTableFixture f;
    const std::optional<QDate> dates[] = {std::nullopt,      QDate(1899, 12, 31), QDate(1900, 1, 1),
                                          QDate(2079, 6, 5), QDate(2079, 6, 6),   QDate(2150, 2, 28),
                                          QDate(1, 1, 1),    QDate(2026, 12, 11)};
    for (const auto &d : dates) {
        f.table->Append();
        f.table->SetAsDate("CALLBACK", d);
        f.table->Post();
    }
    f.table.reset();
    auto t = std::make_unique<TDbfTable>();
    t->setKeepInMemory({"CALLBACK"});
    t->setTableName(f.path);
    t->Open();
    // Record 6 moves into the range, record 3 out of it.
    t->GotoBookmark(6);
    t->Edit();
    t->SetAsDate("CALLBACK", QDate(2000, 2, 29));
    t->Post();
    t->GotoBookmark(3);
    t->Edit();
    t->SetAsDate("CALLBACK", QDate(2200, 1, 1));
    t->Post();
    std::vector<std::optional<QDate>> expected(std::begin(dates), std::end(dates));
    expected[5] = QDate(2000, 2, 29);
    expected[2] = QDate(2200, 1, 1);

    std::vector<std::optional<QDate>> seen;
    t->OnFilterRecord = [&](TDbfTable &r) {
        seen.push_back(r.AsDate("CALLBACK"));
        return true;
    };
    t->setFiltered(true);
    EXPECT_EQ(seen, expected);
}

// The view that passes every contact shares the live list; a record another
// program appended that fails the filter must still stay out of it.
TEST(DbfTable, AllPassingViewStillFiltersRecordsOthersAppend)
{
    ContactTableFixture f;
    f.add("Ann");
    f.add("Bob");
    bool onlyAnnAndNew = false;
    f.table->OnFilterRecord = [&](TDbfTable &r) {
        return !onlyAnnAndNew || r.AsString("NAME") != QLatin1String("Other");
    };
    f.table->setFiltered(true);
    ASSERT_EQ(f.table->VisibleCount(), 2);
    onlyAnnAndNew = true; // as a view's rule changes with the day

    auto other = f.openTable();
    other->Append();
    other->SetAsString("NAME", "Other");
    other->Post();
    other.reset();

    const Bookmark mine = f.add("Mine");
    EXPECT_EQ(mine, 4);
    std::vector<Bookmark> shown;
    for (qint64 i = 0; i < f.table->VisibleCount(); ++i)
        shown.push_back(f.table->VisibleAt(i));
    EXPECT_EQ(shown, (std::vector<Bookmark>{1, 2, 4}));
}

namespace {

// Records N1..Nn, those in due with today's callback date, those in deleted
// deleted; then the table is closed.
void makeNumbered(ContactTableFixture &f, int n, const QSet<int> &due, const QSet<int> &deleted)
{
    for (int i = 1; i <= n; ++i) {
        f.table->Append();
        f.table->SetAsString("NAME", "N" + QString::number(i));
        if (due.contains(i))
            f.table->SetAsDate("CALLBACK", f.te.clock.today());
        f.table->Post();
    }
    for (int i : deleted) {
        f.table->GotoBookmark(i);
        f.table->Delete();
    }
    f.table.reset();
}

} // namespace

// While the pass after open is held, the first records are listed and a
// view showing all, and the question whether any record is due, wait for
// nothing; a search issued once the pass runs again, and the views after
// it, give the whole table's answer.
TEST(DbfTable, TheFirstRecordsServeWhileThePassAfterOpenRuns)
{
    ContactTableFixture f;
    constexpr int kRecords = 5000;
    makeNumbered(f, kRecords, {10, 3000}, {100, 4000});
    std::promise<void> go;
    const std::shared_future<void> released = go.get_future().share();
    bool all = true;
    const QDate today = f.te.clock.today();
    TDbfTable t;
    auto release = qScopeGuard([&] { go.set_value(); });
    t.setKeepInMemory({"NAME", "CALLBACK"});
    t.setTableName(f.path);
    t.OnPassStart = [released] { released.wait(); };
    t.OnFilterRecord = [&](TDbfTable &r) { return all || r.AsDate("CALLBACK") == today; };
    t.OnFilterPassesAll = [&] { return all; };
    t.Open();

    EXPECT_TRUE(t.Loading());
    EXPECT_EQ(t.LoadedCount(), 2047); // the first 2048, less record 100
    EXPECT_EQ(t.GetBookmark(), 1);
    EXPECT_EQ(t.VisibleAt(99), 101);
    EXPECT_EQ(t.VisibleIndexOf(101), 99);
    EXPECT_EQ(t.VisibleIndexOf(100), -1);
    t.setFiltered(true);
    EXPECT_TRUE(t.Loading());
    EXPECT_EQ(t.LoadedCount(), 2047);
    EXPECT_EQ(t.GetBookmark(), 1);
    all = false;
    EXPECT_TRUE(t.AnyRecordPasses()); // record 10
    EXPECT_TRUE(t.Loading());

    release.dismiss();
    go.set_value();
    all = true;
    t.setFilter("NAME='n3*'"); // N3, N30.., N300.., N3000..N3999
    EXPECT_FALSE(t.Loading());
    EXPECT_EQ(t.VisibleCount(), 1111);
    t.setFilter("");
    all = false;
    t.setFiltered(false);
    t.setFiltered(true);
    EXPECT_EQ(t.VisibleCount(), 2);
    EXPECT_EQ(t.VisibleAt(1), 3000);
    all = true;
    t.setFiltered(false);
    t.setFiltered(true);
    EXPECT_EQ(t.VisibleCount(), kRecords - 2);
    EXPECT_EQ(t.VisibleAt(kRecords - 3), kRecords);
    EXPECT_EQ(t.VisibleIndexOf(4000), -1);
    EXPECT_EQ(t.VisibleIndexOf(4001), 3998);
    t.OnFilterRecord = [](TDbfTable &) { return false; };
    t.OnFilterPassesAll = nullptr;
    EXPECT_FALSE(t.AnyRecordPasses());
}

// Nothing due among the first records: the answer waits for the whole
// table. Closing or destroying a table while its pass runs loses nothing.
TEST(DbfTable, ClosingWhileThePassAfterOpenRunsIsSafe)
{
    ContactTableFixture f;
    constexpr int kRecords = 5000;
    makeNumbered(f, kRecords, {4500}, {});
    const QDate today = f.te.clock.today();
    {
        auto t = f.openTable();
        t->OnFilterRecord = [&](TDbfTable &r) { return r.AsDate("CALLBACK") == today; };
        EXPECT_TRUE(t->AnyRecordPasses());
        t->Close();
        t->Open();
        t->Edit();
        t->SetAsString("NAME", "First");
    } // destroyed with the pass running and an edit to post
    auto t = f.openTable();
    EXPECT_EQ(t->VisibleCount(), kRecords);
    EXPECT_EQ(t->AsString("NAME"), "First");
}
