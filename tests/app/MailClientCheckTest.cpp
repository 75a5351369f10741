#include "platform/mail/MailAccount.h"
#include "platform/mail/MailClient.h"
#include "tests/app/AppFixture.h"

#include <QApplication>
#include <QPushButton>

using MailClientCheckTest = AppFixture;

// A fresh machine has the mail client: the start finds it and says nothing;
// without it the start reports it and goes on.
TEST_F(MailClientCheckTest, StartFindsTheMailClientOrReportsItMissing)
{
    makeTable({contact("Anna")});
    start();
    EXPECT_TRUE(main->OutlookAvailable);
    EXPECT_FALSE(dialogs.texts().contains("MAPI compatible Email client not found/active"));

    MailSettings(te.env->stateFolderFor("mail")).setInstalled(false);
    dialogs.shown.clear();
    registry.checkOutlook(0, QString());
    EXPECT_FALSE(main->OutlookAvailable);
    EXPECT_EQ(dialogs.texts(), QStringList{"MAPI compatible Email client not found/active"});

    // "Other ..": the external program's path is kept and nothing is looked for.
    dialogs.shown.clear();
    registry.checkOutlook(1, "/usr/bin/mutt");
    EXPECT_FALSE(main->OutlookAvailable);
    EXPECT_EQ(main->EmailHostProgram, "/usr/bin/mutt");
    EXPECT_TRUE(dialogs.texts().isEmpty());
}

TEST_F(MailClientCheckTest, ExportButtonPutsTheCurrentContactIntoTheMailClient)
{
    makeTable({contact("Anna"), contact("Bert")});
    start();
    main->setViewBeforeSend(true); // single selection
    main->dsTable().Last();
    dialogs.shown.clear();
    main->btnExportToOutlook->click();
    EXPECT_TRUE(dialogs.texts().isEmpty()) << dialogs.texts().join('|').toStdString();
    auto app = CreateOleObject("Outlook.Application", *te.env);
    auto contacts = app->GetNamespace("MAPI")->GetDefaultFolder(10);
    ASSERT_EQ(contacts->Items().Count(), 1);
    auto c = std::dynamic_pointer_cast<ContactItem>(contacts->Items().Item(1));
    EXPECT_EQ(c->FirstName(), "Bert");
    EXPECT_EQ(c->BusinessTelephoneNumber(), "555-Bert");
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == "MailContactCard")
            delete w;
}
