#include "tracking/MapiSession.h"

#include "platform/environment/Environment.h"

#include <QTimeZone>
#include <limits>

namespace {

// Frees what the platform hands out on every path.
struct BufferFree {
    void operator()(MapiBuffer *b) const { MAPIFreeBuffer(b); }
};
struct RowsFree {
    void operator()(SRowSet *r) const { FreeProws(r); }
};
struct AdrFree {
    void operator()(ADRLIST *l) const { FreePadrlist(l); }
};
using PropsPtr = std::unique_ptr<SPropArray, BufferFree>;
using RowsPtr = std::unique_ptr<SRowSet, RowsFree>;
using AdrPtr = std::unique_ptr<ADRLIST, AdrFree>;

SPropTagArray tags(std::initializer_list<ULONG> list)
{
    SPropTagArray a;
    a.aulPropTag.assign(list);
    return a;
}

// A column counts as present when it carries the requested tag.
bool present(const SRow &row, size_t col, ULONG tag)
{
    return col < row.lpProps.size() && row.lpProps[col].ulPropTag == tag;
}

constexpr qint64 kTicksPerDay = 864000000000LL;

} // namespace

QString GetStringProperty(IMAPIProp *message, ULONG propTag)
{
    if (!message)
        throw EMapiProperty(QString::asprintf("Unable to get property %.8x", propTag),
                            MAPI_E_INVALID_PARAMETER);
    // Called once per listed message on every refresh: the tag array is
    // kept rather than made each time.
    thread_local SPropTagArray one{{PR_NULL}};
    one.aulPropTag[0] = propTag;
    ULONG count = 0;
    SPropArray *raw = nullptr;
    const HRESULT hr = message->GetProps(&one, 0, &count, &raw);
    const PropsPtr props(raw);
    if (hr == MAPI_W_ERRORS_RETURNED)
        return {};
    if (hr != S_OK || !props || props->lpProps.empty() || props->lpProps[0].ulPropTag != propTag)
        throw EMapiProperty(QString::asprintf("Unable to get property %.8x", propTag), hr);
    return props->lpProps[0].str;
}

QDateTime ZeroDateTime()
{
    return QDateTime(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC);
}

QDateTime FileTimeToDateTime(FILETIME count)
{
    const qint64 days = qint64(count / quint64(kTicksPerDay));
    const qint64 rest = qint64(count % quint64(kTicksPerDay));
    // The day fraction to the millisecond, as a date-time value holds it.
    return QDateTime(QDate(1601, 1, 1).addDays(days), QTime(0, 0).addMSecs(int(rest / 10000)), Qt::UTC);
}

// ---------------------------------------------------------------- flags

ULONG TMAPILogonFlags::packed() const
{
    ULONG f = 0;
    const std::pair<bool, ULONG> bits[] = {
        {LOGON_UI, MAPI_LOGON_UI},
        {NEW_SESSION, MAPI_NEW_SESSION},
        {ALLOW_OTHERS, MAPI_ALLOW_OTHERS},
        {EXPLICIT_PROFILE, MAPI_EXPLICIT_PROFILE},
        {EXTENDED, MAPI_EXTENDED},
        {FORCE_DOWNLOAD, MAPI_FORCE_DOWNLOAD},
        {SERVICE_UI_ALWAYS, MAPI_SERVICE_UI_ALWAYS},
        {NO_MAIL, MAPI_NO_MAIL},
        {NT_SERVICE, MAPI_NT_SERVICE},
        {PASSWORD_UI, MAPI_PASSWORD_UI},
        {TIMEOUT_SHORT, MAPI_TIMEOUT_SHORT},
        {USE_DEFAULT, MAPI_USE_DEFAULT},
    };
    for (const auto &[on, bit] : bits)
        if (on)
            f |= bit;
    return f;
}

ULONG TMAPILogoffFlags::packed() const
{
    return (LOGOFF_SHARED ? MAPI_LOGOFF_SHARED : 0) | (LOGOFF_UI ? MAPI_LOGOFF_UI : 0);
}

