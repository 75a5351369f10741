#include "config/Settings.h"

#include "contacts/DbfTable.h"
#include "platform/profile/IniFile.h"
#include "tests/support/TestEnvironment.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

class DatabaseSectionTest : public ::testing::Test {
protected:
    TestEnvironment t;
    QString folder = t.programFolder() + "/"; // as the program holds it
    QString iniFile = folder + "Kestrun.ini";
};

TEST_F(DatabaseSectionTest, ReadsDefaultsAndWritesBothKeys)
{
    DatabaseLocation loc = ReadDatabaseSection(iniFile, t.programFolder());
    EXPECT_EQ(loc.path, folder);
    EXPECT_EQ(loc.name, "contacdata.dbf");

    WriteDatabaseSection(iniFile, {"/srv/office/", "clients.dbf"});
    QFile f(iniFile);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "[Database]\r\nPath=/srv/office/\r\nName=clients.dbf\r\n");
    loc = ReadDatabaseSection(iniFile, t.programFolder());
    EXPECT_EQ(loc.joined(), "/srv/office/clients.dbf");
}

TEST_F(DatabaseSectionTest, MissingTableFallsBackToTheDefaultTable)
{
    // First start in an empty folder: the default table is created.
    DatabaseLocation loc = ResolveDatabaseLocation({folder, "clients.dbf"}, t.programFolder());
    EXPECT_EQ(loc.path, folder);
    EXPECT_EQ(loc.name, "contacdata.dbf");
    ASSERT_TRUE(QFile::exists(folder + "contacdata.dbf"));
    EXPECT_TRUE(QFile::exists(folder + "contacdata.dbt"));

    // An existing default table is used as it is.
    QFile dbf(folder + "contacdata.dbf");
    ASSERT_TRUE(dbf.open(QIODevice::ReadOnly));
    const QByteArray before = dbf.readAll();
    dbf.close();
    loc = ResolveDatabaseLocation({"/no/such/folder/", "clients.dbf"}, t.programFolder());
    EXPECT_EQ(loc.joined(), folder + "contacdata.dbf");
    ASSERT_TRUE(dbf.open(QIODevice::ReadOnly));
    EXPECT_EQ(dbf.readAll(), before);
}

TEST_F(DatabaseSectionTest, ConfiguredFileIsKeptOnlyWhenPathAndNameNameIt)
{
    QFile(folder + "x").remove();
    QFile other(folder + "clients.dbf");
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.close();
    CreateContactTable(folder + "contacdata.dbf");

    EXPECT_EQ(ResolveDatabaseLocation({folder, "clients.dbf"}, t.programFolder()).name, "clients.dbf");
    // Without its trailing separator the folder and name join into another name.
    EXPECT_EQ(ResolveDatabaseLocation({t.programFolder(), "clients.dbf"}, t.programFolder()).name,
              "contacdata.dbf");
    // A folder relative to wherever the program was started does not count.
    EXPECT_EQ(ResolveDatabaseLocation({"", "clients.dbf"}, t.programFolder()).name, "contacdata.dbf");
}

} // namespace
