#include "ui/DBControls.h"
#include "tests/ui/UiFixture.h"
#include "ui/CaptionedDBNavigator.h"
#include "ui/DBDateTimePicker.h"
#include "ui/HintLine.h"

#include <QApplication>
#include <QLabel>
#include <QStatusTipEvent>
#include <QTest>
#include <QToolButton>

class DBControlsTest : public UiFixture {
protected:
    void build()
    {
        open(names({"Ann", "Bob"}));
        form = std::make_unique<QWidget>();
        edit = new DBEdit(*source, "NAME", form.get());
        memo = new DBMemo(*source, "NOTES", form.get());
        memo->move(0, 30);
        check = new DBCheckBox(*source, "PERMISSION", "PERMISSION", form.get());
        check->move(0, 120);
        picker = new TDBDateTimePicker(*source, "CALLBACK", te.clock, form.get());
        picker->move(0, 150);
        other = new QLineEdit(form.get());
        other->move(0, 180);
        nav = new TCaptionedDBNavigator(
            *source, dialogs,
            {TCaptionedDBNavigator::nbFirst, TCaptionedDBNavigator::nbPrior, TCaptionedDBNavigator::nbNext,
             TCaptionedDBNavigator::nbLast, TCaptionedDBNavigator::nbInsert, TCaptionedDBNavigator::nbDelete,
             TCaptionedDBNavigator::nbEdit, TCaptionedDBNavigator::nbPost, TCaptionedDBNavigator::nbCancel},
            form.get());
        nav->move(0, 210);
        form->resize(500, 300);
        form->show();
        QApplication::setActiveWindow(form.get());
    }
    void press(TCaptionedDBNavigator::Button b) { nav->button(b)->click(); }
    bool enabled(TCaptionedDBNavigator::Button b) const { return nav->button(b)->isEnabled(); }
    // Focus moves as the operator's Tab would.
    void focusAwayFromPicker()
    {
        other->setFocus();
        QApplication::processEvents();
    }

    std::unique_ptr<QWidget> form;
    DBEdit *edit = nullptr;
    DBMemo *memo = nullptr;
    DBCheckBox *check = nullptr;
    TDBDateTimePicker *picker = nullptr;
    QLineEdit *other = nullptr;
    TCaptionedDBNavigator *nav = nullptr;
};

TEST_F(DBControlsTest, InputIsRefusedUntilEditIsPressed)
{
    build();
    EXPECT_EQ(edit->text(), "Ann");
    edit->setFocus();
    QTest::keyClicks(edit, "xyz");
    QTest::keyClicks(memo, "note");
    check->click();
    EXPECT_EQ(edit->text(), "Ann");
    EXPECT_EQ(memo->toPlainText(), "");
    EXPECT_FALSE(check->isChecked());
    EXPECT_EQ(raw().text(1, "NAME"), "Ann");
    EXPECT_EQ(raw().field(1, "PERMISSION"), " ");

    press(TCaptionedDBNavigator::nbEdit);
    edit->selectAll();
    QTest::keyClicks(edit, "Annie");
    QTest::keyClicks(memo, "call at noon");
    check->click();
    EXPECT_TRUE(check->isChecked());
    press(TCaptionedDBNavigator::nbPost);
    EXPECT_EQ(source->State(), DatasetState::Browse);
    const RawTable r = raw();
    EXPECT_EQ(r.field(1, "NAME"), QByteArray("Annie").leftJustified(50, ' '));
    EXPECT_EQ(r.field(1, "PERMISSION"), "T");
    EXPECT_NE(r.field(1, "NOTES"), QByteArray(10, ' '));
    EXPECT_EQ(table->AsString("NOTES"), "call at noon");
}

TEST_F(DBControlsTest, CancelDropsTheTypedValues)
{
    build();
    press(TCaptionedDBNavigator::nbEdit);
    edit->selectAll();
    QTest::keyClicks(edit, "Zed");
    press(TCaptionedDBNavigator::nbCancel);
    EXPECT_EQ(edit->text(), "Ann");
    EXPECT_EQ(raw().text(1, "NAME"), "Ann");
}

TEST_F(DBControlsTest, PickerIsBlankForAnEmptyDateAndShowsAStoredOne)
{
    build();
    EXPECT_TRUE(picker->Blank());
    EXPECT_EQ(picker->text(), "");
    EXPECT_EQ(picker->Date(), te.clock.now().date()); // the calendar opens on today
    table->Edit();
    table->SetAsDate("CALLBACK", QDate(2007, 3, 9));
    table->Post();
    source->notifyDataSetChanged();
    EXPECT_FALSE(picker->Blank());
    EXPECT_EQ(picker->text(), "3/9/2007"); // the short format, with the whole year
    table->Next();
    EXPECT_EQ(picker->text(), "");
}