// ---------------------------------------------------------------- stream

std::int32_t TIStream::Read(void *buffer, std::int32_t count)
{
    ULONG done = 0;
    const HRESULT hr = m_stream->Read(buffer, ULONG(std::max(count, 0)), &done);
    if (HR_FAILED(hr))
        throw EMapiError(QString::asprintf("Stream read failed (%.8x)", unsigned(hr)), hr);
    return std::int32_t(done);
}

std::int32_t TIStream::Write(const void *buffer, std::int32_t count)
{
    ULONG done = 0;
    const HRESULT hr = m_stream->Write(buffer, ULONG(std::max(count, 0)), &done);
    if (HR_FAILED(hr))
        throw EMapiError(QString::asprintf("Stream write failed (%.8x)", unsigned(hr)), hr);
    return std::int32_t(done);
}

std::int32_t TIStream::Seek(std::int32_t offset, std::uint16_t origin)
{
    quint64 pos = 0;
    const HRESULT hr = m_stream->Seek(qint64(offset), origin, &pos);
    if (HR_FAILED(hr))
        throw EMapiError(QString::asprintf("Stream seek failed (%.8x)", unsigned(hr)), hr);
    return std::int32_t(quint32(pos & 0xFFFFFFFFu));
}

void TIStream::SetSize(std::int64_t size)
{
    m_stream->SetSize(quint64(std::max<std::int64_t>(size, 0)));
}

// ---------------------------------------------------------------- recipients, attachments

QString TMAPIRecipient::DisplayName() const
{
    return m_email.isEmpty() ? m_name : m_name + " (" + m_email + ")";
}

void TMAPIRecipient::Assign(const TMAPIRecipient &other)
{
    m_name = other.m_name;
    m_email = other.m_email;
}

QString TMAPIAttachment::DisplayName() const
{
    if (!m_name.isEmpty())
        return m_name;
    // What a collection item without a name of its own shows.
    return QStringLiteral("TMAPIAttachment");
}

void TMAPIAttachment::setLoaded(ULONG number, std::shared_ptr<IAttach> attach,
                                std::unique_ptr<TIStream> stream)
{
    m_number = number;
    m_attach = std::move(attach);
    m_stream = std::move(stream);
}

void TMAPIAttachment::Assign(const TMAPIAttachment &other)
{
    m_name = other.m_name;
    m_fileName = other.m_fileName;
    m_number = other.m_number;
    m_attach = other.m_attach;
    m_stream.reset();
    if (m_attach) {
        std::shared_ptr<IStream> data;
        if (m_attach->OpenProperty(PR_ATTACH_DATA_BIN, IID::IStream, 0, 0, &data) == S_OK && data)
            m_stream = std::make_unique<TIStream>(std::move(data));
    }
}

void TMAPIAttachments::Assign(const TMAPIAttachments &other)
{
    if (&other == this)
        return;
    Clear();
    for (int i = 0; i < other.Count(); ++i)
        Add()->Assign(*other.Items(i));
}

// ---------------------------------------------------------------- messages

TMAPIMessage::TMAPIMessage(TMAPIMessages *collection) : m_collection(collection) {}

TMAPIAttachments &TMAPIMessage::Attachments()
{
    if (!m_attachments)
        m_attachments = std::make_unique<TMAPIAttachments>(this);
    return *m_attachments;
}

TMAPIRecipients &TMAPIMessage::Recipients()
{
    if (!m_recipients)
        m_recipients = std::make_unique<TMAPIRecipients>(this);
    return *m_recipients;
}

QString TMAPIMessage::BODY() const
{
    if (m_bodyKnown || !m_message)
        return m_body;
    try {
        return GetStringProperty(m_message.get(), PR_BODY);
    } catch (const EMapiProperty &) {
        return {};
    }
}

