#include "platform/mail/MailClient.h"
#include "platform/mail/MailError.h"
#include "tests/platform/mail/MailTestSupport.h"
#include "tests/support/TestEnvironment.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTimeZone>
#include <sys/stat.h>

namespace {

const QString kSubject = QStringLiteral("Grüße aus Köln – Angebot für Ihr Büro");
const QString kAttachmentName = QStringLiteral("Angebot Müller.bin");

class MailClientTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        app = CreateOleObject("Outlook.Application", *te.env);
        app->client().autoDeliver = false;
        ns = app->GetNamespace("MAPI");
    }
    MailClient &client() { return app->client(); }
    std::shared_ptr<MailFolder> folder(int n) { return ns->GetDefaultFolder(n); }

    void configure(MailAccount::Security security, int port, const QString &user = {},
                   const QString &password = {}, const TestCa *ca = nullptr)
    {
        MailAccount a;
        a.host = security == MailAccount::Security::None ? "127.0.0.1" : "localhost";
        a.port = port;
        a.security = security;
        a.user = user;
        a.fromAddress = "office@brenvoy.test";
        a.caFile = ca ? ca->caFile() : QString();
        client().settings().setAccount(a);
        if (!password.isEmpty())
            client().secrets()->write(MailClient::passwordKey(), password);
    }

    std::shared_ptr<MailItem> queue(const QString &to, const QString &subject, const QString &body = "Hello")
    {
        auto mail = std::dynamic_pointer_cast<MailItem>(folder(4)->Items().Add());
        mail->setTo(to);
        mail->setSubject(subject);
        mail->setBody(body);
        return mail;
    }

    QByteArray attachmentBytes() const
    {
        QByteArray b;
        for (int i = 0; i < 5000; ++i)
            b += char(i * 7 % 256);
        return b;
    }

    TestEnvironment te;
    std::shared_ptr<MailApplication> app;
    std::shared_ptr<MailNamespace> ns;
};

struct ServerCase {
    const char *name;
    const char *mode;
    MailAccount::Security security;
    bool auth;
};

class DeliveryTest : public MailClientTest, public ::testing::WithParamInterface<ServerCase> {};

// GIVEN a mail with an attachment, a non-ASCII subject and body and a line
// longer than SMTP allows, WHEN delivered, THEN the server's copy reads back
// intact and the mail moves to Sent Items with its delivery time.
TEST_P(DeliveryTest, MailArrivesIntactAndMovesToSentItems)
{
    const ServerCase c = GetParam();
    TestCa ca;
    SmtpServer server({c.mode, c.auth ? "clerk:s3cret pass" : "", {}, &ca});
    ASSERT_GT(server.port(), 0);
    configure(c.security, server.port(), c.auth ? "clerk" : "", c.auth ? "s3cret pass" : "", &ca);

    QFile att(te.path(kAttachmentName));
    ASSERT_TRUE(att.open(QIODevice::WriteOnly));
    att.write(attachmentBytes());
    att.close();
    const QString longLine = QString(1500, QLatin1Char('x'));
    auto mail =
        queue("Jörg Weiß <joerg@example.test>", kSubject, "Sehr geehrter Herr Weiß,\n" + longLine + "\nEnde");
    mail->Attachments().Add(att.fileName());
    mail->Send();
    EXPECT_EQ(folder(4)->Items().Count(), 1);

    te.clock.advance(60000);
    const DeliveryReport r = client().deliverNow();
    const auto left = client().store().messages(StoreFolder::Outbox);
    EXPECT_EQ(r.delivered, 1)
        << (left.isEmpty() ? r.note : client().store().outboxStatus(left[0].id).reason).toStdString();
    ASSERT_EQ(server.receivedCount(), 1);
    const QJsonObject got = server.received(1);
    EXPECT_EQ(got["subject"].toString(), kSubject);
    EXPECT_EQ(got["rcpt"].toArray().first().toString(), "joerg@example.test");
    EXPECT_EQ(got["from"].toString(), "office@brenvoy.test");
    EXPECT_TRUE(got["body"].toString().contains("Herr Weiß,\n" + longLine + "\nEnde"))
        << got["body"].toString().left(80).toStdString();
    EXPECT_LE(got["max_line"].toInt(), 998);
    const QJsonArray attachments = got["attachments"].toArray();
    ASSERT_EQ(attachments.size(), 1);
    EXPECT_EQ(attachments[0].toArray()[0].toString(), kAttachmentName);
    EXPECT_EQ(attachments[0].toArray()[1].toString(),
              QCryptographicHash::hash(attachmentBytes(), QCryptographicHash::Sha1).toHex());

    EXPECT_EQ(folder(4)->Items().Count(), 0);
    ASSERT_EQ(folder(5)->Items().Count(), 1);
    auto sent = std::dynamic_pointer_cast<MailItem>(folder(5)->Items().Item(1));
    EXPECT_EQ(sent->Subject(), kSubject);
    EXPECT_EQ(sent->DeliveryTime().toSecsSinceEpoch(), te.clock.now().toSecsSinceEpoch());
    EXPECT_EQ(sent->message().attachments.value(0).data, attachmentBytes());
}

