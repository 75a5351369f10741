#include "messaging/FaxServiceAccess.h"
#include "messaging/MessageSending.h"
#include "messaging/TOutlookConnect.h"
#include "platform/mail/MailClient.h"
#include "tests/app_tools/RecordingShell.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestFiles.h"

#include <QApplication>
#include <QDir>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

const QList<SendContact> kThree = {{"Ann", "Ash", "ann@example.com", "+1 555 0101"},
                                   {"", "Birch", "birch@example.com", "555-0102"},
                                   {"Cy", "Cedar", "cy@example.com", "555 0103"}};

// GIVEN the local mail client in a temporary state folder and the
// operator's dialogs.
class EmailSendingTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->objectName().startsWith("Mail"))
                delete w;
        EXPECT_TRUE(dialogs.allAnswersUsed());
    }
    EmailSending::Input input(const QString &subject = "Offer", QStringList body = {"Line one", "Line two"})
    {
        EmailSending::Input in;
        in.outlookAvailable = true;
        in.email.subject = subject;
        in.email.body = std::move(body);
        in.email.viewBeforeSend = false;
        return in;
    }
    int send(const EmailSending::Input &in, const QList<SendContact> &contacts)
    {
        SendRecipients r{contacts, [this](int i) { moves << i; }, {}};
        return EmailSending({dialogs, &shell}).SendEmail(in, &outlook, r, [this] { ++stamped; });
    }
    // The mail client keeps a body's lines, not their break characters.
    static QString lines(const QString &body) { return QString(body).replace("\r\n", "\n"); }
    QList<std::shared_ptr<MailItem>> outbox()
    {
        TOutlookConnect c(*te.env);
        c.setConnected(true);
        QList<std::shared_ptr<MailItem>> out;
        const std::shared_ptr<MailFolder> folder = c.OutboxFolder();
        MailItems &items = folder->Items();
        for (int i = 1; i <= items.Count(); ++i)
            out << std::dynamic_pointer_cast<MailItem>(items.Item(i));
        return out;
    }
    int composeWindows() const
    {
        int n = 0;
        for (QWidget *w : QApplication::topLevelWidgets())
            n += w->objectName() == "MailComposeWindow" && w->isVisible();
        return n;
    }

    TestEnvironment te;
    ScriptedDialogs dialogs;
    RecordingShell shell;
    TOutlookConnect outlook{*te.env};
    QList<int> moves;
    int stamped = 0;
};

TEST_F(EmailSendingTest, OneMailPerContactInTheOutboxThenOneStampAndTheCount)
{
    const QString attachment = te.path("prices.txt");
    writeBytes(attachment, "price list");
    EmailSending::Input in = input();
    in.email.addFirstName = true;
    in.email.addAttachment = true;
    in.email.attachmentFile = attachment;

    EXPECT_EQ(send(in, kThree), 3);

    const auto mails = outbox();
    ASSERT_EQ(mails.size(), 3);
    EXPECT_EQ(mails[0]->To(), "ann@example.com");
    EXPECT_EQ(mails[0]->Subject(), "Offer");
    EXPECT_EQ(lines(mails[0]->Body()), "Ann,\n\nLine one\nLine two\n");
    // An empty first name still opens the body with the comma.
    EXPECT_EQ(lines(mails[1]->Body()), ",\n\nLine one\nLine two\n");
    ASSERT_EQ(mails[2]->message().attachments.size(), 1);
    EXPECT_EQ(mails[2]->message().attachments[0].fileName, "prices.txt");
    EXPECT_EQ(moves, (QList<int>{0, 1, 2}));
    EXPECT_EQ(stamped, 1);
    EXPECT_EQ(dialogs.texts(), QStringList{"3 mail(s) send to Outbox Folder"});
    EXPECT_FALSE(outlook.Connected());
}

