#include "TableTestSupport.h"

#include "contacts/ContactLocate.h"
#include "contacts/ContactView.h"
#include "contacts/HistoryRotation.h"
#include "contacts/SearchExpression.h"

#include <gtest/gtest.h>

TEST(SearchExpression, BuildsAndParsesQuotedText)
{
    EXPECT_EQ(BuildSearchExpression("NAME", "smi*"), "NAME='smi*'");
    EXPECT_EQ(BuildSearchExpression("LAST", "O'Brien"), "LAST='O''Brien'");
    for (const QString &text : {QString("O'Brien"), QString("''"), QString(""), QString("a = 'b'")}) {
        const SearchExpression e = ParseSearchExpression(BuildSearchExpression("LAST", text));
        EXPECT_EQ(e.field, "LAST");
        EXPECT_EQ(e.text, text);
    }
    EXPECT_EQ(ParseSearchExpression("  NAME = 'x' ").text, "x");
    for (const char *bad : {"NAME", "NAME=x", "='x'", "NAME='x", "NAME='x' y", "NAME=='x'"})
        EXPECT_THROW(ParseSearchExpression(bad), EDbfError) << bad;
}

TEST(SearchExpression, StarTable)
{
    struct Case {
        const char *value, *text;
        bool match;
    } cases[] = {
        {"Smith", "smith", true},
        {"Smith", "smi", false},
        {"SMITHERS", "smi*", true},
        {"smi", "smi*", true},
        {"Osmi", "smi*", false},
        {"Johnson", "*son", true},
        {"Sonja", "*son", false},
        {"Dan", "*an*", true},
        {"Anne", "*an*", true},
        {"Bob", "*an*", false},
        {"", "*", true},
        {"anything", "*", true},
        {"Smith   ", "smith", true}, // trailing spaces of the field are ignored
        {" Smith", "smith", false},
        {"", "", true},
        {"x", "", false},
        {"Ärger", "ä*", true},
        {"straße", "STRASSE", false},
        {"O'Brien", "o'b*", true},
    };
    for (const Case &c : cases)
        EXPECT_EQ(SearchTextMatches(QString::fromUtf8(c.value), QString::fromUtf8(c.text)), c.match)
            << c.value << " ~ " << c.text;
}

TEST(ContactView, OnlyTodayIsDue)
{
    ContactTableFixture f;
    const QDate today(2007, 3, 5);
    struct Row {
        std::optional<QDate> callback, faxback, emailback;
    } rows[] = {
        {today.addDays(-1), {}, {}}, // overdue: not due
        {{}, {}, today},             // only e-mail-back
        {today, today.addDays(1), {}},
        {{}, {}, {}},
    };
    for (const Row &r : rows) {
        f.table->Append();
        f.table->SetAsDate("CALLBACK", r.callback);
        f.table->SetAsDate("FAXBACK", r.faxback);
        f.table->SetAsDate("EMAILBACK", r.emailback);
        f.table->Post();
    }
    auto listed = [&](int view) {
        QList<Bookmark> out;
        for (qint64 i = 0; i < f.table->VisibleCount(); ++i) {
            f.table->GotoBookmark(f.table->VisibleAt(i));
            if (ContactPassesView(*f.table, view, today))
                out << f.table->GetBookmark();
        }
        return out;
    };
    EXPECT_EQ(listed(ViewAll), (QList<Bookmark>{1, 2, 3, 4}));
    EXPECT_EQ(listed(ViewCallbackDue), (QList<Bookmark>{3}));
    EXPECT_EQ(listed(ViewFaxBackDue), (QList<Bookmark>{}));
    EXPECT_EQ(listed(ViewEmailBackDue), (QList<Bookmark>{2}));
    EXPECT_EQ(listed(ViewAnyDue), (QList<Bookmark>{2, 3}));
    EXPECT_FALSE(IsDueToday(std::nullopt, today));

    // As the table's record filter.
    f.table->OnFilterRecord = [&](TDbfTable &t) { return ContactPassesView(t, ViewAnyDue, today); };
    f.table->setFiltered(true);
    EXPECT_EQ(f.table->VisibleCount(), 2);
}

namespace {

QStringList slotValues(TDbfTable &t, const char *prefix)
{
    QStringList out;
    for (int i = 1; i <= 5; ++i)
        out << t.AsString(QString::fromLatin1(prefix) + QString::number(i));
    return out;
}

} // namespace