INSTANTIATE_TEST_SUITE_P(
    Servers, DeliveryTest,
    ::testing::Values(ServerCase{"Plain", "plain", MailAccount::Security::None, false},
                      ServerCase{"StartTlsWithLogin", "starttls", MailAccount::Security::StartTls, true},
                      ServerCase{"ImplicitTlsWithLogin", "tls", MailAccount::Security::Tls, true}),
    [](const auto &info) { return std::string(info.param.name); });

struct RefusalCase {
    const char *name;
    const char *expectedReason;
};

class RefusalTest : public MailClientTest, public ::testing::WithParamInterface<RefusalCase> {};

// A refused mail stays in the Outbox, marked refused with the reason.
TEST_P(RefusalTest, RefusedMailStaysInOutboxWithReason)
{
    const std::string name = GetParam().name;
    TestCa ca;
    SmtpServer server({"starttls", "clerk:right", {"nobody@example.test"}, &ca});
    ASSERT_GT(server.port(), 0);
    if (name == "WrongPassword")
        configure(MailAccount::Security::StartTls, server.port(), "clerk", "wrong", &ca);
    else if (name == "Unreachable")
        configure(MailAccount::Security::StartTls, 1, "clerk", "right", &ca);
    else if (name == "UntrustedCertificate")
        configure(MailAccount::Security::StartTls, server.port(), "clerk", "right", nullptr);
    else
        configure(MailAccount::Security::StartTls, server.port(), "clerk", "right", &ca);
    queue(name == "RefusedRecipient" ? "nobody@example.test" : "someone@example.test", "Offer")->Send();

    const DeliveryReport r = client().deliverNow();
    EXPECT_EQ(r.refused, 1);
    EXPECT_EQ(server.receivedCount(), 0);
    EXPECT_EQ(folder(5)->Items().Count(), 0);
    const QList<MessageSummary> outbox = client().store().messages(StoreFolder::Outbox);
    ASSERT_EQ(outbox.size(), 1);
    const OutboxStatus st = client().store().outboxStatus(outbox[0].id);
    EXPECT_EQ(st.state, OutboxState::Refused);
    EXPECT_TRUE(st.reason.contains(GetParam().expectedReason, Qt::CaseInsensitive))
        << st.reason.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Failures, RefusalTest,
                         ::testing::Values(RefusalCase{"WrongPassword", "535"},
                                           RefusalCase{"Unreachable", "connect"},
                                           RefusalCase{"UntrustedCertificate", "certificate"},
                                           RefusalCase{"RefusedRecipient", "550 5.1.1"}),
                         [](const auto &info) { return std::string(info.param.name); });

// Many mails go over one connection, and Sent Items keeps their order for
// every reader: the object model and Python's mailbox module agree.
TEST_F(MailClientTest, ManyMailsShareOneConnectionAndKeepTheirOrder)
{
    SmtpServer server({});
    ASSERT_GT(server.port(), 0);
    configure(MailAccount::Security::None, server.port());
    for (int i = 1; i <= 12; ++i)
        queue(QStringLiteral("c%1@example.test").arg(i), QStringLiteral("Mail %1 – Größe").arg(i))->Send();
    int lastProgress = 0;
    const DeliveryReport r = client().deliverNow([&](int done, int total) {
        EXPECT_EQ(total, 12);
        lastProgress = done;
    });
    EXPECT_EQ(r.delivered, 12);
    EXPECT_EQ(lastProgress, 12);
    EXPECT_EQ(server.connections(), 1);

    QStringList ours;
    for (int i = 1; i <= folder(5)->Items().Count(); ++i)
        ours << std::dynamic_pointer_cast<MailItem>(folder(5)->Items().Item(i))->Subject();
    QStringList expected;
    for (int i = 1; i <= 12; ++i)
        expected << QStringLiteral("Mail %1 – Größe").arg(i);
    EXPECT_EQ(ours, expected);

    const QByteArray out =
        runPython("import mailbox, sys, email, email.policy\n"
                  "md = mailbox.Maildir(sys.argv[1], factory=None, create=False)\n"
                  "f = md.get_folder('Sent')\n"
                  "for k in sorted(f.keys()):\n"
                  "    m = email.message_from_bytes(f.get_bytes(k), policy=email.policy.default)\n"
                  "    assert m['Delivery-Date'] and m['To'] and m['From']\n"
                  "    sys.stdout.buffer.write((str(m['subject']) + '\\n').encode())\n",
                  {client().store().root() + "/Maildir"});
    EXPECT_EQ(QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts), expected);
}

