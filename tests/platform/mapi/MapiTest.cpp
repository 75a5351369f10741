#include "platform/mapi/Mapi.h"
#include "tests/platform/mapi/MapiTestStore.h"

#include <QTemporaryDir>

using namespace mapitest;

namespace {

struct BufferFree {
    void operator()(MapiBuffer *b) const { MAPIFreeBuffer(b); }
};
using Props = std::unique_ptr<SPropArray, BufferFree>;
using Rows = std::unique_ptr<SRowSet, BufferFree>;

class MapiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(library.MAPIInitialize(nullptr), S_OK);
        ASSERT_EQ(library.MAPILogonEx(0, {}, {}, MAPI_USE_DEFAULT, &session), S_OK);
        ASSERT_TRUE(session);
    }
    void TearDown() override { library.MAPIUninitialize(); }

    QByteArray storeProp(ULONG tag)
    {
        std::shared_ptr<IMsgStore> store;
        EXPECT_EQ(session->OpenMsgStore(0, storeId(), IID::Default, MDB_WRITE, &store), S_OK);
        SPropArray *raw = nullptr;
        EXPECT_EQ(HrGetOneProp(store.get(), tag, &raw), S_OK);
        const Props p(raw);
        return p ? p->lpProps[0].bin : QByteArray();
    }
    QByteArray storeId()
    {
        std::shared_ptr<IMAPITable> t;
        EXPECT_EQ(session->GetMsgStoresTable(0, &t), S_OK);
        SPropTagArray cols{{PR_ENTRYID}};
        SRowSet *raw = nullptr;
        EXPECT_EQ(HrQueryAllRows(t.get(), &cols, nullptr, nullptr, 0, &raw), S_OK);
        const Rows rows(raw);
        return rows->aRow.at(0).lpProps.at(0).bin;
    }
    std::shared_ptr<IMAPIFolder> openFolder(ULONG tag)
    {
        ULONG type = 0;
        std::shared_ptr<IMAPIProp> obj;
        EXPECT_EQ(session->OpenEntry(storeProp(tag), IID::Default, MAPI_MODIFY, &type, &obj), S_OK);
        EXPECT_EQ(type, MAPI_FOLDER);
        return std::dynamic_pointer_cast<IMAPIFolder>(obj);
    }
    Rows contents(IMAPIFolder &folder, const SPropTagArray &cols)
    {
        std::shared_ptr<IMAPITable> t;
        EXPECT_EQ(folder.GetContentsTable(0, &t), S_OK);
        SRowSet *raw = nullptr;
        EXPECT_EQ(HrQueryAllRows(t.get(), &cols, nullptr, nullptr, 0, &raw), S_OK);
        return Rows(raw);
    }

    QTemporaryDir dir;
    QString root = dir.path() + "/mail";
    MaildirStore store{root};
    MapiLibrary library{root};
    std::shared_ptr<IMAPISession> session;
};

// Identifiers come back from callers and files: none may reach outside the
// folders, read past its end or name what is not there.
TEST_F(MapiTest, EntryIdentifiersFromOutsideAreChecked)
{
    addSent(store, mail("a@example.test", "one", utc(2026, 3, 1)));
    const QByteArray sent = storeProp(PR_IPM_SENTMAIL_ENTRYID);
    const QByteArray header = sent.left(20);
    struct Case {
        const char *what;
        QByteArray id;
        HRESULT expected;
    } cases[] = {
        {"empty", {}, MAPI_E_INVALID_ENTRYID},
        {"cut short", sent.left(10), MAPI_E_INVALID_ENTRYID},
        {"another provider", QByteArray(4, 0) + QByteArray(16, 'x') + char(2) + char(3),
         MAPI_E_INVALID_ENTRYID},
        {"unknown kind", header + char(9) + char(3), MAPI_E_INVALID_ENTRYID},
        {"folder out of range", header + char(2) + char(77), MAPI_E_INVALID_ENTRYID},
        {"negative folder", header + char(2) + char(-1), MAPI_E_INVALID_ENTRYID},
        {"folder with a tail", sent + "x", MAPI_E_INVALID_ENTRYID},
        {"huge", header + char(3) + char(3) + QByteArray(1 << 20, 'a'), MAPI_E_INVALID_ENTRYID},
        {"path outside", header + char(3) + char(3) + "../../etc/passwd", MAPI_E_INVALID_ENTRYID},
        {"hidden file", header + char(3) + char(3) + ".brenvoy-index", MAPI_E_INVALID_ENTRYID},
        {"no message id", header + char(3) + char(3), MAPI_E_INVALID_ENTRYID},
        {"message not there", header + char(3) + char(3) + "1234.M1P1.nowhere", MAPI_E_NOT_FOUND},
    };
    for (const Case &c : cases) {
        ULONG type = 0;
        std::shared_ptr<IMAPIProp> obj;
        EXPECT_EQ(session->OpenEntry(c.id, IID::Default, 0, &type, &obj), c.expected) << c.what;
        EXPECT_FALSE(obj) << c.what;
    }
}

