#include "contacts/AddContactIfNew.h"
#include "messaging/OutlookCommands.h"
#include "messaging/TfrmOutlookContact.h"
#include "platform/mail/MailClient.h"
#include "platform/mail/MailWindows.h"
#include "tests/import/ContactTableFixture.h"
#include "tests/support/ScriptedDialogs.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QTableWidget>

namespace {

// GIVEN a contact table and the local mail client in a temporary state
// folder, with the main window's flag and host path.
class OutlookExchangeTest : public ContactTableFixture {
protected:
    void TearDown() override
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->objectName().startsWith("Mail"))
                delete w;
    }
    MailSettings mailSettings() { return MailSettings(env.env->stateFolderFor("mail")); }
    void addMailContact(const QString &first, const QString &last, const QString &phone = {},
                        const QString &fax = {}, const QString &email = {})
    {
        TOutlookConnect c(*env.env);
        c.setConnected(true);
        auto item = c.NewContact();
        item->setFirstName(first);
        item->setLastName(last);
        item->setBusinessTelephoneNumber(phone);
        item->setBusinessFaxNumber(fax);
        item->setEmail1Address(email);
        item->setBusinessAddress("1 Main St");
        item->Save();
    }
    int mailContactCount()
    {
        TOutlookConnect c(*env.env);
        c.setConnected(true);
        return c.ContactCount();
    }
    template <typename W> QList<W *> shown()
    {
        QList<W *> out;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *x = qobject_cast<W *>(w); x && x->isVisible())
                out << x;
        return out;
    }

    ScriptedDialogs dialogs;
    bool available = false;
    QString hostProgram;
    OutlookCommands commands{*env.env, dialogs, available, hostProgram};
};

struct CheckCase {
    const char *name;
    bool installed;
    int hostSelection;
    bool available;
    QStringList messages;
};

TEST_F(OutlookExchangeTest, CheckOutlookReportsAMissingClientUnlessAnotherProgramIsChosen)
{
    const CheckCase cases[] = {
        {"installed, default client", true, 0, true, {}},
        {"missing, default client", false, 0, false, {"MAPI compatible Email client not found/active"}},
        {"missing, other program", false, 1, false, {}},
        {"installed, other program", true, 1, false, {}},
    };
    for (const CheckCase &c : cases) {
        mailSettings().setInstalled(c.installed);
        dialogs.shown.clear();
        available = !c.available;
        commands.CheckOutlook(c.hostSelection, "/usr/bin/thunderbird");
        EXPECT_EQ(available, c.available) << c.name;
        EXPECT_EQ(hostProgram, "/usr/bin/thunderbird") << c.name;
        EXPECT_EQ(dialogs.texts(), c.messages) << c.name;
    }
    EXPECT_NE(commands.connection(), nullptr); // made by the first successful check
}

TEST_F(OutlookExchangeTest, ConnectionOperationsRaiseTheirTexts)
{
    TOutlookConnect c(*env.env);
    const std::pair<const char *, std::function<void()>> unconnected[] = {
        {"ContactsFolder", [&] { c.ContactsFolder(); }},  {"ContactCount", [&] { c.ContactCount(); }},
        {"ContactItem", [&] { c.ContactItem(1); }},       {"NewContact", [&] { c.NewContact(); }},
        {"DisplayContact", [&] { c.DisplayContact(1); }}, {"NewMail", [&] { c.NewMail("a@example.test"); }},
        {"OutboxFolder", [&] { c.OutboxFolder(); }},      {"SentItemsFolder", [&] { c.SentItemsFolder(); }},
    };
    for (const auto &[name, op] : unconnected) {
        try {
            op();
            ADD_FAILURE() << name << " did not raise";
        } catch (const EOutlookError &e) {
            EXPECT_STREQ(e.what(), "No connection to outlook") << name;
        }
    }

    int connects = 0, disconnects = 0;
    c.OnConnect = [&] { ++connects; };
    c.OnDisConnect = [&] { ++disconnects; };
    c.setConnected(true);
    EXPECT_TRUE(c.Connected());
    EXPECT_EQ(c.ContactCount(), 0);
    auto expectText = [](const std::function<void()> &op, const char *text) {
        try {
            op();
            ADD_FAILURE() << "no error, expected " << text;
        } catch (const EOutlookError &e) {
            EXPECT_STREQ(e.what(), text);
        }
    };
    expectText([&] { c.ContactItem(1); }, "Cannot import Item");
    expectText([&] { c.DisplayContact(1); }, "Cannot display contact");
    auto mail = c.NewMail("buyer@example.test");
    EXPECT_EQ(mail->To(), "buyer@example.test");
    expectText([&] { c.AttachFile(*mail, env.path("missing.pdf")); }, "Cannot access mail");
    c.setConnected(false);
    EXPECT_EQ(connects, 1);
    EXPECT_EQ(disconnects, 1);

    c.setOLEObject("Outlook.Application.NotThere");
    expectText([&] { c.setConnected(true); }, "Outlook registration failed");
    c.setOLEObject("Outlook.Application");
    c.setOLENameSpace("IMAP");
    expectText([&] { c.setConnected(true); }, "Outlook registration failed");
    mailSettings().setInstalled(false);
    c.setOLENameSpace("MAPI");
    expectText([&] { c.setConnected(true); }, "Outlook registration failed");
    EXPECT_FALSE(c.Connected());
    EXPECT_EQ(connects, 1);
}

