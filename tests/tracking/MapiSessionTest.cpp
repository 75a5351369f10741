#include "tracking/MapiSession.h"
#include "platform/mail/MailAccount.h"
#include "platform/mail/MailClient.h"
#include "platform/mail/VCard.h"
#include "tests/platform/mapi/MapiTestStore.h"
#include "tests/support/TestEnvironment.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace mapitest;

namespace {

class MapiSessionTest : public ::testing::Test {
protected:
    QString mailFolder() const { return te.env->stateFolderFor("mail"); }
    TMAPIMessages &sent() { return session.SENTBOX()->Messages(); }

    TestEnvironment te;
    MaildirStore store{mailFolder()};
    TMAPISession session{*te.env};
};

// A contents table of our own, for rows the store itself never gives.
class RowsFolder : public IMAPIFolder {
public:
    class Table : public IMAPITable {
    public:
        explicit Table(std::vector<SRow> rows) : m_rows(std::move(rows)) {}
        HRESULT SetColumns(const SPropTagArray *, ULONG) override { return S_OK; }
        HRESULT GetRowCount(ULONG, ULONG *n) override
        {
            *n = ULONG(m_rows.size());
            return S_OK;
        }
        HRESULT QueryRows(LONG n, ULONG, SRowSet **out) override
        {
            auto set = std::make_unique<SRowSet>();
            for (; n > 0 && m_pos < m_rows.size(); --n)
                set->aRow.push_back(m_rows[m_pos++]);
            *out = set.release();
            return S_OK;
        }
        HRESULT Restrict(const SRestriction *, ULONG) override { return S_OK; }
        HRESULT SeekRow(ULONG, LONG, LONG *) override
        {
            m_pos = 0;
            return S_OK;
        }

