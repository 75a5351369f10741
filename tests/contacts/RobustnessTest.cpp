#include "TableTestSupport.h"

#include "contacts/DbfFormat.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// Reads every field of every visible record; what a hostile file must survive.
void readEverything(TDbfTable &t)
{
    const QStringList names = t.FieldNames();
    for (t.First(); !t.Eof(); t.Next()) {
        for (const QString &n : names) {
            (void)t.AsString(n);
            (void)t.AsInteger(n);
            (void)t.AsDate(n);
        }
        if (t.GetBookmark() == t.VisibleAt(t.VisibleCount() - 1))
            break;
    }
}

// Open must fail with "Invalid DBF file." or succeed and read safely.
void openHostile(const QString &path)
{
    TDbfTable t;
    t.setTableName(path);
    try {
        t.Open();
    } catch (const EDbfError &e) {
        EXPECT_EQ(e.text(), "Invalid DBF file.");
        return;
    }
    readEverything(t);
}

struct SmallTable : ContactTableFixture {
    SmallTable()
    {
        for (int i = 0; i < 3; ++i) {
            add("N" + QString::number(i));
            table->Edit();
            table->SetAsString("NOTES", QString(300 * (i + 1), QChar('a' + i)));
            table->Post();
        }
        table->Close();
    }
};

} // namespace

TEST(HostileFile, TruncatedAtEveryLength)
{
    SmallTable f;
    const QByteArray full = f.bytes();
    for (qsizetype n = 0; n < full.size(); n += (n < 100 ? 1 : n < 1800 ? 7 : 97)) {
        writeFileBytes(f.path, full.left(n));
        openHostile(f.path);
    }
    writeFileBytes(f.path, full);
    const QByteArray memo = readFileBytes(f.memoPath);
    for (qsizetype n = 0; n < memo.size(); n += 61) {
        writeFileBytes(f.memoPath, memo.left(n));
        openHostile(f.path);
    }
}

TEST(HostileFile, InconsistentHeaders)
{
    SmallTable f;
    const QByteArray good = f.bytes();
    struct Patch {
        const char *what;
        int offset;
        QByteArray bytes;
    } patches[] = {
        {"header size past the file", 8, QByteArray("\xFF\xFF", 2)},
        {"header size too small", 8, QByteArray("\x41\x00", 2)},
        {"header size not matching the descriptors", 8, QByteArray("\xE0\x06", 2)},
        {"record size larger than the fields", 10, QByteArray("\x37\x08", 2)},
        {"record size zero", 10, QByteArray("\x00\x00", 2)},
        {"no descriptor terminator", 1760, QByteArray("A", 1)},
        {"unknown version", 0, QByteArray("\x31", 1)},
        {"unknown field type", 32 + 11, QByteArray("X", 1)},
        {"field width zero", 32 + 16, QByteArray("\x00", 1)},
        {"empty field name", 32, QByteArray("\x00", 1)},
        {"huge record count", 4, QByteArray("\xFF\xFF\xFF\x7F", 4)},
    };
    for (const Patch &p : patches) {
        QByteArray bad = good;
        bad.replace(p.offset, p.bytes.size(), p.bytes);
        writeFileBytes(f.path, bad);
        SCOPED_TRACE(p.what);
        openHostile(f.path);
    }
    // More descriptors than the header holds: the terminator moved out.
    QByteArray bad = good;
    dbf::writeU16(bad.data() + 8, 1761 - 64);
    writeFileBytes(f.path, bad);
    TDbfTable t;
    t.setTableName(f.path);
    EXPECT_THROW(t.Open(), EDbfError);
}

TEST(HostileFile, MemoPointersAndLengthsBeyondTheFile)
{
    SmallTable f;
    QByteArray table = f.bytes();
    table.replace(1761 + 2068, 10, "9999999999");        // block past the end
    table.replace(1761 + 2102 + 2068, 10, "00000000x1"); // not a number
    writeFileBytes(f.path, table);
    QByteArray memo = readFileBytes(f.memoPath);
    dbf::writeU32(memo.data() + 512 * 2 + 4, 0xFFFFFFF0u); // length beyond the file
    writeFileBytes(f.memoPath, memo);
    auto t = f.openTable();
    EXPECT_EQ(t->AsString("NOTES"), "");
    t->Next();
    EXPECT_EQ(t->AsString("NOTES"), "");
    t->Next();
    const QString third = t->AsString("NOTES");
    EXPECT_TRUE(third.startsWith("ccc"));
    EXPECT_LE(third.size(), memo.size());

    // Writing a memo never lands on blocks the file already holds, even
    // when the header's next free block points back into them.
    dbf::writeU32(memo.data(), 1);
    writeFileBytes(f.memoPath, memo);
    t = f.openTable();
    t->Edit();
    t->SetAsString("NOTES", QString(2000, 'z'));
    t->Post();
    t->Last();
    EXPECT_TRUE(t->AsString("NOTES").startsWith("ccc"));
}

