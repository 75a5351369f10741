#include "tests/app/AppFixture.h"
#include "ui/CaptionedDBNavigator.h"
#include "ui/DBDateTimePicker.h"
#include "ui/Fonts.h"
#include "ui/RadioGroup.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusTipEvent>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using StartupTest = AppFixture;

TEST_F(StartupTest, FirstStartInAnEmptyFolderCreatesTheTableAndTheDatabaseKeys)
{
    start();
    EXPECT_TRUE(QFileInfo(folder() + "Template").isDir());
    EXPECT_EQ(QFileInfo(folder() + "contacdata.dbf").size(), 1762);
    EXPECT_EQ(QFileInfo(folder() + "contacdata.dbt").size(), 512);
    EXPECT_EQ(iniValue("Database", "Path"), folder());
    EXPECT_EQ(iniValue("Database", "Name"), "contacdata.dbf");
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.texts().join("|").toStdString();
    EXPECT_EQ(main->ViewIndex(), 0);
    EXPECT_EQ(main->rgView->ItemIndex(), 0);
    EXPECT_TRUE(main->dsTable().Active());
    EXPECT_TRUE(registry.frmSimpleNumbers->isVisible());
    EXPECT_FALSE(main->isVisible());
}

TEST_F(StartupTest, AConfiguredTableThatIsMissingFallsBackToTheDefault)
{
    struct Case {
        const char *label;
        QString path; // relative to the program folder; "<abs>" marks the folder itself
        QString name;
    };
    QDir(folder()).mkpath("other");
    makeTable({contact("Ann")});
    makeContactTable(folder() + "other/second.dbf", {contact("Zed")});
    const QList<Case> cases = {
        {"file gone", folder(), "gone.dbf"},
        // Path and Name are joined as they stand: no separator, no file.
        {"path without separator", folder() + "other", "second.dbf"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        DestroyWindows(registry);
        writeIni("Database", "Path", c.path);
        writeIni("Database", "Name", c.name);
        start();
        EXPECT_EQ(listed(), QStringList({"Ann"}));
        EXPECT_EQ(iniValue("Database", "Path"), folder());
        EXPECT_EQ(iniValue("Database", "Name"), "contacdata.dbf");
    }
    // With the separator the configured table is the one opened.
    DestroyWindows(registry);
    writeIni("Database", "Path", folder() + "other/");
    writeIni("Database", "Name", "second.dbf");
    start();
    EXPECT_EQ(listed(), QStringList({"Zed"}));
    EXPECT_EQ(iniValue("Database", "Path"), folder() + "other/");
}

TEST_F(StartupTest, TheReminderOffersTheContactsDueToday)
{
    makeTable({contact("Ann"), contact("Bob", today()), contact("Cy", today().addDays(-1)),
               contact("Dee", {}, {}, today())});
    for (MsgResult answer : {MsgResult::Yes, MsgResult::No}) {
        DestroyWindows(registry);
        dialogs.shown.clear();
        dialogs.answer(answer);
        start();
        ASSERT_EQ(dialogs.shown.size(), 1u);
        EXPECT_EQ(dialogs.shown[0].caption, "Callback reminder!");
        EXPECT_EQ(dialogs.shown[0].text,
                  "This is a callback reminder!\r\nYou have some calls, faxes or emails "
                  "scheduled for today.\r\nDo you wish to view the records?");
        EXPECT_EQ(dialogs.shown[0].buttons, MsgButtons::YesNo);
        EXPECT_EQ(dialogs.shown[0].icon, MsgIcon::Information);
        if (answer == MsgResult::Yes) {
            EXPECT_EQ(main->ViewIndex(), 4);
            EXPECT_EQ(main->rgView->ItemIndex(), 4);
            EXPECT_EQ(listed(), QStringList({"Bob", "Dee"}));
            EXPECT_EQ(registry.frmSimpleNumbers->DBGrid1->model()->rowCount(), 2);
            // Bob, due today, replaced Ann as the current contact.
            EXPECT_EQ(main->dbeCallback->Color(), QColor(0, 255, 0));
        } else {
            EXPECT_EQ(main->ViewIndex(), 0);
            EXPECT_EQ(listed(), QStringList({"Ann", "Bob", "Cy", "Dee"}));
        }
    }
}

TEST_F(StartupTest, NothingDueMeansNoReminder)
{
    makeTable({contact("Ann", today().addDays(1)), contact("Bob")});
    start();
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(main->ViewIndex(), 0);
    EXPECT_EQ(listed(), QStringList({"Ann", "Bob"}));
}

TEST_F(StartupTest, TheFirstContactIsSelectedInEitherSelectionMode)
{
    makeTable({contact("Ann"), contact("Bob")});
    // Default settings: "view before send" ticked, single selection.
    start();
    EXPECT_FALSE(main->DBGrid1->MultiSelect());
    ASSERT_EQ(main->SelectedContacts().size(), 1);
    EXPECT_EQ(main->dsTable().DisplayText(main->SelectedContacts()[0], "NAME"), "Ann");

    DestroyWindows(registry);
    writeIni("Email", "ViewBeforeSend", "0");
    start();
    EXPECT_TRUE(main->DBGrid1->MultiSelect());
    ASSERT_EQ(main->DBGrid1->SelectedRows().size(), 1);
    EXPECT_EQ(main->dsTable().DisplayText(main->SelectedContacts()[0], "NAME"), "Ann");
}

TEST_F(StartupTest, ATableThatCannotBeOpenedIsReportedAndTheNumberListStaysHidden)
{
    QFile f(folder() + "contacdata.dbf");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("this is not a table");
    f.close();
    start();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, ScriptedDialogs::Shown::Error);
    EXPECT_EQ(dialogs.shown[0].text, "Invalid DBF file.");
    EXPECT_FALSE(main->dsTable().Active());
    EXPECT_FALSE(registry.frmSimpleNumbers->isVisible());
}

