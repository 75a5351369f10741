#include "TableTestSupport.h"

#include "contacts/DbfFormat.h"

#include <gtest/gtest.h>

namespace {

uint64_t memoBlockOf(const ContactTableFixture &f, Bookmark b)
{
    return dbf::decodeMemoBlock(f.recordBytes(b).constData() + 2068, 10);
}

void setNotes(TDbfTable &t, const QString &text)
{
    t.Edit();
    t.SetAsString("NOTES", text);
    t.Post();
}

} // namespace

TEST(MemoFile, TextInBlocksThenRewrittenInPlace)
{
    ContactTableFixture f;
    const Bookmark b = f.add("Memo");
    const QString long600 = QString(600, 'n');
    setNotes(*f.table, long600);
    EXPECT_EQ(f.recordBytes(b).mid(2068, 10), QByteArray("0000000001"));
    QByteArray dbt = readFileBytes(f.memoPath);
    ASSERT_EQ(dbt.size(), 3 * 512); // header + blocks 1 and 2
    EXPECT_EQ(dbf::readU32(dbt.constData()), 3u);
    EXPECT_EQ(dbt.mid(512, 4), QByteArray("\xFF\xFF\x08\x00", 4));
    EXPECT_EQ(dbf::readU32(dbt.constData() + 516), 608u);
    EXPECT_EQ(dbt.mid(520, 600), QByteArray(600, 'n'));
    EXPECT_EQ(dbt.mid(1120), QByteArray(3 * 512 - 1120, ' '));
    EXPECT_EQ(f.openTable()->AsString("NOTES"), long600);

    setNotes(*f.table, QString(100, 's'));
    dbt = readFileBytes(f.memoPath);
    EXPECT_EQ(dbt.size(), 3 * 512);
    EXPECT_EQ(memoBlockOf(f, b), 1u);
    EXPECT_EQ(dbf::readU32(dbt.constData() + 516), 108u);
    EXPECT_EQ(dbf::readU32(dbt.constData()), 3u);
    EXPECT_EQ(f.openTable()->AsString("NOTES"), QString(100, 's'));

    // Growing past its blocks moves it to fresh blocks; the old ones are not reused.
    setNotes(*f.table, QString(1200, 'g'));
    EXPECT_EQ(memoBlockOf(f, b), 3u);
    EXPECT_EQ(dbf::readU32(readFileBytes(f.memoPath).constData()), 6u);
    EXPECT_EQ(f.openTable()->AsString("NOTES"), QString(1200, 'g'));

    // Saved empty: ten zeros and no text.
    setNotes(*f.table, "");
    EXPECT_EQ(f.recordBytes(b).mid(2068, 10), QByteArray("0000000000"));
    EXPECT_EQ(f.openTable()->AsString("NOTES"), "");
}

TEST(MemoFile, MissingMemoFileReadsEmptyAndStoresNothing)
{
    ContactTableFixture f;
    f.add("A");
    setNotes(*f.table, "kept");
    f.table->Close();
    QFile::remove(f.memoPath);
    auto t = f.openTable();
    EXPECT_FALSE(t->HasMemoFile());
    EXPECT_EQ(t->AsString("NOTES"), "");
    const QByteArray before = f.recordBytes(1);
    t->Edit();
    t->SetAsString("NOTES", "lost");
    t->SetAsString("NAME", "B");
    t->Post();
    EXPECT_EQ(f.recordBytes(1).mid(2068, 10), before.mid(2068, 10));
    EXPECT_EQ(t->AsString("NAME"), "B");
    EXPECT_FALSE(QFile::exists(f.memoPath));
}

TEST(MemoFile, OlderStyleTextRunsToTheEndMarker)
{
    ContactTableFixture f;
    f.add("A");
    setNotes(*f.table, "x");
    f.table->Close();
    QByteArray dbt = readFileBytes(f.memoPath);
    dbt.replace(512, 20, QByteArray("old style\x1A\x1Atrailing", 20));
    writeFileBytes(f.memoPath, dbt);
    EXPECT_EQ(f.openTable()->AsString("NOTES"), "old style");
    // Without an end marker it reads to the end of the file.
    dbt = dbt.left(512) + QByteArray("no marker here");
    writeFileBytes(f.memoPath, dbt);
    EXPECT_EQ(f.openTable()->AsString("NOTES"), "no marker here");
}