TEST(HostileFile, RandomBytesNeverCrash)
{
    SmallTable f;
    const QByteArray good = f.bytes();
    const QByteArray goodMemo = readFileBytes(f.memoPath);
    QRandomGenerator rng(20070305);
    for (int round = 0; round < 300; ++round) {
        QByteArray bad = good;
        QByteArray badMemo = goodMemo;
        for (int k = 0; k < 8; ++k) {
            QByteArray &target = (k % 4 == 3) ? badMemo : bad;
            const int pos =
                int(rng.bounded(quint32(k < 4 ? std::min<qsizetype>(1800, target.size()) : target.size())));
            target[pos] = char(rng.bounded(256));
        }
        writeFileBytes(f.path, bad);
        writeFileBytes(f.memoPath, badMemo);
        openHostile(f.path);
    }
}

// A writer process appends and edits records (with memos) until it is
// killed at a random moment; after each kill the table must open with every
// acknowledged record intact and the record in flight wholly old or new.
TEST(CrashSafety, WriterKilledAtRandomMoments)
{
    ContactTableFixture f;
    f.table->Close();
    // Record r at version v: NAME "r:v", LAST "v:r", NOTES of a length that
    // moves between fitting its blocks and needing fresh ones.
    auto memoFor = [](int r, int v) {
        return QString("%1/%2;").arg(r).arg(v).repeated(1 + (v * 37 + r) % 90);
    };
    std::map<int, int> acked; // record -> last acknowledged version
    QRandomGenerator rng(42);
    for (int round = 0; round < 40; ++round) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        const std::map<int, int> start = acked;
        const pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            TDbfTable t("writer");
            t.setTableName(f.path);
            t.Open();
            std::map<int, int> state = start;
            QRandomGenerator wr(quint32(round) + 1000);
            for (;;) {
                int r, v;
                if (state.empty() || wr.bounded(3) == 0) {
                    r = int(state.size()) + 1;
                    v = 0;
                    t.Append();
                } else {
                    r = int(wr.bounded(quint32(state.size()))) + 1;
                    v = state[r] + 1;
                    t.GotoBookmark(r);
                    t.Edit();
                }
                t.SetAsString("NAME", QString("%1:%2").arg(r).arg(v));
                t.SetAsString("LAST", QString("%1:%2").arg(v).arg(r));
                t.SetAsString("NOTES", memoFor(r, v));
                t.Post();
                state[r] = v;
                const int msg[2] = {r, v};
                if (write(fds[1], msg, sizeof msg) != sizeof msg)
                    _exit(1);
            }
        }
        close(fds[1]);
        usleep(useconds_t(rng.bounded(30000)));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        int msg[2];
        while (read(fds[0], msg, sizeof msg) == sizeof msg)
            acked[msg[0]] = msg[1];
        close(fds[0]);

        auto t = f.openTable();
        SCOPED_TRACE(round);
        ASSERT_GE(t->RecordCount(), qint64(acked.size()));
        ASSERT_LE(t->RecordCount(), qint64(acked.size()) + 1);
        for (qint64 r = 1; r <= t->RecordCount(); ++r) {
            t->GotoBookmark(r);
            const QStringList name = t->AsString("NAME").split(':');
            ASSERT_EQ(name.size(), 2) << "record " << r;
            const int v = name[1].toInt();
            EXPECT_EQ(name[0].toInt(), r);
            EXPECT_EQ(t->AsString("LAST"), QString("%1:%2").arg(v).arg(r)) << "record " << r;
            EXPECT_EQ(t->AsString("NOTES"), memoFor(int(r), v)) << "record " << r;
            const auto it = acked.find(int(r));
            if (it != acked.end()) {
                EXPECT_TRUE(v == it->second || v == it->second + 1) << "record " << r;
            }
            acked[int(r)] = v; // what the next writer starts from
        }
    }
}