// GIVEN a run that filed a delivered mail and stopped before it flushed,
// WHEN the next run delivers, THEN that mail is not sent again, it leaves
// the Outbox, and its copy stays in Sent Items beside the new one's.
TEST_F(MailClientTest, AMailFiledAsDeliveredBeforeACrashIsNotSentAgain)
{
    SmtpServer server({});
    ASSERT_GT(server.port(), 0);
    configure(MailAccount::Security::None, server.port());
    queue("first@example.test", "First")->Send();
    queue("second@example.test", "Second")->Send();
    MaildirStore &store = client().store();
    const MessageSummary first = store.messages(StoreFolder::Outbox).at(0);
    store.fileDelivered(first.id, store.readMessage(StoreFolder::Outbox, first.id), first);

    const DeliveryReport r = client().deliverNow();
    EXPECT_EQ(r.delivered, 1);
    EXPECT_EQ(server.receivedCount(), 1);
    EXPECT_EQ(store.messages(StoreFolder::Outbox).size(), 0);
    EXPECT_TRUE(QDir(store.folderPath(StoreFolder::Outbox) + "/cur").isEmpty());
    EXPECT_EQ(folder(5)->Items().Count(), 2);
}

// Mails sent in a batch reach the Outbox together when it is committed, or
// when it ends because an error ended the send.
TEST_F(MailClientTest, MailsOfABatchReachTheOutboxTogether)
{
    {
        const auto batch = app->beginOutboxBatch();
        for (int i = 0; i < 3; ++i)
            queue(QStringLiteral("b%1@example.test").arg(i), "Batched")->Send();
        EXPECT_EQ(folder(4)->Items().Count(), 0);
        batch->commit();
        EXPECT_EQ(folder(4)->Items().Count(), 3);
    }
    try {
        const auto batch = app->beginOutboxBatch();
        queue("c@example.test", "Before the error")->Send();
        throw MailError("Cannot access mail");
    } catch (const MailError &) {
    }
    EXPECT_EQ(folder(4)->Items().Count(), 4);
    EXPECT_TRUE(QDir(client().store().folderPath(StoreFolder::Outbox) + "/tmp").isEmpty());
}

TEST_F(MailClientTest, WithoutAccountMailWaitsInOutboxAndSaysWhy)
{
    queue("a@example.test", "Waiting")->Send();
    const DeliveryReport r = client().deliverNow();
    EXPECT_EQ(r.waiting, 1);
    EXPECT_EQ(r.note, DeliveryAgent::noAccountText());
    const auto outbox = client().store().messages(StoreFolder::Outbox);
    ASSERT_EQ(outbox.size(), 1);
    EXPECT_EQ(client().store().outboxStatus(outbox[0].id).state, OutboxState::Queued);
}

TEST_F(MailClientTest, DraftsAreNotSentAndBadRecipientsAreRefusedAtSend)
{
    SmtpServer server({});
    configure(MailAccount::Security::None, server.port());
    queue("a@example.test", "Draft")->Save();
    EXPECT_THROW(queue("not an address", "Bad")->Send(), MailError);
    EXPECT_EQ(client().deliverNow().delivered, 0);
    EXPECT_EQ(server.receivedCount(), 0);
    EXPECT_EQ(folder(4)->Items().Count(), 1);
}