TEST(DbfFile, HeaderCountIsCorrectedFromTheFileLength)
{
    ContactTableFixture f;
    f.add("A");
    f.add("B");
    f.table->Close();
    QByteArray bytes = f.bytes();
    dbf::writeU32(bytes.data() + 4, 7); // too many
    writeFileBytes(f.path, bytes);
    auto t = f.openTable();
    EXPECT_EQ(t->RecordCount(), 2);
    EXPECT_EQ(dbf::readU32(f.bytes().constData() + 4), 2u);
    t->Close();

    // A record written but not counted (writer killed before the header).
    bytes = f.bytes();
    dbf::writeU32(bytes.data() + 4, 1);
    bytes.chop(1); // no end marker either
    writeFileBytes(f.path, bytes);
    t = f.openTable();
    EXPECT_EQ(t->RecordCount(), 2);
    EXPECT_EQ(f.bytes().back(), 0x1A);
    t->Last();
    EXPECT_EQ(t->AsString("NAME"), "B");
}

TEST(DbfFile, OpensADbase3Table)
{
    // COMPNAME C 20, NAME C 10, DUR N 4, OK L 1, WHEN D 8, NOTES M 10.
    dbf::Layout l;
    l.version = dbf::kVersionDbase3Memo;
    l.lastUpdate = QDate(2001, 1, 1);
    l.headerCount = 1;
    l.languageDriver = 0;
    auto def = [](const char *n, FieldType t, int w) { return FieldDef{n, t, w, 0, 0}; };
    l.fields = {def("COMPNAME", FieldType::Character, 20), def("NAME", FieldType::Character, 10),
                def("DUR", FieldType::Number, 4),          def("OK", FieldType::Logical, 1),
                def("WHEN", FieldType::Date, 8),           def("NOTES", FieldType::Memo, 10)};
    QByteArray file = dbf::buildHeader(l);
    file += QByteArray(" ") + QByteArray("Caf\xE9").leftJustified(20, ' ') +
            QByteArray("Ann").leftJustified(10, ' ') + "  -5" + "t" + "20070305" + "         1" + "\x1A";
    TestEnvironment te;
    writeFileBytes(te.path("old.dbf"), file);
    QByteArray dbt(512, '\0');
    dbf::writeU32(dbt.data(), 2);
    dbt += QByteArray("dBase III memo\x1A\x1A").leftJustified(512, ' ');
    writeFileBytes(te.path("old.dbt"), dbt);

    TDbfTable t;
    t.setTableName(te.path("old.dbf"));
    t.Open();
    EXPECT_EQ(t.TableLevel(), 3);
    EXPECT_EQ(t.AsString("COMPNAME"), QString::fromUtf8("Café"));
    EXPECT_EQ(t.AsInteger("DUR"), -5);
    EXPECT_TRUE(t.AsBoolean("OK"));
    EXPECT_EQ(t.AsDate("WHEN"), QDate(2007, 3, 5));
    EXPECT_EQ(t.AsString("NOTES"), "dBase III memo");
    EXPECT_THROW(t.AsString("EMAIL"), EDbfError);

    // Memos of a dBase III table are written the dBase III way.
    t.Edit();
    t.SetAsString("NOTES", "new text");
    t.Post();
    t.Close();
    EXPECT_EQ(readFileBytes(te.path("old.dbf"))[0], char(0x83));
    const QByteArray after = readFileBytes(te.path("old.dbt"));
    EXPECT_EQ(after.mid(512, 10), QByteArray("new text\x1A\x1A"));
    t.Open();
    EXPECT_EQ(t.AsString("NOTES"), "new text");
}

TEST(CodePage, TextIsStoredInTheTablesCodePage)
{
    ContactTableFixture f;
    f.table->Append();
    f.table->SetAsString("NAME", QString::fromUtf8("Zoë €"));
    f.table->Post();
    EXPECT_EQ(f.recordBytes(1).mid(51, 6), QByteArray("Zo\xEB \x80 "));
    EXPECT_EQ(f.openTable()->AsString("NAME"), QString::fromUtf8("Zoë €"));
}