TEST_F(MapiTest, StoreTablesStatusAndSessionEnd)
{
    std::shared_ptr<IMAPITable> status;
    ASSERT_EQ(session->GetStatusTable(0, &status), S_OK);
    SPropTagArray cols{{PR_RESOURCE_TYPE, PR_ENTRYID}};
    SRestriction spooler;
    spooler.ulPropTag = PR_RESOURCE_TYPE;
    spooler.value = SPropValue::ofLong(PR_RESOURCE_TYPE, LONG(MAPI_SPOOLER));
    SRowSet *raw = nullptr;
    ASSERT_EQ(HrQueryAllRows(status.get(), &cols, &spooler, nullptr, 0, &raw), S_OK);
    Rows rows(raw);
    ASSERT_EQ(rows->cRows(), 1u);
    ASSERT_EQ(rows->aRow[0].lpProps[1].ulPropTag, PR_ENTRYID);
    ULONG type = 0;
    std::shared_ptr<IMAPIProp> obj;
    ASSERT_EQ(
        session->OpenEntry(rows->aRow[0].lpProps[1].bin, IID::IMAPIStatus, MAPI_BEST_ACCESS, &type, &obj),
        S_OK);
    EXPECT_EQ(type, MAPI_STATUS);

    // A table read past its end gives no rows, not an error.
    ASSERT_EQ(status->QueryRows(10, 0, &raw), S_OK);
    rows.reset(raw);
    EXPECT_EQ(rows->cRows(), 0u);

    // The store gives PR_NULL where it is asked for, and its folders.
    std::shared_ptr<IMsgStore> msgStore;
    ASSERT_EQ(session->OpenMsgStore(0, storeId(), IID::Default, MDB_WRITE, &msgStore), S_OK);
    SPropTagArray wanted{{PR_NULL, PR_IPM_OUTBOX_ENTRYID, PR_SUBJECT}};
    SPropArray *props = nullptr;
    EXPECT_EQ(msgStore->GetProps(&wanted, 0, nullptr, &props), MAPI_W_ERRORS_RETURNED);
    const Props p(props);
    EXPECT_EQ(p->lpProps[0].ulPropTag, PR_NULL);
    EXPECT_EQ(p->lpProps[1].ulPropTag, PR_IPM_OUTBOX_ENTRYID);
    EXPECT_EQ(PROP_TYPE(p->lpProps[2].ulPropTag), PT_ERROR);

    ASSERT_EQ(session->Logoff(0, 0, 0), S_OK);
    EXPECT_TRUE(HR_FAILED(session->OpenEntry(p->lpProps[1].bin, IID::Default, 0, &type, &obj)));
    std::shared_ptr<IMAPISession> again;
    MapiLibrary uninitialised(root);
    EXPECT_EQ(uninitialised.MAPILogonEx(0, {}, {}, 0, &again), MAPI_E_NOT_INITIALIZED);
    EXPECT_EQ(library.MAPILogonEx(0, "Someone Else", {}, 0, &again), MAPI_E_LOGON_FAILED);
}

