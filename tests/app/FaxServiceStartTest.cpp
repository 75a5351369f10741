#include "messaging/TFaxServer.h"
#include "tests/app/AppFixture.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QPushButton>

using FaxServiceStartTest = AppFixture;

TEST_F(FaxServiceStartTest, StartFindsTheInstalledServiceAndTheFaxObjectsAreMadeAtTheFirstSend)
{
    start();
    EXPECT_TRUE(main->FaxServiceAvailable);
    EXPECT_TRUE(dialogs.texts().isEmpty()) << dialogs.texts().join("|").toStdString();
    EXPECT_EQ(main->FaxServer(), nullptr);

    ASSERT_TRUE(main->PrepareFaxObjects());
    ASSERT_NE(main->FaxServer(), nullptr);
    EXPECT_TRUE(main->FaxServer()->DefaultInterface().Connected());
}

TEST_F(FaxServiceStartTest, StartWithoutTheServiceSaysSoAndGoesOn)
{
    shell.present.clear();
    start();
    EXPECT_FALSE(main->FaxServiceAvailable);
    EXPECT_EQ(dialogs.texts(), QStringList{"MS Fax not found/active"});
    EXPECT_TRUE(main->dsTable().Active());
}

TEST_F(FaxServiceStartTest, FaxHostControlsRunTheCheckThroughTheRegistry)
{
    start();
    ASSERT_TRUE(registry.checkFaxService);
    registry.checkFaxService(1, "/usr/bin/efax-gtk");
    EXPECT_FALSE(main->FaxServiceAvailable);
    EXPECT_EQ(main->FaxHostProgram(), "/usr/bin/efax-gtk");
    registry.checkFaxService(0, "");
    EXPECT_TRUE(main->FaxServiceAvailable);
    EXPECT_TRUE(dialogs.texts().isEmpty());
}

TEST_F(FaxServiceStartTest, AServiceThatCannotStartAtSendHidesSendFax)
{
    start();
    main->show();
    // The service's folder (made by the start-up check) is lost to a file.
    QDir(te.env->stateFolder() + "/fax").removeRecursively();
    writeBytes(te.env->stateFolder() + "/fax", "taken");
    EXPECT_FALSE(main->PrepareFaxObjects());
    EXPECT_FALSE(main->btnSendFax->isVisible());
    EXPECT_EQ(dialogs.texts(), QStringList{"Fax service not running or installed !"});
}