QDateTime TMAPIMessage::MessageDeliveryTime() const
{
    return m_hasDelivery ? FileTimeToDateTime(m_delivery) : ZeroDateTime();
}

QString TMAPIMessage::DisplayName() const
{
    return "from " + m_sender + " , subj: " + m_subject;
}

TMAPISession *TMAPIMessage::Session() const
{
    return m_collection ? m_collection->Session() : nullptr;
}

TMAPISession *TMAPIMessages::Session() const
{
    return m_folder ? m_folder->Session() : nullptr;
}

void TMAPIMessages::setMessagesSubmited(bool v)
{
    m_submitted = v ? SubmitMessages() : false;
}

bool TMAPIMessages::SubmitMessages()
{
    if (!m_folder || !m_folder->Active())
        return true;
    TMAPISession *session = Session();
    std::shared_ptr<IMAPIFolder> folder = m_folder->folderObject();
    if (!session || !folder)
        return false;
    bool result = true;
    for (int i = 0; i < Count(); ++i) {
        TMAPIMessage *item = Items(i);
        if (item->m_message)
            continue;
        result = false;
        std::shared_ptr<IMAPIMessage> msg;
        if (folder->CreateMessage(IID::Default, item->m_flags.MessageFlag(), &msg) != S_OK || !msg)
            continue;
        if (HR_FAILED(msg->SetProps({SPropValue::ofString(PR_SUBJECT, item->m_subject),
                                     SPropValue::ofString(PR_BODY, item->m_body)})))
            continue;
        AdrPtr list(new ADRLIST);
        for (int r = 0; r < item->Recipients().Count(); ++r) {
            const TMAPIRecipient *rcpt = item->Recipients().Items(r);
            ADRENTRY e;
            e.rgPropVals.push_back(
                SPropValue::ofString(PR_DISPLAY_NAME, rcpt->Name().isEmpty() ? rcpt->EMail() : rcpt->Name()));
            e.rgPropVals.push_back(SPropValue::ofLong(PR_RECIPIENT_TYPE, MAPI_TO));
            // With both a name and an address the address is what reaches the
            // recipient; a name alone would have to be in the address book.
            if (!rcpt->EMail().isEmpty())
                e.rgPropVals.push_back(SPropValue::ofString(PR_EMAIL_ADDRESS, rcpt->EMail()));
            list->aEntries.push_back(std::move(e));
        }
        std::shared_ptr<IAddrBook> book = session->addressBook();
        if (!book || book->ResolveName(0, 0, nullptr, list.get()) != S_OK)
            continue;
        if (msg->ModifyRecipients(0, list.get()) != S_OK)
            continue;
        if (HR_FAILED(msg->SaveChanges(KEEP_OPEN_READWRITE)))
            continue;
        for (int a = 0; a < item->Attachments().Count(); ++a) {
            const TMAPIAttachment *att = item->Attachments().Items(a);
            std::shared_ptr<IStream> file;
            if (OpenStreamOnFile(MAPIAllocateBuffer, MAPIFreeBuffer, STGM_READ, att->FileName(), QString(),
                                 &file) != S_OK ||
                !file)
                continue;
            ULONG num = 0;
            std::shared_ptr<IAttach> attach;
            if (msg->CreateAttach(IID::Default, 0, &num, &attach) != S_OK || !attach)
                continue;
            std::shared_ptr<IStream> target;
            if (attach->OpenProperty(PR_ATTACH_DATA_BIN, IID::IStream, 0, MAPI_CREATE | MAPI_MODIFY,
                                     &target) != S_OK ||
                !target)
                continue;
            STATSTG st;
            if (file->Stat(&st, STATFLAG_NONAME) != S_OK)
                continue;
            quint64 read = 0, written = 0;
            if (file->CopyTo(target.get(), st.cbSize, &read, &written) != S_OK)
                continue;
            if (HR_FAILED(attach->SetProps({SPropValue::ofString(PR_ATTACH_FILENAME, att->FileName()),
                                            SPropValue::ofLong(PR_ATTACH_METHOD, ATTACH_BY_VALUE),
                                            SPropValue::ofLong(PR_RENDERING_POSITION, -1)})))
                continue;
            attach->SaveChanges(0);
        }
        if (msg->SubmitMessage(0) != S_OK)
            continue;
        SPropArray *raw = nullptr;
        if (HrGetOneProp(msg.get(), PR_ENTRYID, &raw) == S_OK) {
            const PropsPtr id(raw);
            if (id && !id->lpProps.empty())
                item->m_entryId = id->lpProps[0].bin;
        }
        item->m_message = std::move(msg);
        result = true;
    }
    return result;
}