TEST(Concurrency, TwoWritersAppendingLoseNoRecord)
{
    ContactTableFixture f;
    f.table->Close();
    constexpr int kEach = 300;
    auto writer = [&](const QString &tag) {
        TDbfTable t(tag);
        t.setTableName(f.path);
        t.Open();
        for (int i = 0; i < kEach; ++i) {
            t.Append();
            t.SetAsString("NAME", tag + QString::number(i));
            t.Post();
        }
    };
    std::thread a(writer, QString("a")), b(writer, QString("b"));
    a.join();
    b.join();
    auto t = f.openTable();
    ASSERT_EQ(t->RecordCount(), 2 * kEach);
    QSet<QString> names;
    for (qint64 i = 0; i < t->VisibleCount(); ++i)
        names.insert(t->DisplayText(t->VisibleAt(i), "NAME"));
    EXPECT_EQ(names.size(), 2 * kEach);
}

// Two programs editing different fields of one contact: each post writes
// the bytes it changed, so neither change is lost.
TEST(Concurrency, EditsOfDifferentFieldsOfOneRecordBothSurvive)
{
    ContactTableFixture f;
    f.add("Ann", "Old");
    auto other = f.openTable("other");
    f.table->Edit();
    other->Edit();
    f.table->SetAsString("NAME", "Anna");
    other->SetAsString("DT_WAVE5", "played");
    other->SetAsString("PHONE", "555-1");
    other->Post();
    f.table->Post();
    auto t = f.openTable("check");
    EXPECT_EQ(t->AsString("NAME"), "Anna");
    EXPECT_EQ(t->AsString("LAST"), "Old");
    EXPECT_EQ(t->AsString("PHONE"), "555-1");
    EXPECT_EQ(t->AsString("DT_WAVE5"), "played");
}

// A table closing while another program still has the table open leaves
// the journal file to it: the other one's next journalled post must land in
// the file a later open would replay, not in a removed one.
TEST(CrashSafety, JournalStaysWhileAnotherTableIsOpen)
{
    ContactTableFixture f;
    f.add("First");
    f.add("Second"); // straddles a page: an edit of both ends is journalled
    auto other = f.openTable("other");
    auto journalledEdit = [](TDbfTable &t, const QString &name, const QString &tail) {
        t.Last();
        t.Edit();
        t.SetAsString("NAME", name);
        t.SetAsString("DT_WAVE5", tail);
        t.Post();
    };
    journalledEdit(*other, "B", "b"); // the other one has the journal open
    journalledEdit(*f.table, "A", "a");
    f.table.reset();

    journalledEdit(*other, "Other name", "other tail");
    EXPECT_TRUE(readFileBytes(f.path + "-journal").contains("other tail"));
    other.reset(); // the last one out removes it
    EXPECT_FALSE(QFileInfo::exists(f.path + "-journal"));
}

