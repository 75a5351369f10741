#include "tests/app/AppFixture.h"

#include <QTest>

class HistoryTest : public AppFixture {
protected:
    void SetUp() override { makeTable({contact("Ann"), contact("Bob"), contact("Cy"), contact("Dee")}); }
    RawTable raw() const { return RawTable(folder() + "contacdata.dbf"); }
    void multiSelect(const QList<int> &rows)
    {
        main->setViewBeforeSend(false);
        main->DBGrid1->ClearSelection();
        for (int r : rows) {
            main->dsTable().GotoBookmark(main->dsTable().VisibleAt(r));
            main->DBGrid1->setCurrentRowSelected(true);
        }
    }
    QString stamp() const { return TfrmMain::TimeStampText(te.clock.now()); }
};

TEST_F(HistoryTest, TheTimeStampIsDayMonthYearHoursMinutes)
{
    EXPECT_EQ(TfrmMain::TimeStampText(QDateTime(QDate(2007, 3, 5), QTime(9, 7))), "05-Mar-2007 09:07");
    EXPECT_EQ(TfrmMain::TimeStampText(QDateTime(QDate(2007, 12, 31), QTime(23, 59))), "31-Dec-2007 23:59");
}

TEST_F(HistoryTest, SingleSelectionStampsTheCurrentContact)
{
    start();
    main->dsTable().Next(); // Bob
    main->AddFaxHistory({"4711", "4712"});
    main->AddWaveHistory("/waves/hello.wav");
    main->AddEmailHistory();
    const RawTable r = raw();
    EXPECT_EQ(r.text(2, "TM_FAX1"), stamp());
    EXPECT_EQ(r.text(2, "DT_FAX1"), "4711");
    EXPECT_EQ(r.text(2, "TM_WAVE1"), stamp());
    EXPECT_EQ(r.text(2, "DT_WAVE1"), "/waves/hello.wav");
    EXPECT_EQ(r.text(2, "TM_EMAIL1"), stamp());
    EXPECT_EQ(r.field(2, "DT_EMAIL1"), QByteArray(25, ' '));
    EXPECT_EQ(r.text(1, "TM_FAX1"), "");
    EXPECT_EQ(r.text(3, "TM_FAX1"), "");
}

TEST_F(HistoryTest, ThreeSelectedContactsGetTheirOwnFaxIdsInFileOrder)
{
    start();
    multiSelect({3, 0, 2}); // selected out of order
    main->AddFaxHistory({"id-1", "id-2", "id-3"});
    const RawTable r = raw();
    EXPECT_EQ(r.text(1, "DT_FAX1"), "id-1");
    EXPECT_EQ(r.text(3, "DT_FAX1"), "id-2");
    EXPECT_EQ(r.text(4, "DT_FAX1"), "id-3");
    EXPECT_EQ(r.text(2, "TM_FAX1"), "");
    for (int rec : {1, 3, 4})
        EXPECT_EQ(r.text(rec, "TM_FAX1"), stamp());
    EXPECT_EQ(main->dsTable().AsString("NAME"), "Dee"); // the last one stamped
}

TEST_F(HistoryTest, MultipleSelectionWithNothingSelectedStampsNothing)
{
    start();
    multiSelect({});
    const QByteArray before = raw().bytes();
    main->AddEmailHistory();
    main->AddFaxHistory({"1"});
    main->AddWaveHistory("w.wav");
    EXPECT_EQ(raw().bytes(), before);
}

TEST_F(HistoryTest, CallSlotsFillThenShiftAndZeroDurationsLeaveTheField)
{
    start();
    QList<int> used;
    for (int i = 1; i <= 6; ++i)
        used << main->AddCallHistory(QDateTime(QDate(2007, 3, i), QTime(10, 0)), i == 2 ? 0 : i * 10);
    EXPECT_EQ(used, QList<int>({1, 2, 3, 4, 5, 5}));
    const RawTable r = raw();
    for (int s = 1; s <= 5; ++s)
        EXPECT_EQ(r.text(1, QString("TM_CALL%1").arg(s)),
                  TfrmMain::TimeStampText(QDateTime(QDate(2007, 3, s + 1), QTime(10, 0))));
    // After the shift slot 1 holds call 2, whose zero duration was never
    // written; the shift does not write it either, so slot 1 keeps call 1's.
    EXPECT_EQ(r.field(1, "DUR_CALL1"), "  10");
    EXPECT_EQ(r.field(1, "DUR_CALL2"), "  30");
    EXPECT_EQ(r.field(1, "DUR_CALL5"), "  60");
}

TEST_F(HistoryTest, AGapInTheSlotsIsFilledFirstAndEmptiesAreNotShiftedIn)
{
    start();
    main->dsTable().Edit();
    main->dsTable().SetAsString("TM_WAVE1", "A");
    main->dsTable().SetAsString("TM_WAVE3", "C");
    main->dsTable().SetAsString("TM_WAVE4", "D");
    main->dsTable().SetAsString("TM_WAVE5", "E");
    main->dsTable().Post();
    main->AddWaveHistory("x.wav");
    const RawTable r = raw();
    QStringList used;
    for (int s = 1; s <= 5; ++s)
        used << r.text(1, QString("TM_WAVE%1").arg(s));
    EXPECT_EQ(used, QStringList({"A", "C", "D", "E", stamp()}));
    EXPECT_EQ(r.text(1, "DT_WAVE5"), "x.wav");
}
