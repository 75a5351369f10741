#include "tracking/EmailArchiveList.h"

#include "messaging/TOutlookConnect.h"
#include "platform/mail/MailClient.h"
#include "platform/mail/MailWindows.h"
#include "tests/platform/mail/MailTestSupport.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestEnvironment.h"
#include "tracking/MapiSentItems.h"
#include "tracking/MapiSession.h"

#include <QApplication>
#include <QLineEdit>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

namespace {

// The e-mail list over the local mail client's store, read through the
// window's own message store session.
class EmailArchiveListTest : public ::testing::Test {
protected:
    TestEnvironment t;
    ScriptedDialogs dialogs;
    EmailArchiveList list{*t.env, dialogs, std::make_unique<MapiSentItems>(*t.env)};

    ~EmailArchiveListTest() override
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (qobject_cast<MailComposeWindow *>(w))
                delete w;
    }

    // A mail the client delivered at `delivered`, as it keeps it in Sent Items.
    void sent(const QString &to, const QString &subject,
              const QDateTime &delivered = QDateTime(QDate(2007, 3, 5), QTime(9, 0), Qt::UTC))
    {
        MaildirStore store(t.env->stateFolderFor("mail"));
        MailMessage m;
        m.from = "office@brenvoy.test";
        m.to = to;
        m.subject = subject;
        m.body = "Hello";
        m.date = delivered;
        m.delivered = delivered;
        store.addMessage(StoreFolder::SentItems, Mime::build(m), {QString(), to, subject, delivered});
    }

    QList<MailComposeWindow *> composeWindows() const
    {
        QList<MailComposeWindow *> out;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *c = qobject_cast<MailComposeWindow *>(w); c && c->isVisible())
                out << c;
        return out;
    }
};

TEST_F(EmailArchiveListTest, MatchesTheAddressAnywhereInTheDisplayToTextIgnoringCase)
{
    sent("ann@example.com", "one");
    sent("Bob <bob@example.com>", "two");
    sent("'Ann Lee' <ANN@EXAMPLE.COM>", "three");
    sent("joann@example.com", "four"); // contains ann@example.com too
    sent("bob@example.com, ann@example.com", "five");

    list.Refresh("  Ann@Example.com\t");

    EXPECT_EQ(list.positions(), (QList<int>{0, 2, 3, 4}));
    EXPECT_EQ(list.count(), 4);
    EXPECT_EQ(list.text(), "Please select to view");

    // Again: the same list, not a doubled one.
    list.Refresh("ann@example.com");
    EXPECT_EQ(list.positions(), (QList<int>{0, 2, 3, 4}));
    EXPECT_TRUE(dialogs.texts().isEmpty());
}

TEST_F(EmailArchiveListTest, AnEmptyAddressListsNothing)
{
    sent("ann@example.com", "one");
    sent("", "no recipient");
    list.Refresh("   ");
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.text(), "");
}

TEST_F(EmailArchiveListTest, SentAtIsTheDeliveryTimeInUniversalTime)
{
    sent("ann@example.com", "late", QDateTime(QDate(2007, 3, 4), QTime(23, 45), Qt::UTC));
    // Nine hours east of Greenwich, where local time is already the 5th.
    const QByteArray oldTz = qgetenv("TZ");
    qputenv("TZ", "JST-9");
    tzset();
    list.Refresh("ann@example.com");
    qputenv("TZ", oldTz);
    tzset();
    EXPECT_EQ(list.entries(), QStringList{"Sent at 04-Mar-2007 23:45"});
}

TEST_F(EmailArchiveListTest, StopsAtTwoHundredEntriesInFolderOrderAndSaysSo)
{
    for (int i = 0; i < 205; ++i)
        sent(i == 3 ? "someone@else.com" : "ann@example.com", QString("mail %1").arg(i),
             QDateTime(QDate(2007, 3, 5), QTime(9, 0), Qt::UTC).addSecs(60 * i));
    list.Refresh("ann@example.com");
    EXPECT_EQ(list.count(), 200);
    EXPECT_EQ(list.positions().first(), 0);
    EXPECT_EQ(list.positions()[3], 4);
    EXPECT_EQ(list.positions().last(), 200);
    EXPECT_EQ(list.entries().last(), "Sent at 05-Mar-2007 12:20");
    EXPECT_EQ(dialogs.texts(), QStringList{"Only show first 200 entries.."});
}