TEST_F(StartupTest, ClosingTheMainWindowSavesTheSettingsAndEndsTheProgram)
{
    start();
    EXPECT_EQ(iniValue("Email", "ViewBeforeSend"), "<none>");
    main->close();
    EXPECT_EQ(iniValue("Email", "ViewBeforeSend"), "1");
    EXPECT_EQ(iniValue("PlayList", "Count"), "0");
    EXPECT_EQ(terminated, 1);
    EXPECT_FALSE(main->Timer1->isActive());
}

TEST_F(StartupTest, ExitAndTheSmallWindowsEndTheProgramWithoutSaving)
{
    const QList<QPair<const char *, std::function<void()>>> ends = {
        {"Exit", [this] { main->Exit1->trigger(); }},
        {"compact panel", [this] { registry.frmSimple->close(); }},
        {"number list", [this] { registry.frmSimpleNumbers->close(); }},
    };
    for (const auto &[end, action] : ends) {
        DestroyWindows(registry);
        registry.programEnding = false;
        terminated = 0;
        start();
        main->show();
        action();
        EXPECT_EQ(terminated, 1) << end;
        // Quitting closes whatever windows are still open.
        main->close();
        EXPECT_EQ(iniValue("Email", "ViewBeforeSend"), "<none>") << end;
    }
}

TEST_F(StartupTest, TheTopButtonSwapsThePanelForTheMainWindow)
{
    start();
    registry.frmSimple->btnMain->click();
    EXPECT_FALSE(registry.frmSimple->isVisible());
    EXPECT_FALSE(registry.frmSimpleNumbers->isVisible());
    EXPECT_TRUE(main->isVisible());
    EXPECT_EQ(terminated, 0);
}

TEST_F(StartupTest, PanelAndNumberListArePlacedSideBySide)
{
    const auto p = TfrmSimple::PlaceSideBySide({1024, 768}, {300, 192}, {555, 292});
    EXPECT_EQ(p.numberList, QPoint(82, 288));
    EXPECT_EQ(p.panel, QPoint(641, 288));
}

TEST_F(StartupTest, TheHintLineShowsTheLongHintOfAnyControl)
{
    start();
    QStatusTipEvent tip(main->DBGrid1->statusTip());
    QApplication::sendEvent(main->DBGrid1, &tip);
    EXPECT_EQ(main->StatusBar1->panelText(0), "Contact List , Please select from here");
    QStatusTipEvent twoPart("Dial|Dial the selected contact");
    QApplication::sendEvent(registry.frmSimple->btnDial, &twoPart);
    EXPECT_EQ(main->StatusBar1->panelText(0), "Dial the selected contact");
}

TEST_F(StartupTest, EveryControlFitsInsideItsWindow)
{
    start();
    for (QWidget *window : {static_cast<QWidget *>(main), static_cast<QWidget *>(registry.frmSimple),
                            static_cast<QWidget *>(registry.frmSimpleNumbers)}) {
        const QRect client = window == main ? main->centralWidget()->rect() : window->rect();
        QWidget *root = window == main ? main->centralWidget() : window;
        for (QWidget *child : root->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (child->isWindow())
                continue;
            EXPECT_TRUE(client.contains(child->geometry())) << child->objectName().toStdString();
        }
    }
    EXPECT_EQ(main->centralWidget()->size(), QSize(688, 598));
    EXPECT_EQ(registry.frmSimple->size(), QSize(292, 164));
    EXPECT_EQ(registry.frmSimpleNumbers->size(), QSize(547, 264));
}

TEST_F(StartupTest, NavigatorCaptionsFitTheirButtons)
{
    start();
    main->show(); // the layouts size the buttons once shown
    for (TCaptionedDBNavigator *nav : {main->DBNavigator1, main->DBNavigator2})
        for (QToolButton *b : nav->findChildren<QToolButton *>()) {
            // The style's frame takes a few pixels on each side.
            const int needed = b->fontMetrics().horizontalAdvance(b->text()) + 6;
            EXPECT_GE(b->width(), needed) << b->text().toStdString();
        }
}

// A desktop theme gives menus, message boxes and tool buttons fonts of their
// own, larger than the windows'; the program's font replaces them all.
TEST_F(StartupTest, MenusMessageBoxesAndFileDialogsShareTheWindowsFont)
{
    const QFont before = QApplication::font();
    QFont theme = before;
    theme.setPointSizeF(11);
    for (const char *cls : {"QMenu", "QMenuBar", "QMessageBox", "QToolButton", "QLabel"})
        QApplication::setFont(theme, cls);
    useProgramFont();
    start();
    const QFont window = main->font();
    QMenu menu;
    QMessageBox box;
    QFileDialog files(nullptr, {}, {}, {});
    QWidget *navButton = main->DBNavigator2->button(TCaptionedDBNavigator::nbCancel);
    for (QWidget *w : {static_cast<QWidget *>(&menu), static_cast<QWidget *>(main->menuBar()),
                       static_cast<QWidget *>(&box), static_cast<QWidget *>(&files), navButton}) {
        EXPECT_EQ(w->font().family(), window.family()) << w->metaObject()->className();
        EXPECT_EQ(w->font().pointSizeF(), window.pointSizeF()) << w->metaObject()->className();
    }
    QApplication::setFont(before);
}