TEST(HistoryRotation, SixStampsFillThenShift)
{
    ContactTableFixture f;
    f.add("A");
    QList<int> got;
    for (int i = 1; i <= 6; ++i)
        got << ApplyHistoryRotation(*f.table, HistoryChannel::Wave, "s" + QString::number(i),
                                    "w" + QString::number(i));
    EXPECT_EQ(got, (QList<int>{1, 2, 3, 4, 5, 5}));
    auto t = f.openTable();
    EXPECT_EQ(slotValues(*t, "TM_WAVE"), (QStringList{"s2", "s3", "s4", "s5", "s6"}));
    EXPECT_EQ(slotValues(*t, "DT_WAVE"), (QStringList{"w2", "w3", "w4", "w5", "w6"}));
}

TEST(HistoryRotation, GapsAndEmptyValuesAreNotWritten)
{
    ContactTableFixture f;
    f.add("A");
    auto set = [&](const QStringList &fields, const QStringList &values) {
        f.table->Edit();
        for (int i = 0; i < fields.size(); ++i)
            f.table->SetAsString(fields[i], values[i]);
        f.table->Post();
    };
    // Slot 1 empty, 2 and 3 used: the entry goes to slot 1.
    set({"TM_FAX2", "TM_FAX3", "DT_FAX2"}, {"b", "c", "jb"});
    EXPECT_EQ(ApplyHistoryRotation(*f.table, HistoryChannel::Fax, "new", "j1"), 1);
    EXPECT_EQ(slotValues(*f.table, "TM_FAX"), (QStringList{"new", "b", "c", "", ""}));

    // A, empty, C, D, E: shifting does not write the empty T2 into slot 1.
    set({"TM_EMAIL1", "TM_EMAIL3", "TM_EMAIL4", "TM_EMAIL5", "DT_EMAIL1"}, {"A", "C", "D", "E", "keep"});
    EXPECT_EQ(ApplyHistoryRotation(*f.table, HistoryChannel::Email, "N", ""), 5);
    EXPECT_EQ(slotValues(*f.table, "TM_EMAIL"), (QStringList{"A", "C", "D", "E", "N"}));
    EXPECT_EQ(slotValues(*f.table, "DT_EMAIL"), (QStringList{"keep", "", "", "", ""}));

    // An empty job identifier keeps the companion field as it was.
    set({"DT_FAX4"}, {"old"});
    EXPECT_EQ(ApplyHistoryRotation(*f.table, HistoryChannel::Fax, "x", ""), 4);
    EXPECT_EQ(f.table->AsString("TM_FAX4"), "x");
    EXPECT_EQ(f.table->AsString("DT_FAX4"), "old");
}

TEST(HistoryRotation, CallDurations)
{
    ContactTableFixture f;
    f.add("A");
    EXPECT_EQ(ApplyCallHistoryRotation(*f.table, "t1", 0), 1);
    EXPECT_EQ(ApplyCallHistoryRotation(*f.table, "t2", 75), 2);
    EXPECT_EQ(ApplyCallHistoryRotation(*f.table, "t3", 12345), 3);
    const QByteArray rec = f.recordBytes(1);
    EXPECT_EQ(rec.mid(371, 4), QByteArray(4, ' ')); // zero seconds: left blank
    EXPECT_EQ(rec.mid(375, 4), QByteArray("  75"));
    EXPECT_EQ(rec.mid(379, 4), QByteArray("9999"));
    EXPECT_EQ(slotValues(*f.table, "TM_CALL"), (QStringList{"t1", "t2", "t3", "", ""}));

    // Shift with zero durations: the blank companions are not written over
    // the shifted values, so slot 1 keeps what was there.
    ApplyCallHistoryRotation(*f.table, "t4", 4);
    ApplyCallHistoryRotation(*f.table, "t5", 5);
    ApplyCallHistoryRotation(*f.table, "t6", 0);
    EXPECT_EQ(slotValues(*f.table, "TM_CALL"), (QStringList{"t2", "t3", "t4", "t5", "t6"}));
    QList<int> d;
    for (int i = 1; i <= 5; ++i)
        d << f.table->AsInteger("DUR_CALL" + QString::number(i));
    EXPECT_EQ(d, (QList<int>{75, 9999, 4, 5, 5}));
}