    private:
        std::vector<SRow> m_rows;
        size_t m_pos = 0;
    };
    explicit RowsFolder(std::vector<SRow> rows) : m_rows(std::move(rows)) {}
    HRESULT GetContentsTable(ULONG, std::shared_ptr<IMAPITable> *out) override
    {
        *out = std::make_shared<Table>(m_rows);
        return S_OK;
    }
    HRESULT GetHierarchyTable(ULONG, std::shared_ptr<IMAPITable> *out) override
    {
        *out = std::make_shared<Table>(std::vector<SRow>{});
        return S_OK;
    }
    HRESULT CreateMessage(IID, ULONG, std::shared_ptr<IMAPIMessage> *) override { return MAPI_E_NO_SUPPORT; }

protected:
    SPropValue prop(ULONG tag) override { return SPropValue::missing(tag); }

private:
    std::vector<SRow> m_rows;
};

// A message whose properties fail as the test says.
class FailingProp : public IMAPIProp {
public:
    explicit FailingProp(HRESULT hr) : m_hr(hr) {}
    HRESULT GetProps(const SPropTagArray *tags, ULONG, ULONG *, SPropArray **out) override
    {
        if (HR_FAILED(m_hr))
            return m_hr;
        auto a = std::make_unique<SPropArray>();
        a->lpProps.push_back(m_hr == MAPI_W_ERRORS_RETURNED
                                 ? SPropValue::missing(tags->aulPropTag[0])
                                 : SPropValue::ofString(tags->aulPropTag[0], "'x@y'"));
        *out = a.release();
        return m_hr;
    }

protected:
    SPropValue prop(ULONG tag) override { return SPropValue::missing(tag); }

private:
    HRESULT m_hr;
};

TEST_F(MapiSessionTest, LogonListsSentItemsInTheMailClientsOrder)
{
    addSent(store, mail("Kunde Eins <eins@example.test>", "Angebot 1", utc(2026, 3, 1, 9)));
    // Dropped in by another program, with an older name: it lists first.
    dropFile(store, StoreFolder::SentItems, "cur/1700000000.P1Q1.elsewhere:2,S",
             "From: Other <other@example.test>\r\nTo: zwei@example.test\r\nSubject: Vorher\r\n"
             "Delivery-Date: Tue, 14 Nov 2023 22:13:20 +0000\r\n\r\nText\r\n");
    addSent(store, mail("'drei@example.test'", "Angebot 3", utc(2026, 3, 1, 11)));

    session.setActive(true);
    ASSERT_TRUE(session.Active());
    const char *names[] = {"INBOX", "OUTBOX", "WASTEBOX", "SENTBOX"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(session.Folders().Items(i)->DisplayName(), names[i]);
        EXPECT_EQ(session.Folders().Items(i)->FolderType(), FOLDERS_TYPE(i));
        EXPECT_TRUE(session.Folders().Items(i)->Active());
    }
    ASSERT_EQ(sent().Count(), 3);

    // Item n of the mail client's Sent Items is message n here.
    auto items = CreateOleObject("Outlook.Application", *te.env)->GetNamespace("MAPI")->GetDefaultFolder(5);
    ASSERT_EQ(items->Items().Count(), 3);
    for (int i = 0; i < 3; ++i) {
        auto item = std::dynamic_pointer_cast<MailItem>(items->Items().Item(i + 1));
        EXPECT_EQ(sent().Items(i)->SUBJECT(), item->Subject()) << i;
    }

    const TMAPIMessage *first = sent().Items(0);
    EXPECT_EQ(first->REPRESENTING_NAME(), "Other");
    EXPECT_EQ(first->MessageDeliveryTime(), utc(2023, 11, 14, 22, 13).addSecs(20));
    EXPECT_EQ(GetStringProperty(first->messageObject().get(), PR_DISPLAY_TO), "zwei@example.test");
    TMAPIMessage *second = sent().Items(1);
    EXPECT_EQ(second->DisplayName(), "from Brenvoy Office , subj: Angebot 1");
    EXPECT_EQ(second->MessageDeliveryTime(), utc(2026, 3, 1, 9));
    EXPECT_TRUE(second->MessageFlags()._READ());
    EXPECT_FALSE(second->MessageFlags().HASATTACH());
    EXPECT_GT(second->Size(), 100);
    EXPECT_TRUE(second->BODY().startsWith("Sehr geehrte")); // read from the message
    EXPECT_EQ(sent().Items(1)->entryId().isEmpty(), false);
    EXPECT_EQ(GetStringProperty(sent().Items(2)->messageObject().get(), PR_DISPLAY_TO),
              "'drei@example.test'");
}

TEST_F(MapiSessionTest, MissingSenderSubjectAndTime)
{
    dropFile(store, StoreFolder::SentItems, "new/1700000000.P1Q1.elsewhere",
             "To: a@example.test\r\n\r\nText\r\n");
    dropFile(store, StoreFolder::SentItems, "new/1700000001.P1Q1.elsewhere",
             "From: Büro <buero@example.test>\r\nTo: b@example.test\r\nSubject: \r\n\r\nText\r\n");
    session.setActive(true);
    ASSERT_EQ(sent().Count(), 2);
    EXPECT_EQ(sent().Items(0)->REPRESENTING_NAME(), "<no sender>");
    EXPECT_EQ(sent().Items(0)->SUBJECT(), "<no subject>");
    EXPECT_EQ(sent().Items(0)->MessageDeliveryTime(), ZeroDateTime());
    EXPECT_EQ(ZeroDateTime(), utc(1899, 12, 30));
    EXPECT_EQ(sent().Items(1)->REPRESENTING_NAME(), "Büro");
    EXPECT_EQ(sent().Items(1)->SUBJECT(), "<no subject>");
}

TEST_F(MapiSessionTest, EmptyStoreAndFailedLogons)
{
    session.setActive(true);
    ASSERT_TRUE(session.Active());
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(session.Folders().Items(i)->Messages().Count(), 0);

    // Without the mail client, or for another profile, nothing is listed
    // and nothing is said.
    MailSettings(mailFolder()).setInstalled(false);
    TMAPISession missing(*te.env);
    missing.setActive(true);
    EXPECT_FALSE(missing.Active());
    EXPECT_EQ(missing.SENTBOX()->Messages().Count(), 0);
    EXPECT_EQ(missing.SENTBOX()->DisplayName(), "");

    MailSettings(mailFolder()).setInstalled(true);
    TMAPISession other(*te.env);
    other.setProfileName("Somebody else");
    other.setActive(true);
    EXPECT_FALSE(other.Active());
}

TEST_F(MapiSessionTest, LargeFolderIsReadWhole)
{
    constexpr int kMails = 3000;
    for (int i = 0; i < kMails; ++i) {
        const QString to = QStringLiteral("k%1@example.test").arg(i);
        MessageSummary s{QString(), to, QString::number(i), utc(2026, 1, 1).addSecs(i)};
        s.from = "office@brenvoy.test";
        s.detailed = true; // skips reading each message back
        store.addMessage(StoreFolder::SentItems, "To: " + to.toUtf8() + "\r\n\r\nx\r\n", s);
    }
    session.setActive(true);
    ASSERT_EQ(sent().Count(), kMails);
    for (int i : {0, 1, kMails / 2, kMails - 1})
        EXPECT_EQ(sent().Items(i)->SUBJECT(), QString::number(i));
    EXPECT_EQ(sent().Items(kMails), nullptr);
}

// Rows come from the table as the platform gives them: one without an
// identifier is skipped (so indexes and row numbers part), one whose
// message cannot be opened is listed without a message object, and the
// time is converted from its 100 ns units.
TEST_F(MapiSessionTest, RowsWithoutIdentifierAndTimeConversion)
{
    addSent(store, mail("a@example.test", "real", utc(2026, 3, 1)));
    session.setActive(true);
    const QByteArray realId = sent().Items(0)->entryId();

    constexpr FILETIME kDayAndAHalf = 864000000000ULL * 3 / 2;
    auto row = [](SPropValue id, FILETIME when, const QString &subject) {
        SRow r;
        r.lpProps = {SPropValue::missing(PR_SENT_REPRESENTING_NAME),
                     SPropValue::ofString(PR_SUBJECT, subject),
                     std::move(id),
                     SPropValue::ofLong(PR_MESSAGE_FLAGS, LONG(MSGFLAG_READ | 0x40000)),
                     SPropValue::missing(PR_BODY),
                     SPropValue::ofLong(PR_MESSAGE_SIZE, 1234),
                     SPropValue::ofTime(PR_MESSAGE_DELIVERY_TIME, when)};
        return r;
    };
    auto folder = std::make_shared<RowsFolder>(std::vector<SRow>{
        row(SPropValue::missing(PR_ENTRYID), 0, "no id"),
        row(SPropValue::ofBinary(PR_ENTRYID, realId), kDayAndAHalf, "day and a half"),
        row(SPropValue::ofBinary(PR_ENTRYID, QByteArray(30, 'z')), 0, "not openable"),
    });
    TMAPIFolder *f = session.SENTBOX();
    f->setActive(false);
    f->setOpened(realId, folder);
    f->setActive(true);
    ASSERT_TRUE(f->Active());
    ASSERT_EQ(sent().Count(), 2);
    const TMAPIMessage *m = sent().Items(0);
    EXPECT_EQ(m->SUBJECT(), "day and a half");
    EXPECT_EQ(m->MessageDeliveryTime(), utc(1601, 1, 2, 12));
    EXPECT_EQ(m->MessageDeliveryTime().timeSpec(), Qt::UTC);
    EXPECT_EQ(m->MessageFlags().MessageFlag(), MSGFLAG_READ); // other bits are dropped
    EXPECT_EQ(m->Size(), 1234);
    EXPECT_EQ(m->BODY().isEmpty(), false); // the message object still has its text
    EXPECT_NE(m->messageObject(), nullptr);
    EXPECT_EQ(sent().Items(1)->SUBJECT(), "not openable");
    EXPECT_EQ(sent().Items(1)->messageObject(), nullptr);
}

TEST_F(MapiSessionTest, DeliveryTimesBefore1970SurviveTheIndex)
{
    addSent(store, mail("a@example.test", "old", utc(1601, 1, 2, 12)));
    for (int pass = 0; pass < 2; ++pass) { // the second logon reads the index
        TMAPISession s(*te.env);
        s.setActive(true);
        ASSERT_EQ(s.SENTBOX()->Messages().Count(), 1);
        EXPECT_EQ(s.SENTBOX()->Messages().Items(0)->MessageDeliveryTime(), utc(1601, 1, 2, 12)) << pass;
    }
}

TEST_F(MapiSessionTest, AttachmentsWithoutFileNameAreNotListed)
{
    MailMessage m = mail("a@example.test", "with files", utc(2026, 3, 1));
    QByteArray pdf;
    for (int i = 0; i < 3000; ++i)
        pdf += char(i * 31 % 256);
    m.attachments = {{"Angebot.pdf", pdf}, {"", "nameless"}, {"Preise.txt", "Preise\n"}};
    addSent(store, m);
    session.setActive(true);
    ASSERT_EQ(sent().Count(), 1);
    TMAPIMessage *msg = sent().Items(0);
    EXPECT_TRUE(msg->MessageFlags().HASATTACH());
    ASSERT_EQ(msg->Attachments().Count(), 2);
    EXPECT_EQ(msg->Attachments().Items(0)->Name(), "Angebot.pdf");
    EXPECT_EQ(msg->Attachments().Items(0)->FileName(), "Angebot.pdf");
    EXPECT_EQ(msg->Attachments().Items(1)->Name(), "Preise.txt");
    EXPECT_EQ(msg->Attachments().Items(1)->Number(), 2u);

    TIStream *data = msg->Attachments().Items(0)->Stream();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->Seek(0, TIStream::soFromEnd), pdf.size());
    EXPECT_EQ(data->Seek(-10, TIStream::soFromCurrent), pdf.size() - 10);
    EXPECT_EQ(data->Seek(0, TIStream::soFromBeginning), 0);
    QByteArray back(pdf.size() + 10, '\0');
    EXPECT_EQ(data->Read(back.data(), back.size()), pdf.size());
    EXPECT_EQ(back.left(pdf.size()), pdf);
    EXPECT_THROW(data->Seek(-1, TIStream::soFromBeginning), EMapiError);
    EXPECT_THROW(data->Write("x", 1), EMapiError); // a sent mail's data stays as it was

