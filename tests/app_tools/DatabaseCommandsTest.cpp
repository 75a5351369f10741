#include "app/DatabaseCommands.h"
#include "tests/support/TestFiles.h"

#include "config/Settings.h"
#include "contacts/DbfTable.h"
#include "platform/profile/IniFile.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

// A table with two contacts (one with notes, so the memo file has content),
// open as the main window keeps it: folder with a trailing separator.
void makeTable(const QString &folder, const QString &name, const QString &company)
{
    CreateContactTable(folder + name);
    TDbfTable t;
    t.setFilePath(folder);
    t.setTableName(name);
    t.Open();
    for (const QString &who : {QStringLiteral("Ann"), QStringLiteral("Bob")}) {
        t.Append();
        t.SetAsString("COMPNAME", company);
        t.SetAsString("NAME", who);
        t.SetAsString("NOTES", who + " prefers calls after ten.\r\nSecond line.");
        t.Post();
    }
    t.Close();
}

class DatabaseCommandsTest : public ::testing::Test {
protected:
    TestEnvironment t;
    QString folder = t.programFolder() + "/";
    QString iniFile = folder + "Kestrun.ini";
    TDbfTable table;
    ScriptedDialogs dialogs;

    void SetUp() override
    {
        makeTable(folder, "contacdata.dbf", "Acme");
        table.setFilePath(folder);
        table.setTableName("contacdata.dbf");
        table.Open();
    }
};

TEST_F(DatabaseCommandsTest, BackupOffersTheBakNameAndCopiesBothFilesByteForByte)
{
    dialogs.answerFile(folder + "contacdata_bak.dbf");
    menuBackupClick(table, dialogs);

    ASSERT_EQ(dialogs.shown.size(), 1u); // the dialog, and no message after it
    const ScriptedDialogs::Shown &dlg = dialogs.shown[0];
    EXPECT_EQ(dlg.kind, ScriptedDialogs::Shown::Save);
    EXPECT_EQ(dlg.request.folder, folder);
    EXPECT_EQ(dlg.request.fileName, "contacdata_bak.dbf");
    EXPECT_EQ(dlg.request.defaultExt, "dbf");
    EXPECT_EQ(dlg.request.filter, "DBF files (*.dbf)|*.dbf|Any file (*.*)|*.*");
    EXPECT_TRUE(dlg.request.overwritePrompt);

    EXPECT_EQ(readBytes(folder + "contacdata_bak.dbf"), readBytes(folder + "contacdata.dbf"));
    EXPECT_EQ(readBytes(folder + "contacdata_bak.dbt"), readBytes(folder + "contacdata.dbt"));
    EXPECT_GT(readBytes(folder + "contacdata_bak.dbt").size(), 512);
    EXPECT_TRUE(table.Active());
    EXPECT_EQ(table.AsString("NAME"), "Ann"); // back at the first record
}

TEST_F(DatabaseCommandsTest, BackupOverTheLiveTableIsRefusedUntilCancelled)
{
    // The live table under three spellings, then its memo file, then cancel.
    const QStringList liveNames = {folder + "contacdata.dbf", t.programFolder() + "//contacdata.dbf",
                                   folder + "contacdata.dbt"};
    for (const QString &name : liveNames)
        dialogs.answerFile(name);
    dialogs.answerFile(std::nullopt);
    const QByteArray dbf = readBytes(folder + "contacdata.dbf");
    const QByteArray dbt = readBytes(folder + "contacdata.dbt");

    menuBackupClick(table, dialogs);

    ASSERT_EQ(dialogs.shown.size(), 7u); // dialog, warning, dialog, warning, dialog, warning, dialog
    for (int i : {1, 3, 5}) {
        EXPECT_EQ(dialogs.shown[i].text,
                  "Unable to overwrite main database.\r\nChoose another file name, please.");
        EXPECT_EQ(dialogs.shown[i].caption, "Warning!");
        EXPECT_EQ(dialogs.shown[i].icon, MsgIcon::Warning);
        EXPECT_EQ(dialogs.shown[i].buttons, MsgButtons::Ok);
    }
    EXPECT_EQ(dialogs.shown[6].kind, ScriptedDialogs::Shown::Save);
    EXPECT_EQ(readBytes(folder + "contacdata.dbf"), dbf);
    EXPECT_EQ(readBytes(folder + "contacdata.dbt"), dbt);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), (QStringList{"contacdata.dbf", "contacdata.dbt"}));
    EXPECT_TRUE(table.Active());
}

TEST_F(DatabaseCommandsTest, BackupReplacesAnExistingPair)
{
    writeBytes(folder + "old.dbf", "stale table");
    writeBytes(folder + "old.dbt", "stale memo");
    dialogs.answerFile(folder + "old.dbf");
    menuBackupClick(table, dialogs);
    EXPECT_EQ(readBytes(folder + "old.dbf"), readBytes(folder + "contacdata.dbf"));
    EXPECT_EQ(readBytes(folder + "old.dbt"), readBytes(folder + "contacdata.dbt"));
}