TEST_F(OutlookExchangeTest, ExportRefusesWithoutClientOrWithAWrongSelection)
{
    addRecord("Jonathan", "Smith");
    struct Case {
        bool available;
        bool multi;
        int selected;
        const char *message;
    } cases[] = {
        {false, false, 1, "Oulook currently is not activated"},
        {true, true, 2, "Only one selection of contact is allowed !"},
        {true, true, 0, "Please select one row of contact !"},
    };
    for (const Case &c : cases) {
        available = c.available;
        dialogs.shown.clear();
        commands.ExportCurrentContact(*table, c.multi, c.selected);
        EXPECT_EQ(dialogs.texts(), QStringList{c.message});
    }
    EXPECT_EQ(mailContactCount(), 0);
}

// Single selection exports the current contact with no question, and the
// new contact's card opens.
TEST_F(OutlookExchangeTest, ExportWritesTheCurrentContactAndOpensItsCard)
{
    addRecord("Anna", "Berg");
    addRecord("Jörg", "Weiß", "jw@example.test", "555-0100", "555-0199");
    table->Edit();
    table->SetAsString("COMPNAME", "Weiß & Co");
    table->SetAsString("NOTES", "Met at the fair");
    table->Post();
    addMailContact("Someone", "Else");
    commands.CheckOutlook(0, "");

    commands.ExportCurrentContact(*table, false, 5);
    EXPECT_TRUE(dialogs.texts().isEmpty()) << dialogs.texts().join('|').toStdString();
    ASSERT_EQ(mailContactCount(), 2);
    TOutlookConnect c(*env.env);
    c.setConnected(true);
    auto item = c.ContactItem(2);
    EXPECT_EQ(item->card(), (ContactCard{item->card().uid, "Jörg", "Weiß", "Weiß & Co", "", "jw@example.test",
                                         "555-0100", "555-0199", "Met at the fair"}));
    const auto cards = shown<MailContactCard>();
    ASSERT_EQ(cards.size(), 1);
    EXPECT_EQ(cards[0]->editFirstName->text(), "Jörg");
    EXPECT_FALSE(commands.connection()->Connected());
}

TEST_F(OutlookExchangeTest, ExportFindsAnExistingContactByNameFaxAndPhoneOnly)
{
    addMailContact("JONATHAN ", "smith", "555-0100", "\t555-0101", "old@example.test");
    commands.CheckOutlook(0, "");
    struct Case {
        const char *name;
        QStringList record; // NAME, LAST, EMAIL, PHONE, FAX
        bool exists;
    } cases[] = {
        {"differs only in e-mail", {"Jonathan", "Smith", "new@example.test", "555-0100", "555-0101"}, true},
        {"letter case and blanks", {" jonathan", "SMITH", "", "555-0100 ", "555-0101"}, true},
        {"another fax", {"Jonathan", "Smith", "", "555-0100", "555-0102"}, false},
        {"a first-name prefix is no match here", {"Jon", "Smith", "", "555-0100", "555-0101"}, false},
    };
    for (const Case &c : cases) {
        addRecord(c.record[0], c.record[1], c.record[2], c.record[3], c.record[4]);
        const int before = mailContactCount();
        dialogs.shown.clear();
        commands.ExportCurrentContact(*table, false, 1);
        EXPECT_EQ(mailContactCount() - before, c.exists ? 0 : 1) << c.name;
        EXPECT_EQ(dialogs.texts(),
                  c.exists ? QStringList{"This contact data is already exist in current contact list"}
                           : QStringList{})
            << c.name;
    }
}