// Contacts are vCard 3.0 files an independent reader understands, escaping,
// folding and non-ASCII text included.
TEST_F(MailClientTest, ContactsAreVCardsOthersRead)
{
    auto c = std::dynamic_pointer_cast<ContactItem>(folder(10)->Items().Add());
    c->setFirstName("Jörg");
    c->setLastName("Weiß; Sohn");
    c->setCompanyName("Müller, Schulz & Partner GmbH");
    c->setBusinessAddress("Königsallee 100, Hinterhaus, 3. Obergeschoss links\n40212 Düsseldorf");
    c->setEmail1Address("joerg@example.test");
    c->setBusinessTelephoneNumber("+49 211 555-0100");
    c->setBusinessFaxNumber("+49 211 555-0199");
    c->setBody("Met at the fair.\nCall back in März; bring samples\\catalogue.");
    c->Save();
    ASSERT_EQ(folder(10)->Items().Count(), 1);

    const QString file = client().store().contactsPath() + "/" + c->id() + ".vcf";
    const QByteArray out = runPython(
        "import vobject, sys, json\n"
        "v = vobject.readOne(open(sys.argv[1], encoding='utf-8').read())\n"
        "tels = {('FAX' if 'FAX' in [t.upper() for t in t.params.get('TYPE', [])] else 'VOICE'): t.value"
        " for t in v.contents['tel']}\n"
        "print(json.dumps({'version': v.version.value, 'given': v.n.value.given, 'family': v.n.value.family,"
        " 'org': v.org.value[0], 'email': v.email.value, 'voice': tels['VOICE'], 'fax': tels['FAX'],"
        " 'note': v.note.value, 'label': v.label.value}))\n",
        {file});
    const QJsonObject v = QJsonDocument::fromJson(out).object();
    EXPECT_EQ(v["version"].toString(), "3.0");
    EXPECT_EQ(v["given"].toString(), c->FirstName());
    EXPECT_EQ(v["family"].toString(), c->LastName());
    EXPECT_EQ(v["org"].toString(), c->CompanyName());
    EXPECT_EQ(v["email"].toString(), c->Email1Address());
    EXPECT_EQ(v["voice"].toString(), c->BusinessTelephoneNumber());
    EXPECT_EQ(v["fax"].toString(), c->BusinessFaxNumber());
    EXPECT_EQ(v["note"].toString(), c->Body());
    EXPECT_EQ(v["label"].toString(), c->BusinessAddress());

    auto back = std::dynamic_pointer_cast<ContactItem>(folder(10)->Items().Item(1));
    EXPECT_EQ(back->card(), c->card());
}

// Mail another program drops into Sent Items is listed with its headers;
// a file that is no message is listed empty and the listing goes on.
TEST_F(MailClientTest, SentItemsListsMailFromOtherWritersAndSurvivesJunk)
{
    queue("a@example.test", "Ours")->Save(); // makes the folders
    runPython("import mailbox, sys\n"
              "f = mailbox.Maildir(sys.argv[1], create=False).get_folder('Sent')\n"
              "f.add(b'To: x@example.test\\nSubject: =?utf-8?q?Dr=C3=BCben?=\\n"
              "Delivery-Date: Mon, 05 Mar 2007 10:00:00 +0000\\n\\nbody\\n')\n",
              {client().store().root() + "/Maildir"});
    QFile junk(client().store().folderPath(StoreFolder::SentItems) + "/cur/9999999999.junk:2,S");
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(3000, '\0'));
    junk.close();

    const QList<MessageSummary> sent = client().store().messages(StoreFolder::SentItems);
    ASSERT_EQ(sent.size(), 2);
    EXPECT_EQ(sent[0].subject, QStringLiteral("Drüben"));
    EXPECT_EQ(sent[0].time, QDateTime(QDate(2007, 3, 5), QTime(10, 0), QTimeZone::utc()));
    EXPECT_EQ(sent[1].subject, QString());
    // Listed again from the index it wrote.
    MaildirStore fresh(client().store().root());
    EXPECT_EQ(fresh.messages(StoreFolder::SentItems).first().subject, QStringLiteral("Drüben"));
}

TEST_F(MailClientTest, ObjectModelRefusesWhatIsNotThere)
{
    EXPECT_THROW(CreateOleObject("Word.Application", *te.env), MailError);
    EXPECT_THROW(app->GetNamespace("IMAP"), MailError);
    EXPECT_THROW(ns->GetDefaultFolder(6), MailError);
    EXPECT_THROW(folder(10)->Items().Item(1), MailError);
    EXPECT_THROW(folder(5)->Items().Add(), MailError);
    queue("a@example.test", "One")->Save();
    EXPECT_THROW(folder(4)->Items().Item(0), MailError);
    EXPECT_THROW(folder(4)->Items().Item(2), MailError);
    EXPECT_NO_THROW(folder(4)->Items().Item(1));

    client().settings().setInstalled(false);
    EXPECT_THROW(CreateOleObject("Outlook.Application", *te.env), MailError);
}

TEST_F(MailClientTest, PasswordNeverLandsInTheSettingsFile)
{
    configure(MailAccount::Security::StartTls, 587, "clerk", "Secret-Words-123");
    QFile ini(client().settings().iniPath());
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_FALSE(ini.readAll().contains("Secret-Words-123"));
    EXPECT_EQ(client().password(), "Secret-Words-123");
    if (!Secrets::KeychainSecretStore::available()) {
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(client().folder() + "/secrets").constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
}

} // namespace