TEST(LargeTable, OffsetsPastTwoGigabytesWork)
{
    ContactTableFixture f;
    f.table->Close();
    // A sparse file of a little over a million records (past 2 GiB).
    constexpr qint64 kRecords = 1030000;
    QByteArray head = f.bytes().left(1761);
    dbf::writeU32(head.data() + 4, uint32_t(kRecords));
    QFile file(f.path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.resize(1761 + kRecords * 2102 + 1));
    file.close();
    {
        int fd = ::open(QFile::encodeName(f.path).constData(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(pwrite(fd, head.constData(), head.size(), 0), head.size());
        QByteArray last(2102, ' ');
        last.replace(51, 4, "Last");
        ASSERT_EQ(pwrite(fd, last.constData(), last.size(), off_t(1761 + (kRecords - 1) * 2102)),
                  last.size());
        ::close(fd);
    }
    auto t = f.openTable();
    EXPECT_EQ(t->RecordCount(), kRecords);
    t->Last();
    EXPECT_EQ(t->GetBookmark(), kRecords);
    EXPECT_EQ(t->AsString("NAME"), "Last");
    t->Append();
    t->SetAsString("NAME", "Beyond");
    t->Post();
    EXPECT_EQ(t->GetBookmark(), kRecords + 1);
    t->Edit();
    t->SetAsString("NOTES", "memo of a big table");
    t->Post();
    auto again = f.openTable();
    again->Last();
    EXPECT_EQ(again->AsString("NAME"), "Beyond");
    EXPECT_EQ(again->AsString("NOTES"), "memo of a big table");
    EXPECT_EQ(QFileInfo(f.path).size(), 1761 + (kRecords + 1) * 2102 + 1);
}

// A post torn half-way (the journal complete, the record half written) is
// finished by the next open; a journal torn itself is ignored.
TEST(CrashSafety, TornPostIsRepairedFromTheJournal)
{
    ContactTableFixture f;
    f.add("First");
    f.add("Old name", "Old last"); // record 2 straddles a page: journaled
    const QByteArray oldBytes = f.bytes();
    f.table->Edit();
    f.table->SetAsString("NAME", "New name");
    f.table->SetAsString("DT_WAVE5", "new tail");
    f.table->Post();
    const QByteArray newBytes = f.bytes();
    QByteArray journal = readFileBytes(f.path + "-journal");
    ASSERT_GT(journal.size(), 1816 - 51); // the changed bytes, NAME to DT_WAVE5
    f.table.reset();                      // closes and removes the journal

    journal.replace(0, 4, "BVJ1"); // as it stood before it was marked done
    QByteArray torn = newBytes.left(1761 + 2102 + 1000) + oldBytes.mid(1761 + 2102 + 1000);
    writeFileBytes(f.path, torn);
    writeFileBytes(f.path + "-journal", journal);
    auto t = f.openTable();
    t->Last();
    EXPECT_EQ(t->AsString("NAME"), "New name");
    EXPECT_EQ(t->AsString("DT_WAVE5"), "new tail");
    t.reset();

    journal.chop(3); // the journal itself never finished: nothing replayed
    writeFileBytes(f.path, oldBytes);
    writeFileBytes(f.path + "-journal", journal);
    t = f.openTable();
    t->Last();
    EXPECT_EQ(t->AsString("NAME"), "Old name");
    EXPECT_EQ(t->AsString("DT_WAVE5"), "");
}

// Links planted in the table's folder under the names the table writes
// beside it are never followed: the file they point at stays as it was and
// the operator gets an error naming the link.
TEST(PlantedLink, CreationTemporaryNamesAreRefused)
{
    TestEnvironment te;
    const QString victim = te.path("victim.txt");
    writeFileBytes(victim, "precious");
    for (const char *tmp : {"contacdata.dbf.creating", "contacdata.dbt.creating"}) {
        SCOPED_TRACE(tmp);
        const QString link = te.path(tmp);
        ASSERT_EQ(::symlink(QFile::encodeName(victim).constData(), QFile::encodeName(link).constData()), 0);
        try {
            CreateContactTable(te.path("contacdata.dbf"), te.clock);
            ADD_FAILURE() << "created through a link";
        } catch (const EDbfError &e) {
            EXPECT_TRUE(e.text().contains("symbolic link")) << e.text().toStdString();
        }
        EXPECT_EQ(readFileBytes(victim), "precious");
        EXPECT_FALSE(QFileInfo::exists(te.path("contacdata.dbf")));
        EXPECT_TRUE(QFileInfo(link).isSymLink());
        QFile::remove(link);
    }
    // A plain leftover of an earlier creation that was cut short is no obstacle.
    writeFileBytes(te.path("contacdata.dbf.creating"), "half");
    CreateContactTable(te.path("contacdata.dbf"), te.clock);
    EXPECT_EQ(QFileInfo(te.path("contacdata.dbf")).size(), 1762);
}

TEST(PlantedLink, JournalNameIsNeverFollowed)
{
    ContactTableFixture f;
    f.add("First");
    f.add("Second"); // straddles a page: its edit goes through the journal
    const QString victim = f.te.path("victim.txt");
    writeFileBytes(victim, "precious");
    const QByteArray journal = QFile::encodeName(f.path + "-journal");
    QFile::remove(f.path + "-journal");
    ASSERT_EQ(::symlink(QFile::encodeName(victim).constData(), journal.constData()), 0);

    // GIVEN an open table WHEN a journalled post meets the link THEN it is refused
    f.table->Last();
    f.table->Edit();
    f.table->SetAsString("NAME", "Changed");
    f.table->SetAsString("DT_WAVE5", "tail");
    try {
        f.table->Post();
        ADD_FAILURE() << "posted through a link";
    } catch (const EDbfError &e) {
        EXPECT_TRUE(e.text().contains("symbolic link")) << e.text().toStdString();
    }
    f.table->Cancel();
    f.table.reset();
    EXPECT_EQ(readFileBytes(victim), "precious");

    // Opening with a link in the journal's place is refused as well.
    QFile::remove(f.path + "-journal");
    ASSERT_EQ(::symlink(QFile::encodeName(victim).constData(), journal.constData()), 0);
    try {
        f.openTable();
        ADD_FAILURE() << "opened with a link as journal";
    } catch (const EDbfError &e) {
        EXPECT_TRUE(e.text().contains("symbolic link")) << e.text().toStdString();
    }
    EXPECT_EQ(readFileBytes(victim), "precious");
}
