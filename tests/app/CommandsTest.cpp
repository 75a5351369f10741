#include "app/Tools.h"
#include "messaging/TFrmRichEditor.h"
#include "tests/app/AppFixture.h"
#include "ui/DBControls.h"
#include "ui/RadioGroup.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QPushButton>

namespace {
QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
} // namespace

class CommandsTest : public AppFixture {
protected:
    void SetUp() override
    {
        makeTable({contact("Ann"), contact("Bob")});
        writeIni("Email", "ViewBeforeSend", "0"); // multiple selection
        start();
    }
};

TEST_F(CommandsTest, BackupOffersTheBakNameAndCopiesBothFilesByteForByte)
{
    dialogs.answerFile(folder() + "contacdata_bak.dbf");
    main->menuBackup->trigger();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, ScriptedDialogs::Shown::Save);
    EXPECT_EQ(dialogs.shown[0].request.fileName, "contacdata_bak.dbf");
    EXPECT_EQ(QDir::cleanPath(dialogs.shown[0].request.folder), QDir::cleanPath(folder()));
    EXPECT_EQ(bytesOf(folder() + "contacdata_bak.dbf"), bytesOf(folder() + "contacdata.dbf"));
    EXPECT_EQ(bytesOf(folder() + "contacdata_bak.dbt"), bytesOf(folder() + "contacdata.dbt"));
    EXPECT_TRUE(main->dsTable().Active());
    EXPECT_EQ(listed(), QStringList({"Ann", "Bob"}));
    // The reopened table starts with no selected row.
    EXPECT_TRUE(main->SelectedContacts().isEmpty());
    EXPECT_TRUE(main->GroupBox1->isEnabled());
}

TEST_F(CommandsTest, BackupOverTheLiveTableIsRefusedUntilCancelled)
{
    const QByteArray before = bytesOf(folder() + "contacdata.dbf");
    dialogs.answerFile(folder() + "contacdata.dbf");
    dialogs.answerFile(std::nullopt);
    main->menuBackup->trigger();
    ASSERT_EQ(dialogs.shown.size(), 3u);
    EXPECT_EQ(dialogs.shown[1].caption, "Warning!");
    EXPECT_EQ(dialogs.shown[1].text,
              "Unable to overwrite main database.\r\nChoose another file name, please.");
    EXPECT_EQ(dialogs.shown[2].kind, ScriptedDialogs::Shown::Save);
    EXPECT_EQ(bytesOf(folder() + "contacdata.dbf"), before);
    EXPECT_TRUE(main->dsTable().Active());
}

TEST_F(CommandsTest, GetDatabaseSwitchesTablesAndKeepsTheView)
{
    QDir(folder()).mkpath("other");
    makeContactTable(folder() + "other/second.dbf", {contact("Zed", today()), contact("Yan")});
    main->rgView->setItemIndex(1);
    dialogs.answerFile(folder() + "other/second.dbf");
    main->menuGetDB->trigger();
    EXPECT_EQ(iniValue("Database", "Path"), folder() + "other/");
    EXPECT_EQ(iniValue("Database", "Name"), "second.dbf");
    EXPECT_EQ(listed(), QStringList({"Zed"}));
    EXPECT_EQ(main->editFirstName->text(), "Zed");

    // The next start opens it.
    DestroyWindows(registry);
    dialogs.answer(MsgResult::No);
    start();
    EXPECT_EQ(listed(), QStringList({"Zed", "Yan"}));
}

TEST_F(CommandsTest, GetDatabaseOnAFileThatIsNoTableLeavesItClosed)
{
    QFile f(folder() + "junk.dbf");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("junk");
    f.close();
    dialogs.answerFile(folder() + "junk.dbf");
    main->menuGetDB->trigger();
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[1].kind, ScriptedDialogs::Shown::Error);
    EXPECT_EQ(dialogs.shown[1].text, "Invalid DBF file.");
    EXPECT_FALSE(main->dsTable().Active());
    EXPECT_FALSE(main->GroupBox1->isEnabled());
    EXPECT_EQ(main->DBGrid1->model()->rowCount(), 0);
    EXPECT_EQ(iniValue("Database", "Name"), "junk.dbf");
}

TEST_F(CommandsTest, ScriptAndToolsGoThroughTheShell)
{
    main->btnScript->click();
    EXPECT_EQ(bytesOf(folder() + "script.rtf"), kEmptyCallScript);
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].file, "wordpad.exe");
    registry.frmSimple->btnScript->click(); // the compact panel runs the same
    EXPECT_EQ(shell.calls.size(), 2u);

    main->OpenFaxConsole1->trigger();
    EXPECT_EQ(dialogs.texts(), QStringList({"Fax Console not found !"}));
    shell.present.insert(shell.systemDirectory + "/sndvol32.exe");
    main->OpenVolumeControl1->trigger();
    EXPECT_EQ(shell.calls.size(), 3u);
}

TEST_F(CommandsTest, WithoutAnRtfEditorScriptOpensInTheProgramsOwnEditorReadyToType)
{
    registry.frmRichEditor->Editor->setPlainText("fax body");
    shell.result = ShellError::FileNotFound;
    main->btnScript->click();
    auto *editor = qobject_cast<TFrmRichEditor *>(registry.richTextDocumentWindow.data());
    ASSERT_NE(editor, nullptr);
    EXPECT_NE(editor, registry.frmRichEditor); // the fax body stays where it is
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(editor->FileName(), folder() + "script.rtf");
    EXPECT_FALSE(editor->Editor->isReadOnly());
    EXPECT_EQ(editor->Editor->toPlainText().trimmed(), "");

    editor->Editor->insertPlainText("Ask for the buyer.");
    editor->FileSave();
    EXPECT_TRUE(bytesOf(folder() + "script.rtf").contains("Ask for the buyer."));
    EXPECT_EQ(registry.frmRichEditor->Editor->toPlainText(), "fax body");

    // A second press shows the same window.
    main->btnScript->click();
    EXPECT_EQ(registry.richTextDocumentWindow.data(), editor);
}
