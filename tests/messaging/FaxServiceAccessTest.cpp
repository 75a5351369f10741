#include "messaging/FaxServiceAccess.h"
#include "tests/app_tools/RecordingShell.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestFiles.h"
#include "ui/ScriptedDialogs.h"

#include <gtest/gtest.h>

namespace {

class FaxServiceAccessTest : public ::testing::Test {
protected:
    TestEnvironment t;
    RecordingShell shell;
    ScriptedDialogs dialogs;
    FaxServiceAccess fax{*t.env, &shell, dialogs};

    void install() { shell.present << shell.systemDirectory + "/fxscomex.dll"; }
    // The service cannot keep its files: its folder is taken by a file.
    void breakService() { writeBytes(FaxServer::faxFolder(*t.env), "not a folder"); }
};

TEST_F(FaxServiceAccessTest, CheckFindsTheInstalledServiceOrSaysItIsMissing)
{
    const struct {
        const char *what;
        bool installed, broken;
        int host;
        bool available;
        QStringList shown;
    } cases[] = {
        {"installed", true, false, 0, true, {}},
        {"library missing", false, false, 0, false, {"MS Fax not found/active"}},
        {"service cannot start", true, true, 0, false, {"MS Fax not found/active"}},
        {"other fax program chosen", false, false, 1, false, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TestEnvironment env;
        RecordingShell sh;
        ScriptedDialogs dl;
        if (c.installed)
            sh.present << sh.systemDirectory + "/fxscomex.dll";
        if (c.broken)
            writeBytes(FaxServer::faxFolder(*env.env), "x");
        FaxServiceAccess access(*env.env, &sh, dl);
        access.FaxServiceAvailable = !c.available;
        access.CheckFaxService(c.host, "/opt/fax/sendfax");
        EXPECT_EQ(access.FaxServiceAvailable, c.available);
        EXPECT_EQ(access.FaxHostProgram, "/opt/fax/sendfax");
        EXPECT_EQ(dl.texts(), c.shown);
    }
}

TEST_F(FaxServiceAccessTest, PrepareMakesTheObjectsOnceAndConnects)
{
    install();
    int hidden = 0;
    ASSERT_TRUE(fax.PrepareFaxObjects([&] { ++hidden; }));
    TFaxServer *server = fax.FaxServer();
    TFaxDocument *document = fax.FaxDocument();
    ASSERT_TRUE(server && document);
    EXPECT_TRUE(server->DefaultInterface().Connected());
    EXPECT_NO_THROW(server->Folders().OutgoingArchive());

    // The document keeps what the previous send set.
    (*document)->Recipients().Add("555-0101", "Ann Lee");
    ASSERT_TRUE(fax.PrepareFaxObjects([&] { ++hidden; }));
    EXPECT_EQ(fax.FaxServer(), server);
    EXPECT_EQ((*fax.FaxDocument())->Recipients().Count(), 1);
    EXPECT_EQ(hidden, 0);
    EXPECT_TRUE(dialogs.texts().isEmpty());
}

TEST_F(FaxServiceAccessTest, PrepareReportsAServiceThatCannotStartAndHidesSendFax)
{
    breakService();
    int hidden = 0;
    EXPECT_FALSE(fax.PrepareFaxObjects([&] { ++hidden; }));
    EXPECT_EQ(hidden, 1);
    EXPECT_EQ(fax.FaxServer(), nullptr);
    EXPECT_EQ(fax.FaxDocument(), nullptr);
    EXPECT_EQ(dialogs.texts(), QStringList{"Fax service not running or installed !"});
}

} // namespace