TEST_F(DatabaseCommandsTest, FailedBackupIsReportedAndTheTableIsOpenAgain)
{
    dialogs.answerFile(folder + "no such folder/copy.dbf");
    menuBackupClick(table, dialogs);
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[1].kind, ScriptedDialogs::Shown::Error);
    EXPECT_TRUE(dialogs.shown[1].text.startsWith("The backup is incomplete.\r\n"));
    EXPECT_TRUE(table.Active());
}

TEST_F(DatabaseCommandsTest, BackupOfAnUpperCaseTableCopiesTheMemoTheTableOpens)
{
    // GIVEN a table named as older programs wrote it: CLIENTS.DBF with CLIENTS.DBT
    table.Close();
    ASSERT_TRUE(QFile::rename(folder + "contacdata.dbf", folder + "CLIENTS.DBF"));
    ASSERT_TRUE(QFile::rename(folder + "contacdata.dbt", folder + "CLIENTS.DBT"));
    table.setTableName("CLIENTS.DBF");
    table.Open();
    ASSERT_TRUE(table.HasMemoFile());
    // WHEN it is backed up under the offered name
    dialogs.answerFile(folder + "CLIENTS_bak.dbf");
    menuBackupClick(table, dialogs);
    // THEN nothing is reported and the backup opens with every note
    EXPECT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(readBytes(MemoFilePath(folder + "CLIENTS_bak.dbf")), readBytes(folder + "CLIENTS.DBT"));
    TDbfTable backup;
    backup.setTableName(folder + "CLIENTS_bak.dbf");
    backup.Open();
    ASSERT_TRUE(backup.HasMemoFile());
    EXPECT_EQ(backup.AsString("NOTES"), "Ann prefers calls after ten.\r\nSecond line.");
}

TEST_F(DatabaseCommandsTest, BackupWithoutTheMemoFileIsReported)
{
    table.Close();
    ASSERT_TRUE(QFile::remove(folder + "contacdata.dbt"));
    table.Open();
    dialogs.answerFile(folder + "contacdata_bak.dbf");
    menuBackupClick(table, dialogs);
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[1].kind, ScriptedDialogs::Shown::Error);
    EXPECT_TRUE(dialogs.shown[1].text.startsWith("The backup is incomplete.\r\n"));
    EXPECT_TRUE(dialogs.shown[1].text.contains("contacdata.dbt"));
    EXPECT_TRUE(table.Active());
}

TEST_F(DatabaseCommandsTest, GetDatabaseSwitchesToAnotherFolderAndRecordsIt)
{
    const QString other = t.root.path() + "/elsewhere/";
    QDir().mkpath(other);
    makeTable(other, "clients.dbf", "Globex");
    dialogs.answerFile(other + "clients.dbf");

    menuGetDBClick(table, dialogs, iniFile, folder);

    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, ScriptedDialogs::Shown::Open);
    EXPECT_EQ(dialogs.shown[0].request.folder, folder);
    EXPECT_EQ(dialogs.shown[0].request.defaultExt, "dbf");
    EXPECT_EQ(dialogs.shown[0].request.filter, "DBF files (*.dbf)|*.dbf|Any file (*.*)|*.*");
    EXPECT_FALSE(dialogs.shown[0].request.mustExist);

    EXPECT_TRUE(table.Active());
    EXPECT_EQ(table.AsString("COMPNAME"), "Globex");
    const IniFile ini(iniFile);
    EXPECT_EQ(ini.ReadString("Database", "Path", ""), other);
    EXPECT_EQ(ini.ReadString("Database", "Name", ""), "clients.dbf");
    // The next start keeps it.
    const DatabaseLocation next = ResolveDatabaseLocation(ReadDatabaseSection(iniFile, folder), folder);
    EXPECT_EQ(next.joined(), other + "clients.dbf");
}

TEST_F(DatabaseCommandsTest, GetDatabaseOnANonTableRecordsItAndFailsWithTheTablesError)
{
    writeBytes(folder + "notes.dbf", "these are not contacts\r\n");
    dialogs.answerFile(folder + "notes.dbf");
    try {
        menuGetDBClick(table, dialogs, iniFile, folder);
        FAIL() << "no exception";
    } catch (const EDbfError &e) {
        EXPECT_EQ(e.text(), "Invalid DBF file.");
    }
    EXPECT_FALSE(table.Active());
    EXPECT_EQ(IniFile(iniFile).ReadString("Database", "Name", ""), "notes.dbf");

    dialogs.answerFile(folder + "typed.dbf");
    try {
        menuGetDBClick(table, dialogs, iniFile, folder);
        FAIL() << "no exception";
    } catch (const EDbfError &e) {
        EXPECT_EQ(e.text(), "Open: file not found: \"" + folder + "typed.dbf\".");
    }
    EXPECT_EQ(IniFile(iniFile).ReadString("Database", "Name", ""), "typed.dbf");
}

TEST_F(DatabaseCommandsTest, CancelledGetDatabaseChangesNothing)
{
    dialogs.answerFile(std::nullopt);
    menuGetDBClick(table, dialogs, iniFile, folder);
    EXPECT_TRUE(table.Active());
    EXPECT_EQ(table.FullPath(), folder + "contacdata.dbf");
    EXPECT_FALSE(QFile::exists(iniFile));
}

} // namespace