    // A copy opens its own stream over the same data.
    TMAPIAttachments copy(nullptr);
    copy.Assign(msg->Attachments());
    ASSERT_EQ(copy.Count(), 2);
    char head[4];
    EXPECT_EQ(copy.Items(0)->Stream()->Read(head, 4), 4);
    EXPECT_EQ(QByteArray(head, 4), pdf.left(4));
}

TEST_F(MapiSessionTest, SecondActivationDoesNotReRead)
{
    addSent(store, mail("a@example.test", "one", utc(2026, 3, 1)));
    session.setActive(true);
    ASSERT_EQ(sent().Count(), 1);
    TMAPIMessage *before = sent().Items(0);
    addSent(store, mail("b@example.test", "two", utc(2026, 3, 2)));
    session.setActive(true);
    EXPECT_EQ(sent().Count(), 1);
    EXPECT_EQ(sent().Items(0), before);

    session.setActive(false);
    EXPECT_FALSE(session.Active());
    EXPECT_FALSE(session.SENTBOX()->Active());
    EXPECT_EQ(sent().Count(), 0);
    session.setActive(true);
    EXPECT_EQ(sent().Count(), 2);

    // While loading, the value waits for the end of loading.
    TMAPISession loading(*te.env);
    loading.BeginLoading();
    loading.setActive(true);
    EXPECT_FALSE(loading.Active());
    loading.Loaded();
    EXPECT_TRUE(loading.Active());
    EXPECT_EQ(loading.SENTBOX()->Messages().Count(), 2);
}