TEST_F(DBControlsTest, PickedDateIsStoredOnlyDuringAnEdit)
{
    build();
    // Without Edit: the pick shows, but leaving the picker stores nothing.
    picker->setFocus();
    picker->pickDate(QDate(2007, 3, 20));
    EXPECT_EQ(picker->text(), "3/20/2007");
    focusAwayFromPicker();
    EXPECT_EQ(raw().field(1, "CALLBACK"), QByteArray(8, ' '));
    EXPECT_TRUE(picker->Blank());

    // With Edit: the date picked reaches the file on Save, even while the
    // picker still has the focus (navigator buttons take none).
    press(TCaptionedDBNavigator::nbEdit);
    picker->setFocus();
    picker->pickDate(QDate(2007, 3, 21));
    press(TCaptionedDBNavigator::nbPost);
    EXPECT_EQ(raw().field(1, "CALLBACK"), "20070321");
}

TEST_F(DBControlsTest, NavigatorEnablesItsButtonsByPositionAndState)
{
    using N = TCaptionedDBNavigator;
    build();
    EXPECT_FALSE(enabled(N::nbFirst));
    EXPECT_FALSE(enabled(N::nbPrior));
    EXPECT_TRUE(enabled(N::nbNext));
    EXPECT_TRUE(enabled(N::nbEdit));
    EXPECT_TRUE(enabled(N::nbDelete));
    EXPECT_FALSE(enabled(N::nbPost));
    press(N::nbLast);
    EXPECT_EQ(table->AsString("NAME"), "Bob");
    EXPECT_TRUE(enabled(N::nbPrior));
    EXPECT_FALSE(enabled(N::nbNext));
    EXPECT_FALSE(enabled(N::nbLast));
    press(N::nbEdit);
    EXPECT_FALSE(enabled(N::nbEdit));
    EXPECT_TRUE(enabled(N::nbPost));
    EXPECT_TRUE(enabled(N::nbCancel));
    EXPECT_TRUE(enabled(N::nbInsert));
    press(N::nbCancel);
    table->Close();
    for (N::Button b : {N::nbFirst, N::nbNext, N::nbInsert, N::nbEdit, N::nbDelete, N::nbPost})
        EXPECT_FALSE(enabled(b)) << b;
    EXPECT_EQ(nav->button(N::nbPrior)->text(), "Prior");
    EXPECT_EQ(nav->button(N::nbPrior)->statusTip(), "Prev record");
    EXPECT_EQ(nav->button(N::nbPost)->text(), "Save");
    EXPECT_EQ(nav->button(N::nbPost)->statusTip(), "Save changes");
}

TEST_F(DBControlsTest, NavigatorDeleteAsksAndInsertAppends)
{
    using N = TCaptionedDBNavigator;
    build();
    dialogs.answer(MsgResult::Cancel);
    press(N::nbDelete);
    ASSERT_EQ(dialogs.texts(), QStringList({"Delete a record?"}));
    EXPECT_FALSE(raw().deleted(1));
    dialogs.answer(MsgResult::Ok);
    press(N::nbDelete);
    EXPECT_TRUE(raw().deleted(1));
    EXPECT_EQ(edit->text(), "Bob");

    press(N::nbInsert);
    QTest::keyClicks(edit, "Cy");
    press(N::nbPost);
    EXPECT_EQ(raw().count(), 3);
    EXPECT_EQ(raw().text(3, "NAME"), "Cy");
}

namespace {
// A bound control whose write fails, to see what the navigator does with errors.
struct FailingLink : DataLink {
    void updateData() override { throw EDbfError("record locked"); }
};
} // namespace

TEST_F(DBControlsTest, NavigatorErrorsAreDiscardedSilently)
{
    build();
    FailingLink failing;
    source->addLink(&failing);
    press(TCaptionedDBNavigator::nbEdit);
    press(TCaptionedDBNavigator::nbPost);
    source->removeLink(&failing);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(source->State(), DatasetState::Edit); // as the failed step left it
}

TEST(ApplicationHintTest, LongHintIsThePartAfterTheBar)
{
    EXPECT_EQ(ApplicationHint::GetLongHint("Short|Long text"), "Long text");
    EXPECT_EQ(ApplicationHint::GetLongHint("Only one"), "Only one");
    EXPECT_EQ(ApplicationHint::GetLongHint("a|b|c"), "b|c");
    EXPECT_EQ(ApplicationHint::GetLongHint(""), "");
}

TEST(ApplicationHintTest, StatusTipsOfAnyWindowReachTheHandler)
{
    QStringList hints;
    auto hint = std::make_unique<ApplicationHint>([&](const QString &h) { hints << h; });
    QWidget a, b;
    QStatusTipEvent enter("First record"), leave("");
    QApplication::sendEvent(&a, &enter);
    QApplication::sendEvent(&b, &leave);
    EXPECT_EQ(hints, QStringList({"First record", ""}));
    hint.reset();
    QApplication::sendEvent(&a, &enter);
    EXPECT_EQ(hints.size(), 2);
}