TEST(HistoryRotation, HookRunsBeforePostAndItsFailureCancels)
{
    ContactTableFixture f;
    f.add("A");
    int seen = 0;
    ApplyCallHistoryRotation(*f.table, "t1", 3, [&](const HistoryRotation &r) {
        seen = r.slot;
        EXPECT_EQ(f.table->State(), DatasetState::Edit);
    });
    EXPECT_EQ(seen, 1);
    EXPECT_THROW(
        ApplyCallHistoryRotation(*f.table, "t2", 3, [](const HistoryRotation &) { throw EDbfError("stop"); }),
        EDbfError);
    EXPECT_EQ(f.table->State(), DatasetState::Browse);
    EXPECT_EQ(f.openTable()->AsString("TM_CALL2"), "");
}

TEST(HistoryRotation, TimeStampFormat)
{
    EXPECT_EQ(HistoryTimeStamp(QDateTime(QDate(2007, 3, 5), QTime(9, 7))), "05-Mar-2007 09:07");
    EXPECT_EQ(HistoryTimeStamp(QDateTime(QDate(2007, 12, 31), QTime(23, 59))).size(), 17);
}

TEST(ContactLocate, PartialCaseInsensitiveFirstInFileOrder)
{
    ContactTableFixture f;
    auto add = [&](const char *n, const char *l, const char *e, const char *p, const char *x) {
        f.table->Append();
        f.table->SetAsString("NAME", n);
        f.table->SetAsString("LAST", l);
        f.table->SetAsString("EMAIL", e);
        f.table->SetAsString("PHONE", p);
        f.table->SetAsString("FAX", x);
        f.table->Post();
        return f.table->GetBookmark();
    };
    const Bookmark ann = add("Ann", "Smith", "ann@x.com", "555-1", "");
    const Bookmark ann2 = add("Annabel", "Smithers", "annabel@x.com", "555-2", "777");
    const Bookmark bob = add("Bob", "Jones", "", "", "");
    f.table->First();

    struct Case {
        QStringList v;
        Bookmark found;
    } cases[] = {
        {{"ann", "smith", "", "", ""}, ann},     // equal ignoring case, empty matches anything
        {{"ANNA", "", "", "", ""}, ann2},        // field starts with the value
        {{"Ann", "Smith", "", "", "777"}, ann2}, // FAX decides
        {{"Bob", "Jones", "b@", "", ""}, 0},     // field empty, value not
        {{"Annabelle", "", "", "", ""}, 0},      // value longer than the field
        {{"", "", "", "555", ""}, ann},
    };
    for (const Case &c : cases) {
        f.table->First();
        const bool found = LocateContact(*f.table, c.v[0], c.v[1], c.v[2], c.v[3], c.v[4]);
        EXPECT_EQ(found, c.found != 0) << c.v.join('|').toStdString();
        if (found) {
            EXPECT_EQ(f.table->GetBookmark(), c.found) << c.v.join('|').toStdString();
        }
    }

    // Deleted records and records the filter hides are skipped; a changed
    // record is found by its new values only.
    f.table->GotoBookmark(ann);
    f.table->Delete();
    EXPECT_TRUE(LocateContact(*f.table, "ann", "", "", "", ""));
    EXPECT_EQ(f.table->GetBookmark(), ann2);
    f.table->OnFilterRecord = [](TDbfTable &t) { return t.AsString("LAST") != "Smithers"; };
    f.table->setFiltered(true);
    EXPECT_FALSE(LocateContact(*f.table, "ann", "", "", "", ""));
    f.table->setFiltered(false);
    f.table->GotoBookmark(bob);
    f.table->Edit();
    f.table->SetAsString("NAME", "Robert");
    f.table->Post();
    EXPECT_FALSE(LocateContact(*f.table, "bob", "jones", "", "", ""));
    EXPECT_TRUE(LocateContact(*f.table, "rob", "jones", "", "", ""));
    EXPECT_EQ(f.table->GetBookmark(), bob);
    const Bookmark carl = add("Carl", "", "", "", "");
    EXPECT_TRUE(LocateContact(*f.table, "carl", "", "", "", ""));
    EXPECT_EQ(f.table->GetBookmark(), carl);
}

TEST(ContactLocate, TrimsBlanksAndControlCharacters)
{
    EXPECT_EQ(TrimContactValue(" \t\r\nAnn Lee\x01 "), "Ann Lee");
    EXPECT_EQ(TrimContactValue("\x02\x03"), "");
}