TEST_F(OutlookExchangeTest, ContactListFillsRowsAndImportsTheSelectedRange)
{
    addRecord("Jonathan", "Smith", "js@example.test");
    addMailContact("jon", "", "", "", ""); // only a first name: a prefix of Jonathan
    addMailContact("", "", "", "", "");    // nothing at all
    addMailContact("Maria", "Lopez", "555-0200", "555-0201", "ml@example.test");
    addMailContact("Not", "Selected");
    int added = 0;
    TfrmOutlookContact frm(
        *env.env, dialogs,
        [&](const QString &f, const QString &l, const QString &e, const QString &p, const QString &x) {
            ++added;
            AddContactIfNew(*table, f, l, e, p, x);
        });
    frm.FormShow();
    EXPECT_EQ(frm.StatusBar1->currentMessage(), "4 contacts found");
    ASSERT_EQ(frm.StringGrid1->rowCount(), 4);
    const QStringList row3{"3", "Maria", "Lopez", "1 Main St", "ml@example.test", "555-0200", "555-0201"};
    for (int col = 0; col < 7; ++col)
        EXPECT_EQ(frm.StringGrid1->item(2, col)->text(), row3[col]);
    EXPECT_TRUE(frm.list().connection().Connected());

    frm.StringGrid1->setRangeSelected(QTableWidgetSelectionRange(0, 0, 2, 6), true);
    frm.btnImportClick();
    EXPECT_EQ(added, 3);
    EXPECT_EQ(table->RecordCount(), 2); // only Maria is new
    EXPECT_EQ(table->AsString("NAME"), "Maria");
    EXPECT_EQ(table->AsString("FAX"), "555-0201");

    frm.StringGrid1->setCurrentCell(2, 0);
    frm.btnOpenContactClick();
    const auto cards = shown<MailContactCard>();
    ASSERT_EQ(cards.size(), 1);
    EXPECT_EQ(cards[0]->editLastName->text(), "Lopez");

    frm.FormClose();
    EXPECT_FALSE(frm.list().connection().Connected());
}

TEST_F(OutlookExchangeTest, ContactListOfAnEmptyFolderAndWithoutClient)
{
    TfrmOutlookContact frm(*env.env, dialogs, {});
    frm.FormShow();
    EXPECT_EQ(frm.StatusBar1->currentMessage(), "0 contacts found");
    EXPECT_EQ(frm.StringGrid1->rowCount(), 0);

    TfrmOutlookContact::execute(false, *env.env, dialogs, {}, nullptr);
    EXPECT_EQ(dialogs.texts(), QStringList{"Oulook currently is not activated / available"});
}

TEST_F(OutlookExchangeTest, FolderCommandsOpenTheClientsFolderWindows)
{
    commands.OpenOutboxFolder();
    EXPECT_EQ(dialogs.texts(), QStringList{"Oulook currently is not activated"});
    EXPECT_TRUE(shown<MailFolderWindow>().isEmpty());

    commands.CheckOutlook(0, "");
    commands.OpenOutboxFolder();
    commands.OpenContactFolder();
    const auto windows = shown<MailFolderWindow>();
    ASSERT_EQ(windows.size(), 2);
    QStringList titles;
    for (auto *w : windows)
        titles << w->windowTitle();
    titles.sort();
    EXPECT_EQ(titles, (QStringList{"Contacts - Mail", "Outbox - Mail"}));
    EXPECT_FALSE(commands.connection()->Connected());
    for (auto *w : windows) {
        if (w->windowTitle().startsWith("Outbox")) { // says why mail would wait
            EXPECT_EQ(w->lblStatus->text(), DeliveryAgent::noAccountText());
        }
    }

    // The client went away after the check: the connection's own text.
    mailSettings().setInstalled(false);
    EXPECT_THROW(commands.OpenContactFolder(), EOutlookError);
}

} // namespace