TEST(MapiProperties, GetStringProperty)
{
    FailingProp present(S_OK), missing(MAPI_W_ERRORS_RETURNED), broken(MAPI_E_CALL_FAILED);
    EXPECT_EQ(GetStringProperty(&present, PR_DISPLAY_TO), "'x@y'");
    EXPECT_EQ(GetStringProperty(&missing, PR_DISPLAY_TO), "");
    try {
        GetStringProperty(&broken, PR_DISPLAY_TO);
        FAIL() << "no error";
    } catch (const EMapiProperty &e) {
        EXPECT_EQ(e.text(), "Unable to get property 0e04001e");
        EXPECT_EQ(e.code(), MAPI_E_CALL_FAILED);
    }
    EXPECT_THROW(GetStringProperty(nullptr, PR_SUBJECT), EMapiError);
}

TEST(MapiProperties, FlagsPackAndUnpack)
{
    TMessageFlags f;
    f.setMessageFlag(0xFFFFFFFFu);
    EXPECT_EQ(f.MessageFlag(), 0x3FFu);
    EXPECT_TRUE(f._READ() && f.NRN_PENDING() && f.HASATTACH());
    f.setHASATTACH(false);
    f.set_READ(false);
    EXPECT_EQ(f.MessageFlag(), 0x3FFu & ~(MSGFLAG_HASATTACH | MSGFLAG_READ));

    TMAPILogonFlags logon;
    EXPECT_EQ(logon.packed(), MAPI_LOGON_UI | MAPI_ALLOW_OTHERS | MAPI_FORCE_DOWNLOAD | MAPI_USE_DEFAULT);
    logon.TIMEOUT_SHORT = true;
    logon.LOGON_UI = false;
    EXPECT_EQ(logon.packed(),
              MAPI_ALLOW_OTHERS | MAPI_FORCE_DOWNLOAD | MAPI_USE_DEFAULT | MAPI_TIMEOUT_SHORT);
    TMAPILogoffFlags logoff;
    EXPECT_EQ(logoff.packed(), 0u);
    logoff.LOGOFF_UI = true;
    EXPECT_EQ(logoff.packed(), MAPI_LOGOFF_UI);

    EXPECT_EQ(FileTimeToDateTime(0), utc(1601, 1, 1));
    EXPECT_EQ(FileTimeToDateTime(864000000000ULL * 3 / 2 + 1234567), utc(1601, 1, 2, 12).addMSecs(123));
}