// ---------------------------------------------------------------- folders

TMAPIFolder::TMAPIFolder(TMAPIFolders *collection)
    : m_collection(collection),
      m_folders(std::make_unique<TMAPIFolders>(collection ? collection->Session() : nullptr, this)),
      m_messages(std::make_unique<TMAPIMessages>(this))
{
}

TMAPIFolder::~TMAPIFolder() = default;

TMAPISession *TMAPIFolder::Session() const
{
    return m_collection ? m_collection->Session() : nullptr;
}

void TMAPIFolder::setOpened(QByteArray entryId, std::shared_ptr<IMAPIFolder> folder)
{
    m_entryId = std::move(entryId);
    m_folder = std::move(folder);
}

void TMAPIFolder::setActive(bool v)
{
    if (v && !m_active)
        m_active = OpenFolder();
    else if (!v && m_active)
        m_active = CloseFolder();
}

bool TMAPIFolder::OpenFolder()
{
    TMAPISession *session = Session();
    if (!session || !session->Active() || !m_folder || m_entryId.isEmpty())
        return false;
    m_messages->Clear();
    m_folders->Clear();
    LoadSubfolders();
    LoadMessages();
    return true;
}

bool TMAPIFolder::CloseFolder()
{
    m_messages->Clear();
    m_folders->Clear();
    return false;
}

void TMAPIFolder::LoadSubfolders()
{
    std::shared_ptr<IMAPITable> table;
    HRESULT hr = m_folder->GetHierarchyTable(0, &table);
    if (hr != S_OK || !table)
        throw EMapiError(QStringLiteral("Unable to read the folder list"), hr);
    const SPropTagArray cols = tags({PR_DISPLAY_NAME, PR_SUBJECT, PR_ENTRYID, PR_FOLDER_TYPE, PR_COMMENT});
    SRowSet *raw = nullptr;
    hr = HrQueryAllRows(table.get(), &cols, nullptr, nullptr, 0, &raw);
    const RowsPtr rows(raw);
    if (hr != S_OK || !rows)
        throw EMapiError(QStringLiteral("Unable to read the folder list"), hr);
    std::shared_ptr<IMAPISession> mapi = Session()->mapiSession();
    for (const SRow &row : rows->aRow) {
        if (!present(row, 2, PR_ENTRYID))
            continue;
        TMAPIFolder *sub = m_folders->Add();
        sub->m_entryId = row.lpProps[2].bin;
        ULONG type = 0;
        std::shared_ptr<IMAPIProp> obj;
        if (mapi && mapi->OpenEntry(sub->m_entryId, IID::Default, MAPI_MODIFY, &type, &obj) == S_OK)
            sub->m_folder = std::dynamic_pointer_cast<IMAPIFolder>(obj);
        sub->m_displayName = present(row, 0, PR_DISPLAY_NAME) ? row.lpProps[0].str : QString();
        sub->m_subject = present(row, 1, PR_SUBJECT) ? row.lpProps[1].str : QString();
        sub->m_comment = present(row, 4, PR_COMMENT) ? row.lpProps[4].str : QString();
    }
}