TEST_F(EmailSendingTest, TemplateAndSelectionEdges)
{
    // No contact selected: nothing made, the count says 0, the stamp still runs.
    EXPECT_EQ(send(input(), {}), 0);
    EXPECT_EQ(dialogs.texts(), QStringList{"0 mail(s) send to Outbox Folder"});
    EXPECT_EQ(stamped, 1);

    // A blank subject is only a warning; a missing attachment is left out.
    dialogs.shown.clear();
    EmailSending::Input in = input(" \t ");
    in.email.addFirstName = false;
    in.email.addAttachment = true;
    in.email.attachmentFile = te.path("gone.pdf");
    EXPECT_EQ(send(in, kThree.mid(0, 1)), 1);
    EXPECT_EQ(dialogs.texts(),
              (QStringList{"Email template subject empty", "1 mail(s) send to Outbox Folder"}));
    EXPECT_EQ(lines(outbox().last()->Body()), "Line one\nLine two\n");
    EXPECT_TRUE(outbox().last()->message().attachments.isEmpty());

    // No body: nothing is made and nothing stamped.
    dialogs.shown.clear();
    stamped = 0;
    EXPECT_EQ(send(input("Offer", {}), kThree), 0);
    EXPECT_EQ(dialogs.texts(), QStringList{"Email template message body empty"});
    EXPECT_EQ(stamped, 0);
    EXPECT_EQ(outbox().size(), 1);
}

TEST_F(EmailSendingTest, AMailTheClientRefusesEndsTheCommandWithoutStamp)
{
    QList<SendContact> contacts = kThree;
    contacts[1].email.clear();
    EXPECT_THROW(send(input(), contacts), std::exception);
    EXPECT_EQ(outbox().size(), 1); // handed over before the refusal, and kept
    EXPECT_EQ(stamped, 0);
    EXPECT_TRUE(dialogs.texts().isEmpty());
    EXPECT_FALSE(outlook.Connected());
}

TEST_F(EmailSendingTest, ViewBeforeSendOpensEachMailAndStillStamps)
{
    EmailSending::Input in = input();
    in.email.viewBeforeSend = true;
    EXPECT_EQ(send(in, kThree.mid(0, 2)), 2);
    EXPECT_EQ(composeWindows(), 2);
    EXPECT_TRUE(dialogs.texts().isEmpty());
    EXPECT_EQ(stamped, 1);
}

TEST_F(EmailSendingTest, WithoutTheMailClientOnlyTheOtherProgramStarts)
{
    EmailSending::Input in = input();
    in.outlookAvailable = false;
    EXPECT_EQ(send(in, kThree), 0);
    EXPECT_EQ(dialogs.texts(), QStringList{"Email host prog not found"});

    in.emailHostProgram = "/opt/mail/mailer";
    shell.present << in.emailHostProgram;
    dialogs.shown.clear();
    EXPECT_EQ(send(in, kThree), 0);
    EXPECT_TRUE(dialogs.texts().isEmpty());
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].file, "/opt/mail/mailer");
    EXPECT_EQ(shell.calls[0].verb, "open");
    EXPECT_EQ(stamped, 0);
    EXPECT_TRUE(outbox().isEmpty());
}

// GIVEN the local fax service, installed, in a temporary state folder.
class FaxSendingTest : public ::testing::Test {
protected:
    FaxSendingTest() { shell.present << shell.systemDirectory + "/fxscomex.dll"; }
    FaxSending::Input input()
    {
        FaxSending::Input in;
        in.faxServiceAvailable = true;
        in.fax.bodyRtf = "{\\rtf1\\ansi Our offer\\par}";
        in.editorHasLines = true;
        in.templateFolder = te.programFolder();
        in.programFileName = "brenvoy";
        return in;
    }
    int send(const FaxSending::Input &in, const QList<SendContact> &contacts)
    {
        SendRecipients r{contacts, {}, {}};
        return FaxSending({dialogs, &shell})
            .SendFax(
                in, access, [this] { ++hidden; }, r, [this](const QStringList &ids) { stamps << ids; });
    }
    ::FaxDocument &document() { return access.FaxDocument()->DefaultInterface(); }
    // Jobs waiting or sent.
    size_t jobCount()
    {
        FaxFolders &folders = access.FaxServer()->Folders();
        size_t n = folders.OutgoingQueue().GetJobs().size();
        auto sent = folders.OutgoingArchive().GetMessages(0);
        for (sent->MoveFirst(); !sent->AtEOF(); sent->MoveNext())
            ++n;
        return n;
    }

    TestEnvironment te;
    ScriptedDialogs dialogs;
    RecordingShell shell;
    FaxServiceAccess access{*te.env, &shell, dialogs};
    QList<QStringList> stamps;
    int hidden = 0;
};