// What SubmitMessages stores is a real mail, read back by Python's own
// mailbox and email modules.
TEST_F(MapiSessionTest, SubmittedMessageLandsInTheOutbox)
{
    MailSettings settings(mailFolder());
    MailAccount account;
    account.fromAddress = "office@brenvoy.test";
    settings.setAccount(account); // no server: the mail waits in the Outbox
    const QString file = te.path("Preisliste.txt");
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("Preise 2026\n");
    }
    session.setActive(true);
    TMAPIMessages &outbox = session.OUTBOX()->Messages();
    TMAPIMessage *m = outbox.Add();
    m->setSUBJECT("Grüße aus Köln");
    m->setBODY("Guten Tag,\nanbei die Preise.\n");
    TMAPIRecipient *r = m->Recipients().Add();
    r->setName("Kunde Eins");
    r->setEMail("eins@example.test");
    m->Recipients().Add()->setEMail("zwei@example.test");
    m->Attachments().Add()->setFileName(file);
    m->Attachments().Add()->setFileName(te.path("missing.txt")); // skipped, the mail still goes

    outbox.setMessagesSubmited(true);
    EXPECT_TRUE(outbox.MessagesSubmited());
    EXPECT_NE(m->messageObject(), nullptr);
    EXPECT_FALSE(m->entryId().isEmpty());
    const QList<MessageSummary> queued = store.messages(StoreFolder::Outbox);
    ASSERT_EQ(queued.size(), 1);
    EXPECT_EQ(store.outboxStatus(queued[0].id).state, OutboxState::Queued);

    // Submitting again sends nothing twice.
    outbox.setMessagesSubmited(true);
    EXPECT_EQ(store.messages(StoreFolder::Outbox).size(), 1);

    const QByteArray out = python(
        "import mailbox, sys, json, email.policy\n"
        "box = mailbox.Maildir(sys.argv[1], factory=None, create=False).get_folder('Outbox')\n"
        "msgs = [email.message_from_bytes(box.get_bytes(k), policy=email.policy.default) for k in "
        "box.keys()]\n"
        "m = msgs[0]\n"
        "atts = [(a.get_filename(), a.get_content().decode() if isinstance(a.get_content(), bytes) "
        "else a.get_content()) for a in m.iter_attachments()]\n"
        "print(json.dumps({'n': len(msgs), 'to': [a.addr_spec for a in m['To'].addresses],\n"
        "  'names': [a.display_name for a in m['To'].addresses], 'from': str(m['From']),\n"
        "  'subject': str(m['Subject']), 'body': m.get_body(('plain',)).get_content(), 'atts': atts}))\n",
        {mailFolder() + "/Maildir"});
    const QJsonObject j = QJsonDocument::fromJson(out).object();
    EXPECT_EQ(j["n"].toInt(), 1);
    EXPECT_EQ(j["to"].toArray(), QJsonArray({"eins@example.test", "zwei@example.test"}));
    EXPECT_EQ(j["names"].toArray()[0].toString(), "Kunde Eins");
    EXPECT_EQ(j["from"].toString(), "office@brenvoy.test");
    EXPECT_EQ(j["subject"].toString(), "Grüße aus Köln");
    EXPECT_EQ(j["body"].toString(), "Guten Tag,\nanbei die Preise.\n");
    EXPECT_EQ(j["atts"].toArray(), QJsonArray({QJsonArray({"Preisliste.txt", "Preise 2026\n"})}));
}