// The folder's table lists what the index knows; the whole text is read
// from the message when it is asked for.
TEST_F(MapiTest, ContentsTableAndMessageProperties)
{
    MailMessage m = mail("Kunde <kunde@example.test>", "Angebot", utc(2026, 3, 1, 10, 30));
    m.body = QString(400, QLatin1Char('x')) + "Ende";
    addSent(store, m);
    std::shared_ptr<IMAPIFolder> sent = openFolder(PR_IPM_SENTMAIL_ENTRYID);
    const Rows rows = contents(*sent, {{PR_ENTRYID, PR_BODY, PR_MESSAGE_DELIVERY_TIME, PR_DISPLAY_TO,
                                        PR_SENT_REPRESENTING_NAME, PR_MESSAGE_SIZE, PR_MESSAGE_FLAGS}});
    ASSERT_EQ(rows->cRows(), 1u);
    const auto &row = rows->aRow[0].lpProps;
    EXPECT_EQ(PROP_TYPE(row[1].ulPropTag), PT_ERROR);
    // 2026-03-01 10:30 UTC in 100 ns units since 1601.
    EXPECT_EQ(
        row[2].Value.ft,
        (QDateTime(QDate(2026, 3, 1), QTime(10, 30), QTimeZone::utc()).toSecsSinceEpoch() + 11644473600LL) *
            10000000ULL);
    EXPECT_EQ(row[3].str, "Kunde <kunde@example.test>");
    EXPECT_EQ(row[4].str, "Brenvoy Office");
    EXPECT_EQ(
        row[5].Value.l,
        LONG(store.readMessage(StoreFolder::SentItems, store.messages(StoreFolder::SentItems)[0].id).size()));
    EXPECT_EQ(ULONG(row[6].Value.l) & MSGFLAG_HASATTACH, 0u);

    ULONG type = 0;
    std::shared_ptr<IMAPIProp> msg;
    ASSERT_EQ(session->OpenEntry(row[0].bin, IID::Default, MAPI_MODIFY, &type, &msg), S_OK);
    EXPECT_EQ(type, MAPI_MESSAGE);
    SPropArray *raw = nullptr;
    ASSERT_EQ(HrGetOneProp(msg.get(), PR_BODY, &raw), S_OK);
    const Props body(raw);
    EXPECT_EQ(body->lpProps[0].str.trimmed(), m.body) << body->lpProps[0].str.toStdString();
    EXPECT_EQ(HrGetOneProp(msg.get(), PR_COMMENT, &raw), MAPI_E_NOT_FOUND);
    EXPECT_EQ(raw, nullptr);

    // The top folder holds the four standard folders.
    std::shared_ptr<IMAPIFolder> top = openFolder(PR_IPM_SUBTREE_ENTRYID);
    std::shared_ptr<IMAPITable> h;
    ASSERT_EQ(top->GetHierarchyTable(0, &h), S_OK);
    ULONG count = 0;
    ASSERT_EQ(h->GetRowCount(0, &count), S_OK);
    EXPECT_EQ(count, 4u);
}

TEST_F(MapiTest, FileStreamsAndBuffers)
{
    std::shared_ptr<IStream> s;
    EXPECT_EQ(
        OpenStreamOnFile(MAPIAllocateBuffer, MAPIFreeBuffer, STGM_READ, dir.path() + "/missing", {}, &s),
        MAPI_E_NOT_FOUND);
    EXPECT_FALSE(s);
    QFile f(dir.path() + "/data.bin");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("0123456789");
    f.close();
    ASSERT_EQ(OpenStreamOnFile(MAPIAllocateBuffer, MAPIFreeBuffer, STGM_READ, f.fileName(), {}, &s), S_OK);
    STATSTG st;
    ASSERT_EQ(s->Stat(&st, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(st.cbSize, 10u);
    quint64 pos = 0;
    ASSERT_EQ(s->Seek(-3, STREAM_SEEK_END, &pos), S_OK);
    EXPECT_EQ(pos, 7u);
    EXPECT_EQ(s->Seek(-30, STREAM_SEEK_CUR, &pos), STG_E_INVALIDFUNCTION);
    char buf[8] = {};
    ULONG read = 0;
    ASSERT_EQ(s->Read(buf, sizeof buf, &read), S_OK);
    EXPECT_EQ(QByteArray(buf, int(read)), "789");

    // Memory asked for beyond what a message can hold is refused.
    MapiBytes *bytes = nullptr;
    EXPECT_EQ(MAPIAllocateBuffer(0xFFFFFFFFu, &bytes), MAPI_E_NOT_ENOUGH_MEMORY);
    ASSERT_EQ(MAPIAllocateBuffer(16, &bytes), S_OK);
    MapiBytes *more = nullptr;
    ASSERT_EQ(MAPIAllocateMore(8, bytes, &more), S_OK);
    EXPECT_EQ(more->data.size(), 8);
    MAPIFreeBuffer(bytes); // frees both
}

} // namespace