TEST_F(EmailArchiveListTest, TheListIsTheOneReadAtTheFirstRefreshOfTheRun)
{
    sent("ann@example.com", "before");
    list.Refresh("ann@example.com");
    sent("ann@example.com", "after");
    list.Refresh("ann@example.com");
    EXPECT_EQ(list.count(), 1);

    list.Clear();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.text(), "Please Refresh first");
}

TEST_F(EmailArchiveListTest, NoMailClientLeavesTheListEmptyWithoutAMessage)
{
    sent("ann@example.com", "one");
    MailSettings(t.env->stateFolderFor("mail")).setInstalled(false);
    list.Refresh("ann@example.com");
    EXPECT_EQ(list.count(), 0);
    EXPECT_TRUE(dialogs.texts().isEmpty());
}

TEST_F(EmailArchiveListTest, ShowingOpensTheChosenMailAndAMissingOneIsReported)
{
    sent("ann@example.com", "first");
    sent("bob@example.com", "second");
    sent("ann@example.com", "third");
    list.Refresh("ann@example.com");

    list.Show(1);
    ASSERT_EQ(composeWindows().size(), 1);
    EXPECT_EQ(composeWindows()[0]->editSubject->text(), "third");
    EXPECT_TRUE(dialogs.texts().isEmpty());

    // The mail client's folder no longer has an item at that place.
    MaildirStore store(t.env->stateFolderFor("mail"));
    for (const MessageSummary &s : store.messages(StoreFolder::SentItems))
        store.removeMessage(StoreFolder::SentItems, s.id);
    list.Show(0);
    EXPECT_EQ(dialogs.texts(), QStringList{"Email not found in Sent items archive"});
    EXPECT_EQ(composeWindows().size(), 1);
}

TEST_F(EmailArchiveListTest, AMailClientThatCannotBeReachedGivesItsOwnError)
{
    sent("ann@example.com", "first");
    list.Refresh("ann@example.com");
    MailSettings(t.env->stateFolderFor("mail")).setInstalled(false);
    try {
        list.Show(0);
        FAIL() << "no error";
    } catch (const EOutlookError &e) {
        EXPECT_STREQ(e.what(), "Outlook registration failed");
    }
    EXPECT_TRUE(composeWindows().isEmpty());
}

// Mails sent through the mail client to an SMTP server on loopback: the
// list finds them in Sent Items at the time the server took them.
TEST_F(EmailArchiveListTest, MailsSentThroughTheClientAreListedAndShown)
{
    SmtpServer server({});
    ASSERT_GT(server.port(), 0);
    TOutlookConnect outlook(*t.env);
    outlook.setConnected(true);
    MailAccount a;
    a.host = "127.0.0.1";
    a.port = server.port();
    a.security = MailAccount::Security::None;
    a.fromAddress = "office@brenvoy.test";
    MailSettings(t.env->stateFolderFor("mail")).setAccount(a);
    for (const char *to : {"Ann Lee <ann@example.com>", "bob@example.com"}) {
        auto mail = outlook.NewMail(to);
        mail->setSubject(QString("Offer for ") + to);
        mail->client().autoDeliver = false;
        mail->Send();
    }
    t.clock.advance(15 * 60 * 1000);
    ASSERT_EQ(CreateOleObject("Outlook.Application", *t.env)->client().deliverNow().delivered, 2);
    outlook.setConnected(false);
    ASSERT_EQ(server.receivedCount(), 2);

    list.Refresh("ann@example.com");
    EXPECT_EQ(list.entries(), QStringList{"Sent at 05-Mar-2007 09:15"});
    list.Show(0);
    ASSERT_EQ(composeWindows().size(), 1);
    EXPECT_EQ(composeWindows()[0]->editSubject->text(), "Offer for Ann Lee <ann@example.com>");
}

} // namespace