void TMAPIFolder::LoadMessages()
{
    std::shared_ptr<IMAPITable> table;
    HRESULT hr = m_folder->GetContentsTable(0, &table);
    if (hr != S_OK || !table)
        throw EMapiError(QStringLiteral("Unable to read the message list"), hr);
    const SPropTagArray cols = tags({PR_SENT_REPRESENTING_NAME, PR_SUBJECT, PR_ENTRYID, PR_MESSAGE_FLAGS,
                                     PR_BODY, PR_MESSAGE_SIZE, PR_MESSAGE_DELIVERY_TIME});
    SRowSet *raw = nullptr;
    hr = HrQueryAllRows(table.get(), &cols, nullptr, nullptr, 0, &raw);
    const RowsPtr rows(raw);
    if (hr != S_OK || !rows)
        throw EMapiError(QStringLiteral("Unable to read the message list"), hr);
    std::shared_ptr<IMAPISession> mapi = Session()->mapiSession();
    m_messages->reserve(int(std::min<size_t>(rows->aRow.size(), size_t(std::numeric_limits<int>::max()))));
    for (SRow &row : rows->aRow) {
        if (!present(row, 2, PR_ENTRYID))
            continue;
        TMAPIMessage *m = m_messages->Add();
        m->m_entryId = row.lpProps[2].bin;
        ULONG type = 0;
        std::shared_ptr<IMAPIProp> obj;
        if (mapi && mapi->OpenEntry(m->m_entryId, IID::Default, MAPI_MODIFY, &type, &obj) == S_OK)
            m->m_message = std::dynamic_pointer_cast<IMAPIMessage>(obj);
        m->m_sender =
            present(row, 0, PR_SENT_REPRESENTING_NAME) ? row.lpProps[0].str : QStringLiteral("<no sender>");
        m->m_subject = present(row, 1, PR_SUBJECT) ? row.lpProps[1].str : QStringLiteral("<no subject>");
        m->m_bodyKnown = present(row, 4, PR_BODY);
        m->m_body = m->m_bodyKnown ? row.lpProps[4].str : QString();
        m->m_flags.setMessageFlag(present(row, 3, PR_MESSAGE_FLAGS) ? ULONG(row.lpProps[3].Value.l) : 0);
        m->m_size = present(row, 5, PR_MESSAGE_SIZE) ? row.lpProps[5].Value.l : 0;
        m->m_hasDelivery = present(row, 6, PR_MESSAGE_DELIVERY_TIME);
        m->m_delivery = m->m_hasDelivery ? row.lpProps[6].Value.ft : 0;

        if (!m->m_flags.HASATTACH() || !m->m_message)
            continue;
        std::shared_ptr<IMAPITable> attTable;
        hr = m->m_message->GetAttachmentTable(0, &attTable);
        if (hr != S_OK || !attTable)
            throw EMapiError(QStringLiteral("Unable to read the attachments"), hr);
        const SPropTagArray attCols = tags(
            {PR_ATTACH_NUM, PR_ATTACH_FILENAME, PR_ATTACH_EXTENSION, PR_ATTACH_METHOD, PR_ATTACH_PATHNAME});
        attTable->SetColumns(&attCols, 0);
        ULONG count = 0;
        attTable->GetRowCount(0, &count);
        for (ULONG i = 0; i < count; ++i) {
            SRowSet *oneRaw = nullptr;
            if (attTable->QueryRows(1, 0, &oneRaw) != S_OK) {
                FreeProws(oneRaw);
                break;
            }
            const RowsPtr one(oneRaw);
            // A table that says it has more rows than it gives ends here.
            if (!one || one->aRow.empty())
                break;
            const SRow &ar = one->aRow[0];
            if (!present(ar, 0, PR_ATTACH_NUM))
                continue;
            const ULONG num = ULONG(ar.lpProps[0].Value.l);
            std::shared_ptr<IAttach> attach;
            if (m->m_message->OpenAttach(num, IID::Default, 0, &attach) != S_OK || !attach)
                continue;
            if (!present(ar, 1, PR_ATTACH_FILENAME))
                continue;
            std::shared_ptr<IStream> data;
            hr = attach->OpenProperty(PR_ATTACH_DATA_BIN, IID::IStream, 0, 0, &data);
            if (hr != S_OK || !data)
                throw EMapiError(QStringLiteral("Unable to open the attachment data"), hr);
            TMAPIAttachment *a = m->Attachments().Add();
            const QString fileName = ar.lpProps[1].str;
            a->setFileName(fileName);
            const qsizetype cut =
                std::max(fileName.lastIndexOf(QLatin1Char('\\')), fileName.lastIndexOf(':'));
            a->setName(fileName.mid(cut + 1));
            a->setLoaded(num, std::move(attach), std::make_unique<TIStream>(std::move(data)));
        }
    }
}