TEST_F(MapiSessionTest, RecipientNamesResolveThroughTheContacts)
{
    ContactCard card;
    card.firstName = "Erika";
    card.lastName = "Muster";
    card.email1Address = "erika@example.test";
    store.saveContact({}, VCard::write(card));
    session.setActive(true);
    TMAPIMessages &outbox = session.OUTBOX()->Messages();

    TMAPIMessage *unknown = outbox.Add();
    unknown->setSUBJECT("nobody");
    unknown->Recipients().Add()->setName("Niemand Bekannt");
    outbox.setMessagesSubmited(true);
    EXPECT_FALSE(outbox.MessagesSubmited());
    EXPECT_EQ(unknown->messageObject(), nullptr);
    EXPECT_TRUE(store.messages(StoreFolder::Outbox).isEmpty());

    outbox.Delete(0);
    TMAPIMessage *known = outbox.Add();
    known->setSUBJECT("erika");
    known->Recipients().Add()->setName("erika muster");
    outbox.setMessagesSubmited(true);
    EXPECT_TRUE(outbox.MessagesSubmited());
    const QList<MessageSummary> queued = store.messages(StoreFolder::Outbox);
    ASSERT_EQ(queued.size(), 1);
    EXPECT_EQ(Mime::addresses(queued[0].to), QStringList{"erika@example.test"});

    // An inactive folder submits nothing and says so as success.
    TMAPISession idle(*te.env);
    idle.OUTBOX()->Messages().Add()->setSUBJECT("later");
    EXPECT_TRUE(idle.OUTBOX()->Messages().SubmitMessages());
    EXPECT_EQ(store.messages(StoreFolder::Outbox).size(), 1);
}

} // namespace