TEST_F(FaxSendingTest, TwoSendsCarryOnlyTheirOwnRecipientsAndStampTheJobIds)
{
    EXPECT_EQ(send(input(), kThree), 3);
    ASSERT_EQ(stamps.size(), 1);
    EXPECT_EQ(stamps[0].size(), 3);
    EXPECT_EQ(dialogs.texts(), QStringList{"3 fax(es) sent to Fax server queue"});
    EXPECT_EQ(document().Body(), QDir(te.programFolder()).filePath("template.rtf"));
    EXPECT_EQ(readBytes(document().Body()), input().fax.bodyRtf);
    EXPECT_EQ(document().DocumentName(), "Fax document sent from brenvoy");
    EXPECT_EQ(document().CoverPageType(), 2);
    EXPECT_EQ(document().CoverPage(), "generic");

    FaxSending::Input second = input();
    second.fax.coverPage = 0;
    EXPECT_EQ(send(second, kThree.mid(1, 1)), 1);
    ASSERT_EQ(document().Recipients().Count(), 1);
    EXPECT_EQ(document().Recipients().Item(1).FaxNumber, "555-0102");
    EXPECT_EQ(document().Recipients().Item(1).Name, " Birch");
    EXPECT_EQ(document().CoverPageType(), 0);
    EXPECT_EQ(document().CoverPage(), "generic"); // kept from the last send
    ASSERT_EQ(stamps.size(), 2);
    EXPECT_EQ(stamps[1].size(), 1);
    EXPECT_FALSE(stamps[0].contains(stamps[1][0]));
    EXPECT_EQ(jobCount(), 4u);
}

TEST_F(FaxSendingTest, RefusalsSubmitNothing)
{
    struct Case {
        const char *what;
        std::function<void(FaxSending::Input &)> change;
        QList<SendContact> contacts;
        QString message;
    };
    const QString missing = te.path("no such offer.pdf");
    const QList<Case> cases = {
        {"nobody selected", [](FaxSending::Input &) {}, {}, "Please select recipient from the grid "},
        {"empty editor", [](FaxSending::Input &in) { in.editorHasLines = false; }, kThree,
         "Fax template is empty , please fill it first"},
        {"missing external file",
         [&](FaxSending::Input &in) {
             in.fax.faxSource = 1;
             in.fax.sourceFile = missing;
         },
         kThree, "Fax source file : < " + missing + " > not found"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        dialogs.shown.clear();
        FaxSending::Input in = input();
        c.change(in);
        EXPECT_EQ(send(in, c.contacts), 0);
        EXPECT_EQ(dialogs.texts(), QStringList{c.message});
        EXPECT_TRUE(stamps.isEmpty());
        EXPECT_EQ(jobCount(), 0u);
    }
}

TEST_F(FaxSendingTest, AnExternalFileTheServiceCannotRenderFailsWithItsPath)
{
    const QString program = te.path("tool.bin");
    writeBytes(program, QByteArray("\x7f"
                                   "ELF\x02\x01\x01",
                                   7) +
                            QByteArray(200, '\0'));
    FaxSending::Input in = input();
    in.fax.faxSource = 1;
    in.fax.sourceFile = program;
    EXPECT_EQ(send(in, kThree), 0);
    EXPECT_EQ(dialogs.texts(),
              QStringList{"Faxing file : " + program + " fail... , check if it is a correct document type"});
    EXPECT_TRUE(stamps.isEmpty());
}

TEST_F(FaxSendingTest, APastLaterMomentIsSubmittedAsItStands)
{
    FaxSending::Input in = input();
    in.fax.schedule = 1;
    in.fax.scheduleDate = QDate(2007, 3, 4);
    in.fax.scheduleTime = QTime(8, 0);
    in.fax.subject = "Prices";
    in.fax.note = "Call back";
    EXPECT_EQ(send(in, kThree.mid(0, 1)), 1);
    EXPECT_EQ(document().ScheduleType(), 1);
    EXPECT_EQ(document().ScheduleTime(), QDateTime(QDate(2007, 3, 4), QTime(8, 0)));
    EXPECT_EQ(document().Subject(), "Prices");
    EXPECT_EQ(document().Note(), "Call back");
}

TEST_F(FaxSendingTest, WithoutTheServiceOnlyTheOtherProgramStarts)
{
    FaxSending::Input in = input();
    in.faxServiceAvailable = false;
    EXPECT_EQ(send(in, kThree), 0);
    EXPECT_EQ(dialogs.texts(), QStringList{"Fax host prog not found"});
    EXPECT_TRUE(stamps.isEmpty());
}

} // namespace