// ---------------------------------------------------------------- session

TMAPISession::TMAPISession(Environment &env, QObject *parent)
    : QObject(parent), m_library(std::make_unique<MapiLibrary>(env))
{
    MAPIINIT_0 init{0, MAPI_MULTITHREAD_NOTIFICATIONS};
    m_library->MAPIInitialize(&init);
    m_folders = std::make_unique<TMAPIFolders>(this, nullptr);
    for (int i = 0; i < 4; ++i)
        m_folders->Add();
}

TMAPISession::TMAPISession(const QString &mailFolder, QObject *parent)
    : QObject(parent), m_library(std::make_unique<MapiLibrary>(mailFolder))
{
    MAPIINIT_0 init{0, MAPI_MULTITHREAD_NOTIFICATIONS};
    m_library->MAPIInitialize(&init);
    m_folders = std::make_unique<TMAPIFolders>(this, nullptr);
    for (int i = 0; i < 4; ++i)
        m_folders->Add();
}

TMAPISession::~TMAPISession()
{
    if (m_active)
        setActive(false);
    m_folders.reset();
    releaseAll();
    m_library->MAPIUninitialize();
}

void TMAPISession::setActive(bool v)
{
    if (m_loading) {
        m_activeWhenLoaded = v;
        return;
    }
    if (v && !m_active) {
        m_active = Logon();
        if (m_active)
            for (int i = 0; i < 4; ++i)
                m_folders->Items(i)->setActive(true);
    } else if (!v && m_active) {
        m_active = Logoff();
    }
}

void TMAPISession::Loaded()
{
    m_loading = false;
    if (m_activeWhenLoaded)
        setActive(true);
}

void TMAPISession::releaseAll()
{
    m_spooler.reset();
    for (auto &f : m_standard)
        f.reset();
    m_addrBook.reset();
    m_store.reset();
    m_session.reset();
}

bool TMAPISession::Logon()
{
    releaseAll();
    if (HR_FAILED(m_library->MAPILogonEx(m_windowHandle, m_profileName, m_password, m_logonFlags.packed(),
                                         &m_session)) ||
        !m_session)
        return false;
    if (!openDefaultStore())
        return false;
    if (m_session->OpenAddressBook(m_windowHandle, IID::Default, 0, &m_addrBook) != S_OK)
        return false;
    return openStandardFolders() && openSpoolerStatus();
}

bool TMAPISession::openDefaultStore()
{
    std::shared_ptr<IMAPITable> table;
    if (m_session->GetMsgStoresTable(0, &table) != S_OK || !table)
        return false;
    const SPropTagArray cols = tags({PR_ENTRYID, PR_DEFAULT_STORE});
    SRestriction only;
    only.rt = RES_PROPERTY;
    only.relop = RELOP_EQ;
    only.ulPropTag = PR_DEFAULT_STORE;
    only.value = SPropValue::ofBool(PR_DEFAULT_STORE, true);
    SRowSet *raw = nullptr;
    const HRESULT hr = HrQueryAllRows(table.get(), &cols, &only, nullptr, 0, &raw);
    const RowsPtr rows(raw);
    if (hr != S_OK || !rows || rows->aRow.empty() || !present(rows->aRow[0], 0, PR_ENTRYID))
        return false; // MAPI_E_NO_SUPPORT
    return m_session->OpenMsgStore(m_windowHandle, rows->aRow[0].lpProps[0].bin, IID::Default, MDB_WRITE,
                                   &m_store) == S_OK &&
           m_store;
}

bool TMAPISession::openStandardFolders()
{
    const SPropTagArray wanted = tags({PR_NULL, PR_IPM_OUTBOX_ENTRYID, PR_IPM_WASTEBASKET_ENTRYID,
                                       PR_IPM_SENTMAIL_ENTRYID, PR_IPM_SUBTREE_ENTRYID});
    ULONG count = 0;
    SPropArray *raw = nullptr;
    const HRESULT hr = m_store->GetProps(&wanted, 0, &count, &raw);
    const PropsPtr props(raw);
    if (HR_FAILED(hr) || !props || props->lpProps.size() < 5)
        return false;
    QByteArray inbox;
    if (m_store->GetReceiveFolder("IPM.Note", 0, &inbox, nullptr) != S_OK)
        return false;
    for (int i = 0; i < 5; ++i) {
        if (props->lpProps[size_t(i)].ulPropTag != wanted.aulPropTag[size_t(i)])
            return false; // MAPI_E_NO_SUPPORT
        m_entryIds[i] = i == 0 ? inbox : props->lpProps[size_t(i)].bin;
    }
    for (int j = 0; j < 4; ++j) {
        ULONG type = 0;
        std::shared_ptr<IMAPIProp> obj;
        if (m_session->OpenEntry(m_entryIds[j], IID::Default, MAPI_MODIFY, &type, &obj) != S_OK)
            return false;
        if (type != MAPI_FOLDER)
            return false; // MAPI_E_INVALID_OBJECT
        m_standard[j] = std::dynamic_pointer_cast<IMAPIFolder>(obj);
        if (!m_standard[j])
            return false;
    }
    static const char *names[] = {"INBOX", "OUTBOX", "WASTEBOX", "SENTBOX"};
    for (int j = 0; j < 4; ++j) {
        TMAPIFolder *f = m_folders->Items(j);
        f->setOpened(m_entryIds[j], m_standard[j]);
        f->setDisplayName(QString::fromLatin1(names[j]));
        f->setFolderType(FOLDERS_TYPE(j));
    }
    return true;
}

bool TMAPISession::openSpoolerStatus()
{
    std::shared_ptr<IMAPITable> table;
    if (m_session->GetStatusTable(0, &table) != S_OK || !table)
        return false;
    const SPropTagArray cols = tags({PR_RESOURCE_TYPE, PR_ENTRYID});
    SRestriction only;
    only.ulPropTag = PR_RESOURCE_TYPE;
    only.value = SPropValue::ofLong(PR_RESOURCE_TYPE, LONG(MAPI_SPOOLER));
    SRowSet *raw = nullptr;
    const HRESULT hr = HrQueryAllRows(table.get(), &cols, &only, nullptr, 0, &raw);
    const RowsPtr rows(raw);
    if (hr != S_OK || !rows || rows->aRow.empty() || !present(rows->aRow[0], 1, PR_ENTRYID))
        return false;
    ULONG type = 0;
    std::shared_ptr<IMAPIProp> obj;
    if (m_session->OpenEntry(rows->aRow[0].lpProps[1].bin, IID::IMAPIStatus, MAPI_BEST_ACCESS, &type, &obj) !=
            S_OK ||
        type != MAPI_STATUS)
        return false;
    m_spooler = std::dynamic_pointer_cast<IMAPIStatus>(obj);
    return m_spooler != nullptr;
}

bool TMAPISession::Logoff()
{
    bool active = m_active;
    if (active && m_session && m_session->Logoff(m_windowHandle, m_logoffFlags.packed(), 0) == S_OK)
        active = false;
    for (int i = 0; i < 4; ++i)
        m_folders->Items(i)->setActive(false);
    if (!active)
        releaseAll();
    return active;
}
