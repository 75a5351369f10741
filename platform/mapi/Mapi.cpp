#include "platform/mapi/Mapi.h"

#include "platform/environment/Environment.h"
#include "platform/mail/MailAccount.h"
#include "platform/mail/MailClient.h"
#include "platform/mail/MailError.h"
#include "platform/mail/MailMessage.h"
#include "platform/mail/MaildirStore.h"
#include "platform/mail/VCard.h"

#include <QFile>
#include <QTimeZone>
#include <algorithm>
#include <map>
#include <optional>

namespace {

constexpr HRESULT MAPI_E_END_OF_SESSION = HRESULT(0x80040200u);
constexpr HRESULT MAPI_E_TABLE_TOO_BIG = HRESULT(0x80040403u);
constexpr ULONG PR_MESSAGE_CLASS = PROP_TAG(PT_STRING8, 0x001A);
constexpr ULONG PR_ADDRTYPE = PROP_TAG(PT_STRING8, 0x3002);
constexpr ULONG PR_CONTENT_COUNT = PROP_TAG(PT_LONG, 0x3602);
constexpr ULONG PR_ATTACH_SIZE = PROP_TAG(PT_LONG, 0x0E20);
constexpr ULONG PR_PROVIDER_DISPLAY = PROP_TAG(PT_STRING8, 0x3006);
constexpr ULONG MAPI_STORE_PROVIDER = 33;
constexpr ULONG FOLDER_ROOT = 0;
constexpr ULONG FOLDER_GENERIC = 1;

// Larger attachment or stream data than a message may hold is refused.
constexpr qint64 kMaxStreamBytes = MaildirStore::kMaxMessageBytes;

// ---------------------------------------------------------------- entry identifiers

// An entry identifier: four flag bytes, this provider's 16-byte id, the kind
// of object, the folder, and for a message its id in the mail store.
const QByteArray &providerUid()
{
    static const QByteArray uid("BRENVOY-MAILSTOR", 16);
    return uid;
}

enum class Kind : char { Store = 1, Folder = 2, Message = 3, Status = 4, Recipient = 5 };
enum FolderCode : int { fInbox = 0, fOutbox = 1, fDeleted = 2, fSent = 3, fRoot = 4 };
constexpr qsizetype kHeaderBytes = 4 + 16 + 2;

QByteArray makeEntryId(Kind kind, int folder, const QString &message = {})
{
    // One per listed message: made in one allocation when the id is ASCII,
    // as the store's own ids are.
    QByteArray id(kHeaderBytes + message.size(), Qt::Uninitialized);
    char *p = id.data();
    memset(p, 0, 4);
    memcpy(p + 4, providerUid().constData(), 16);
    p[20] = char(kind);
    p[21] = char(folder);
    for (qsizetype i = 0; i < message.size(); ++i) {
        const char16_t c = message[i].unicode();
        if (c >= 0x80) {
            id.truncate(kHeaderBytes);
            return id + message.toUtf8();
        }
        p[kHeaderBytes + i] = char(c);
    }
    return id;
}

struct EntryId {
    Kind kind;
    int folder;
    QByteArrayView message; // UTF-8, within the identifier parsed
};

// Nothing in an identifier handed to us is trusted: its length, kind,
// folder and message id are all checked.
std::optional<EntryId> parseEntryId(const QByteArray &id)
{
    if (id.size() < kHeaderBytes || id.size() > kMaxEntryIdBytes)
        return std::nullopt;
    if (QByteArrayView(id).sliced(4, 16) != QByteArrayView(providerUid()))
        return std::nullopt;
    const auto kind = Kind(id[20]);
    const int folder = id[21];
    if (folder < fInbox || folder > fRoot)
        return std::nullopt;
    EntryId e{kind, folder, QByteArrayView(id).sliced(kHeaderBytes)};
    switch (kind) {
    case Kind::Store:
    case Kind::Folder:
    case Kind::Status:
        if (id.size() != kHeaderBytes)
            return std::nullopt;
        return e;
    case Kind::Message:
        // A message id names a file of the folder and nothing else.
        if (folder == fRoot || e.message.isEmpty() || e.message.contains('/') || e.message.contains('\0') ||
            e.message.startsWith('.'))
            return std::nullopt;
        return e;
    case Kind::Recipient:
        return e;
    }
    return std::nullopt;
}

StoreFolder storeFolderOf(int code)
{
    switch (code) {
    case fOutbox:
        return StoreFolder::Outbox;
    case fSent:
        return StoreFolder::SentItems;
    case fDeleted:
        return StoreFolder::DeletedItems;
    default:
        break;
    }
    return StoreFolder::Inbox;
}

QString folderName(int code)
{
    static const char *names[] = {"Inbox", "Outbox", "Deleted Items", "Sent Items",
                                  "Top of Personal Folders"};
    return QString::fromLatin1(names[std::clamp(code, 0, 4)]);
}

FILETIME toFileTime(const QDateTime &t)
{
    // 1601 to 1970 is 11,644,473,600 seconds.
    const qint64 ms = t.toMSecsSinceEpoch() + 11644473600000LL;
    return ms < 0 ? 0 : FILETIME(ms) * 10000u;
}

// The name part of "Name <addr>", or the address when there is no name.
QString senderName(const QString &from)
{
    const qsizetype lt = from.indexOf(QLatin1Char('<'));
    if (lt < 0)
        return from.trimmed();
    QString name = from.left(lt).trimmed();
    if (name.size() >= 2 && name.startsWith(QLatin1Char('"')) && name.endsWith(QLatin1Char('"')))
        name = name.mid(1, name.size() - 2);
    if (!name.isEmpty())
        return name;
    const qsizetype gt = from.indexOf(QLatin1Char('>'), lt);
    return from.mid(lt + 1, gt < 0 ? -1 : gt - lt - 1).trimmed();
}

LONG clampLong(qint64 v)
{
    return LONG(std::clamp<qint64>(v, 0, std::numeric_limits<LONG>::max()));
}

// ---------------------------------------------------------------- logon context

// A folder's messages as read at one moment; message objects opened from
// it keep it alive.
struct Snapshot {
    int folder = fInbox;
    QList<MessageSummary> items;

    // Messages are opened in list order: the row after the last one found
    // is tried first. Otherwise items are in id order, so a lookup is a
    // binary search; ids that do not sort as text alike fall back to a scan.
    int find(QByteArrayView utf8) const
    {
        // The store's ids are ASCII: compared as they are, without a copy.
        if (std::any_of(utf8.begin(), utf8.end(), [](char c) { return uchar(c) >= 0x80; }))
            return find(QString::fromUtf8(utf8));
        return find(QLatin1StringView(utf8.data(), utf8.size()));
    }
    template <typename Text> int find(Text id) const
    {
        const int guess = m_last + 1;
        if (guess < items.size() && items[guess].id == id)
            return m_last = guess;
        auto it = std::lower_bound(items.cbegin(), items.cend(), id, [](const MessageSummary &s, Text v) {
            return QStringView(s.id).compare(v) < 0;
        });
        if (it != items.cend() && it->id == id)
            return m_last = int(it - items.cbegin());
        for (qsizetype i = 0; i < items.size(); ++i)
            if (items[i].id == id)
                return m_last = int(i);
        return -1;
    }

private:
    mutable int m_last = -1;
};

struct Context {
    QString mailFolder;
    Environment *env = nullptr;
    std::unique_ptr<MaildirStore> store;
    std::unique_ptr<MailClient> client; // made at the first submission, for delivery
    bool loggedOn = true;
    std::shared_ptr<const Snapshot> snapshots[4];

    std::shared_ptr<const Snapshot> snapshot(int folder, bool fresh)
    {
        auto &s = snapshots[folder];
        if (!s || fresh) {
            auto snap = std::make_shared<Snapshot>();
            snap->folder = folder;
            snap->items = store->messages(storeFolderOf(folder));
            s = std::move(snap);
        }
        return s;
    }

    QDateTime now() const { return env ? env->clock().now() : QDateTime::currentDateTime(); }

    // Hands the Outbox to the mail client's delivery, as the spooler does.
    void deliver()
    {
        if (!env)
            return;
        try {
            if (!client)
                client = std::make_unique<MailClient>(*env);
            client->requestDelivery();
        } catch (const MailError &) {
            // The mail waits in the Outbox, where the mail client shows why.
        }
    }
};

// ---------------------------------------------------------------- tables

bool matches(const SPropValue &v, const SRestriction &r)
{
    switch (r.rt) {
    case RES_AND:
        return std::all_of(r.sub.begin(), r.sub.end(), [&](const SRestriction &s) { return matches(v, s); });
    case RES_PROPERTY:
        break;
    default:
        return false;
    }
    if (v.ulPropTag != r.ulPropTag)
        return false;
    bool eq = false;
    switch (PROP_TYPE(r.ulPropTag)) {
    case PT_LONG:
        eq = v.Value.l == r.value.Value.l;
        break;
    case PT_BOOLEAN:
        eq = v.Value.b == r.value.Value.b;
        break;
    case PT_SYSTIME:
        eq = v.Value.ft == r.value.Value.ft;
        break;
    case PT_STRING8:
        eq = v.str == r.value.str;
        break;
    case PT_BINARY:
        eq = v.bin == r.value.bin;
        break;
    default:
        return false;
    }
    return r.relop == RELOP_EQ ? eq : r.relop == RELOP_NE ? !eq : false;
}

// A table whose rows are computed column by column when they are fetched.
class Table : public IMAPITable {
public:
    HRESULT SetColumns(const SPropTagArray *tags, ULONG) override
    {
        if (!tags)
            return MAPI_E_INVALID_PARAMETER;
        m_cols = tags->aulPropTag;
        return S_OK;
    }
    HRESULT GetRowCount(ULONG, ULONG *count) override
    {
        if (!count)
            return MAPI_E_INVALID_PARAMETER;
        *count = ULONG(visible());
        return S_OK;
    }
    HRESULT QueryRows(LONG count, ULONG, SRowSet **rows) override
    {
        if (!rows)
            return MAPI_E_INVALID_PARAMETER;
        *rows = nullptr;
        if (count < 0)
            return MAPI_E_NO_SUPPORT; // reading backwards is not offered
        auto set = std::make_unique<SRowSet>();
        const qint64 n = std::min<qint64>(count, visible() - m_pos);
        set->aRow.resize(size_t(std::max<qint64>(n, 0)));
        for (auto &row : set->aRow) {
            const qint64 r = m_filtered ? m_rows[size_t(m_pos)] : m_pos;
            row.lpProps.reserve(m_cols.size());
            for (ULONG tag : m_cols)
                row.lpProps.push_back(value(r, tag));
            ++m_pos;
        }
        *rows = set.release();
        return S_OK;
    }
    HRESULT Restrict(const SRestriction *r, ULONG) override
    {
        m_pos = 0;
        m_rows.clear();
        m_filtered = r != nullptr;
        if (!r)
            return S_OK;
        const ULONG tag = r->rt == RES_PROPERTY ? r->ulPropTag : PR_NULL;
        for (qint64 i = 0; i < rowCount(); ++i) {
            if (r->rt == RES_PROPERTY ? matches(value(i, tag), *r) : matchesAll(i, *r))
                m_rows.push_back(i);
        }
        return S_OK;
    }
    HRESULT SeekRow(ULONG origin, LONG rows, LONG *sought) override
    {
        const qint64 start = origin == BOOKMARK_BEGINNING ? 0 : m_pos;
        const qint64 target = std::clamp<qint64>(start + rows, 0, visible());
        if (sought)
            *sought = LONG(target - start);
        m_pos = target;
        return S_OK;
    }

protected:
    virtual qint64 rowCount() const = 0;
    virtual SPropValue value(qint64 row, ULONG tag) const = 0;

private:
    qint64 visible() const { return m_filtered ? qint64(m_rows.size()) : rowCount(); }
    bool matchesAll(qint64 row, const SRestriction &r) const
    {
        if (r.rt == RES_AND)
            return std::all_of(r.sub.begin(), r.sub.end(),
                               [&](const SRestriction &s) { return matchesAll(row, s); });
        return matches(value(row, r.ulPropTag), r);
    }

    std::vector<ULONG> m_cols;
    std::vector<qint64> m_rows;
    bool m_filtered = false;
    qint64 m_pos = 0;
};

// A small table of fixed rows.
class RowsTable : public Table {
public:
    explicit RowsTable(std::vector<std::vector<SPropValue>> rows) : m_rows(std::move(rows)) {}

protected:
    qint64 rowCount() const override { return qint64(m_rows.size()); }
    SPropValue value(qint64 row, ULONG tag) const override
    {
        for (const SPropValue &v : m_rows[size_t(row)])
            if (v.ulPropTag == tag || (tag == PR_NULL && v.ulPropTag == PR_NULL))
                return v;
        return SPropValue::missing(tag);
    }

private:
    std::vector<std::vector<SPropValue>> m_rows;
};

// What a stored message shows without being read: all of it comes from
// the folder's listing.
SPropValue summaryProp(const Snapshot &snap, int row, ULONG tag)
{
    const MessageSummary &s = snap.items[row];
    switch (tag) {
    case PR_ENTRYID:
        return SPropValue::ofBinary(tag, makeEntryId(Kind::Message, snap.folder, s.id));
    case PR_SENT_REPRESENTING_NAME: {
        const QString name = senderName(s.from);
        return name.isEmpty() ? SPropValue::missing(tag) : SPropValue::ofString(tag, name);
    }
    case PR_SUBJECT:
        return s.subject.isEmpty() ? SPropValue::missing(tag) : SPropValue::ofString(tag, s.subject);
    case PR_MESSAGE_FLAGS: {
        ULONG f = snap.folder == fOutbox ? MSGFLAG_UNSENT : MSGFLAG_READ;
        if (!s.attachments.isEmpty())
            f |= MSGFLAG_HASATTACH;
        if (snap.folder == fOutbox || snap.folder == fSent)
            f |= MSGFLAG_FROMME;
        return SPropValue::ofLong(tag, LONG(f));
    }
    case PR_BODY:
        // Not kept with the listing: a folder of long mails would hold all
        // their texts. The message object reads it.
        return SPropValue::missing(tag, MAPI_E_NOT_ENOUGH_MEMORY);
    case PR_MESSAGE_SIZE:
        return SPropValue::ofLong(tag, clampLong(s.size));
    case PR_MESSAGE_DELIVERY_TIME:
        if (snap.folder == fOutbox || !s.time.isValid())
            return SPropValue::missing(tag);
        return SPropValue::ofTime(tag, toFileTime(s.time));
    case PR_DISPLAY_TO:
        return SPropValue::ofString(tag, s.to);
    case PR_MESSAGE_CLASS:
        return SPropValue::ofString(tag, QStringLiteral("IPM.Note"));
    case PR_OBJECT_TYPE:
        return SPropValue::ofLong(tag, LONG(MAPI_MESSAGE));
    default:
        break;
    }
    return SPropValue::missing(tag);
}

class ContentsTable : public Table {
public:
    explicit ContentsTable(std::shared_ptr<const Snapshot> snap) : m_snap(std::move(snap)) {}

protected:
    qint64 rowCount() const override { return m_snap->items.size(); }
    SPropValue value(qint64 row, ULONG tag) const override
    {
        if (tag == PR_SENT_REPRESENTING_NAME) {
            // One sender for most rows: its name is made once and shared.
            const QString &from = m_snap->items[row].from;
            if (from != m_lastFrom) {
                m_lastFrom = from;
                m_lastName = senderName(from);
            }
            return m_lastName.isEmpty() ? SPropValue::missing(tag) : SPropValue::ofString(tag, m_lastName);
        }
        return summaryProp(*m_snap, int(row), tag);
    }

private:
    std::shared_ptr<const Snapshot> m_snap;
    mutable QString m_lastFrom, m_lastName;
};

// ---------------------------------------------------------------- streams

class MemoryStream : public IStream {
public:
    explicit MemoryStream(QByteArray data = {}, bool writable = false)
        : m_data(std::move(data)), m_writable(writable)
    {
    }
    HRESULT Read(void *pv, ULONG cb, ULONG *read) override
    {
        if (HRESULT hr = load(); HR_FAILED(hr))
            return hr;
        const qint64 n = std::clamp<qint64>(m_data.size() - m_pos, 0, cb);
        if (n > 0)
            memcpy(pv, m_data.constData() + m_pos, size_t(n));
        m_pos += n;
        if (read)
            *read = ULONG(n);
        return S_OK;
    }
    HRESULT Write(const void *pv, ULONG cb, ULONG *written) override
    {
        if (!m_writable)
            return STG_E_WRITEFAULT;
        if (m_pos + qint64(cb) > kMaxStreamBytes)
            return MAPI_E_TOO_BIG;
        if (m_pos + qint64(cb) > m_data.size())
            m_data.resize(m_pos + cb);
        memcpy(m_data.data() + m_pos, pv, cb);
        m_pos += cb;
        if (written)
            *written = cb;
        return S_OK;
    }
    HRESULT Seek(qint64 move, ULONG origin, quint64 *pos) override
    {
        if (HRESULT hr = load(); HR_FAILED(hr))
            return hr;
        const qint64 base = origin == STREAM_SEEK_SET ? 0 : origin == STREAM_SEEK_CUR ? m_pos : m_data.size();
        if (origin > STREAM_SEEK_END || base + move < 0)
            return STG_E_INVALIDFUNCTION;
        m_pos = base + move;
        if (pos)
            *pos = quint64(m_pos);
        return S_OK;
    }
    HRESULT SetSize(quint64 size) override
    {
        if (!m_writable)
            return STG_E_INVALIDFUNCTION;
        if (size > quint64(kMaxStreamBytes))
            return MAPI_E_TOO_BIG;
        m_data.resize(qsizetype(size));
        return S_OK;
    }
    HRESULT Stat(STATSTG *st, ULONG) override
    {
        if (HRESULT hr = load(); HR_FAILED(hr))
            return hr;
        if (!st)
            return MAPI_E_INVALID_PARAMETER;
        st->cbSize = quint64(m_data.size());
        return S_OK;
    }
    HRESULT CopyTo(IStream *to, quint64 cb, quint64 *readOut, quint64 *writtenOut) override
    {
        if (HRESULT hr = load(); HR_FAILED(hr))
            return hr;
        if (!to)
            return MAPI_E_INVALID_PARAMETER;
        const qint64 n =
            std::clamp<qint64>(m_data.size() - m_pos, 0, qint64(std::min<quint64>(cb, 1ULL << 40)));
        ULONG written = 0;
        const HRESULT hr = to->Write(m_data.constData() + m_pos, ULONG(n), &written);
        m_pos += n;
        if (readOut)
            *readOut = quint64(n);
        if (writtenOut)
            *writtenOut = written;
        return hr;
    }
    const QByteArray &data() const { return m_data; }

protected:
    // Streams over stored data read it at first use.
    virtual HRESULT load() { return S_OK; }
    QByteArray m_data;

private:
    qint64 m_pos = 0;
    bool m_writable;
};

// A stored attachment's data, read from its message when first used.
class StoredAttachmentStream : public MemoryStream {
public:
    StoredAttachmentStream(std::shared_ptr<Context> ctx, int folder, QString id, int number)
        : m_ctx(std::move(ctx)), m_folder(folder), m_id(std::move(id)), m_number(number)
    {
    }

protected:
    HRESULT load() override
    {
        if (m_loaded)
            return m_result;
        m_loaded = true;
        try {
            const MailMessage m = Mime::parse(m_ctx->store->readMessage(storeFolderOf(m_folder), m_id));
            if (m_number >= m.attachments.size())
                m_result = MAPI_E_NOT_FOUND;
            else
                m_data = m.attachments[m_number].data;
        } catch (const MailError &) {
            m_result = STG_E_READFAULT;
        }
        return m_result;
    }

private:
    std::shared_ptr<Context> m_ctx;
    int m_folder;
    QString m_id;
    int m_number;
    bool m_loaded = false;
    HRESULT m_result = S_OK;
};

class FileStream : public IStream {
public:
    explicit FileStream(const QString &path) : m_file(path) {}
    bool open(ULONG flags)
    {
        QIODevice::OpenMode mode = QIODevice::ReadOnly;
        if (flags & STGM_CREATE)
            mode = QIODevice::ReadWrite | QIODevice::Truncate;
        else if (flags & (STGM_WRITE | STGM_READWRITE))
            mode = QIODevice::ReadWrite;
        return m_file.open(mode);
    }
    HRESULT Read(void *pv, ULONG cb, ULONG *read) override
    {
        const qint64 n = m_file.read(static_cast<char *>(pv), cb);
        if (n < 0)
            return STG_E_READFAULT;
        if (read)
            *read = ULONG(n);
        return S_OK;
    }
    HRESULT Write(const void *pv, ULONG cb, ULONG *written) override
    {
        const qint64 n = m_file.write(static_cast<const char *>(pv), cb);
        if (n < 0)
            return STG_E_WRITEFAULT;
        if (written)
            *written = ULONG(n);
        return S_OK;
    }
    HRESULT Seek(qint64 move, ULONG origin, quint64 *pos) override
    {
        const qint64 base = origin == STREAM_SEEK_SET   ? 0
                            : origin == STREAM_SEEK_CUR ? m_file.pos()
                                                        : m_file.size();
        if (origin > STREAM_SEEK_END || base + move < 0 || !m_file.seek(base + move))
            return STG_E_INVALIDFUNCTION;
        if (pos)
            *pos = quint64(m_file.pos());
        return S_OK;
    }
    HRESULT SetSize(quint64 size) override { return m_file.resize(qint64(size)) ? S_OK : STG_E_WRITEFAULT; }
    HRESULT Stat(STATSTG *st, ULONG) override
    {
        if (!st)
            return MAPI_E_INVALID_PARAMETER;
        st->cbSize = quint64(m_file.size());
        return S_OK;
    }
    HRESULT CopyTo(IStream *to, quint64 cb, quint64 *readOut, quint64 *writtenOut) override
    {
        if (!to)
            return MAPI_E_INVALID_PARAMETER;
        quint64 done = 0, written = 0;
        char buf[64 * 1024];
        while (done < cb) {
            const qint64 n = m_file.read(buf, qint64(std::min<quint64>(sizeof buf, cb - done)));
            if (n < 0)
                return STG_E_READFAULT;
            if (n == 0)
                break;
            ULONG w = 0;
            if (HRESULT hr = to->Write(buf, ULONG(n), &w); HR_FAILED(hr))
                return hr;
            done += quint64(n);
            written += w;
        }
        if (readOut)
            *readOut = done;
        if (writtenOut)
            *writtenOut = written;
        return S_OK;
    }

private:
    QFile m_file;
};

// ---------------------------------------------------------------- attachments

class StoredAttach : public IAttach {
public:
    StoredAttach(std::shared_ptr<Context> ctx, int folder, QString id, int number, QString name)
        : m_ctx(std::move(ctx)), m_folder(folder), m_id(std::move(id)), m_number(number),
          m_name(std::move(name))
    {
    }
    HRESULT OpenProperty(ULONG tag, IID, ULONG, ULONG flags, std::shared_ptr<IStream> *out) override
    {
        if (!out)
            return MAPI_E_INVALID_PARAMETER;
        if (tag != PR_ATTACH_DATA_BIN || (flags & (MAPI_CREATE | MAPI_MODIFY)))
            return flags & (MAPI_CREATE | MAPI_MODIFY) ? MAPI_E_NO_ACCESS : MAPI_E_NOT_FOUND;
        *out = std::make_shared<StoredAttachmentStream>(m_ctx, m_folder, m_id, m_number);
        return S_OK;
    }

protected:
    SPropValue prop(ULONG tag) override
    {
        switch (tag) {
        case PR_ATTACH_NUM:
            return SPropValue::ofLong(tag, m_number);
        case PR_ATTACH_FILENAME:
        case PR_ATTACH_LONG_FILENAME:
            return m_name.isEmpty() ? SPropValue::missing(tag) : SPropValue::ofString(tag, m_name);
        case PR_ATTACH_METHOD:
            return SPropValue::ofLong(tag, LONG(ATTACH_BY_VALUE));
        case PR_OBJECT_TYPE:
            return SPropValue::ofLong(tag, LONG(MAPI_ATTACH));
        default:
            break;
        }
        return SPropValue::missing(tag);
    }

private:
    std::shared_ptr<Context> m_ctx;
    int m_folder;
    QString m_id;
    int m_number;
    QString m_name;
};

class NewAttach : public IAttach {
public:
    explicit NewAttach(ULONG number) : m_number(number) {}
    HRESULT OpenProperty(ULONG tag, IID, ULONG, ULONG flags, std::shared_ptr<IStream> *out) override
    {
        if (!out)
            return MAPI_E_INVALID_PARAMETER;
        if (tag != PR_ATTACH_DATA_BIN)
            return MAPI_E_NOT_FOUND;
        if (!m_data || (flags & MAPI_CREATE))
            m_data = std::make_shared<MemoryStream>(QByteArray(), true);
        *out = m_data;
        return S_OK;
    }
    HRESULT SetProps(const std::vector<SPropValue> &props) override
    {
        for (const SPropValue &p : props)
            m_props[p.ulPropTag] = p;
        return S_OK;
    }
    HRESULT SaveChanges(ULONG) override
    {
        m_saved = true;
        return S_OK;
    }
    bool saved() const { return m_saved; }
    MailAttachment attachment() const
    {
        QString name = prop(PR_ATTACH_FILENAME).str;
        // The name the file had, without its folders.
        name = name.mid(std::max({name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')),
                                  name.lastIndexOf(QLatin1Char(':'))}) +
                        1);
        return {name, m_data ? m_data->data() : QByteArray()};
    }

protected:
    SPropValue prop(ULONG tag) override { return const_cast<const NewAttach *>(this)->prop(tag); }

private:
    SPropValue prop(ULONG tag) const
    {
        if (tag == PR_ATTACH_NUM)
            return SPropValue::ofLong(tag, LONG(m_number));
        auto it = m_props.find(tag);
        return it == m_props.end() ? SPropValue::missing(tag) : it->second;
    }
    ULONG m_number;
    std::map<ULONG, SPropValue> m_props;
    std::shared_ptr<MemoryStream> m_data;
    bool m_saved = false;
};

// ---------------------------------------------------------------- messages

class StoredMessage : public IMAPIMessage {
public:
    StoredMessage(std::shared_ptr<Context> ctx, std::shared_ptr<const Snapshot> snap, int row)
        : m_ctx(std::move(ctx)), m_snap(std::move(snap)), m_row(row)
    {
    }
    HRESULT GetAttachmentTable(ULONG, std::shared_ptr<IMAPITable> *out) override
    {
        if (!out)
            return MAPI_E_INVALID_PARAMETER;
        std::vector<std::vector<SPropValue>> rows;
        const QStringList &names = summary().attachments;
        for (int i = 0; i < names.size(); ++i) {
            std::vector<SPropValue> row{SPropValue::ofLong(PR_ATTACH_NUM, i),
                                        SPropValue::ofLong(PR_ATTACH_METHOD, LONG(ATTACH_BY_VALUE))};
            const QString &name = names[i];
            if (!name.isEmpty()) {
                row.push_back(SPropValue::ofString(PR_ATTACH_FILENAME, name));
                row.push_back(SPropValue::ofString(PR_ATTACH_LONG_FILENAME, name));
                const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
                if (dot > 0)
                    row.push_back(SPropValue::ofString(PR_ATTACH_EXTENSION, name.mid(dot)));
            }
            rows.push_back(std::move(row));
        }
        *out = std::make_shared<RowsTable>(std::move(rows));
        return S_OK;
    }
    HRESULT OpenAttach(ULONG num, IID, ULONG, std::shared_ptr<IAttach> *out) override
    {
        if (!out)
            return MAPI_E_INVALID_PARAMETER;
        const QStringList &names = summary().attachments;
        if (num >= ULONG(names.size()))
            return MAPI_E_NOT_FOUND;
        *out = std::make_shared<StoredAttach>(m_ctx, m_snap->folder, summary().id, int(num), names[int(num)]);
        return S_OK;
    }
    // What was stored is kept as it is.
    HRESULT CreateAttach(IID, ULONG, ULONG *, std::shared_ptr<IAttach> *) override
    {
        return MAPI_E_NO_ACCESS;
    }
    HRESULT ModifyRecipients(ULONG, const ADRLIST *) override { return MAPI_E_NO_ACCESS; }
    HRESULT SubmitMessage(ULONG) override { return MAPI_E_NO_ACCESS; }
    HRESULT SetProps(const std::vector<SPropValue> &) override { return MAPI_E_NO_ACCESS; }

protected:
    SPropValue prop(ULONG tag) override
    {
        if (tag == PR_BODY) {
            // The whole text, which the folder's table only begins.
            try {
                const MailMessage m =
                    Mime::parse(m_ctx->store->readMessage(storeFolderOf(m_snap->folder), summary().id));
                return SPropValue::ofString(tag, m.body);
            } catch (const MailError &) {
                return SPropValue::missing(tag, MAPI_E_CALL_FAILED);
            }
        }
        return summaryProp(*m_snap, m_row, tag);
    }

private:
    const MessageSummary &summary() const { return m_snap->items[m_row]; }
    std::shared_ptr<Context> m_ctx;
    std::shared_ptr<const Snapshot> m_snap;
    int m_row;
};

struct Recipient {
    QString name, email;
    ULONG type = MAPI_TO;
};

class NewMessage : public IMAPIMessage {
public:
    NewMessage(std::shared_ptr<Context> ctx, ULONG flags) : m_ctx(std::move(ctx)), m_flags(flags) {}

    HRESULT SetProps(const std::vector<SPropValue> &props) override
    {
        if (m_submitted)
            return MAPI_E_NO_ACCESS;
        for (const SPropValue &p : props) {
            if (p.ulPropTag == PR_SUBJECT)
                m_subject = p.str;
            else if (p.ulPropTag == PR_BODY)
                m_body = p.str;
            else if (p.ulPropTag == PR_MESSAGE_FLAGS)
                m_flags = ULONG(p.Value.l);
        }
        return S_OK;
    }
    HRESULT SaveChanges(ULONG) override { return S_OK; }
    HRESULT GetAttachmentTable(ULONG, std::shared_ptr<IMAPITable> *out) override
    {
        if (!out)
            return MAPI_E_INVALID_PARAMETER;
        std::vector<std::vector<SPropValue>> rows;
        for (size_t i = 0; i < m_attachments.size(); ++i) {
            const MailAttachment a = m_attachments[i]->attachment();
            rows.push_back({SPropValue::ofLong(PR_ATTACH_NUM, LONG(i)),
                            SPropValue::ofString(PR_ATTACH_FILENAME, a.fileName)});
        }
        *out = std::make_shared<RowsTable>(std::move(rows));
        return S_OK;
    }
    HRESULT OpenAttach(ULONG num, IID, ULONG, std::shared_ptr<IAttach> *out) override
    {
        if (!out)
            return MAPI_E_INVALID_PARAMETER;
        if (num >= m_attachments.size())
            return MAPI_E_NOT_FOUND;
        *out = m_attachments[num];
        return S_OK;
    }
    HRESULT CreateAttach(IID, ULONG, ULONG *num, std::shared_ptr<IAttach> *out) override
    {
        if (!out)
            return MAPI_E_INVALID_PARAMETER;
        if (m_submitted)
            return MAPI_E_NO_ACCESS;
        auto a = std::make_shared<NewAttach>(ULONG(m_attachments.size()));
        m_attachments.push_back(a);
        if (num)
            *num = ULONG(m_attachments.size() - 1);
        *out = a;
        return S_OK;
    }
    HRESULT ModifyRecipients(ULONG, const ADRLIST *list) override
    {
        if (!list)
            return MAPI_E_INVALID_PARAMETER;
        if (m_submitted)
            return MAPI_E_NO_ACCESS;
        m_recipients.clear();
        for (const ADRENTRY &e : list->aEntries) {
            Recipient r;
            for (const SPropValue &p : e.rgPropVals) {
                if (p.ulPropTag == PR_DISPLAY_NAME)
                    r.name = p.str;
                else if (p.ulPropTag == PR_EMAIL_ADDRESS)
                    r.email = p.str;
                else if (p.ulPropTag == PR_RECIPIENT_TYPE)
                    r.type = ULONG(p.Value.l);
            }
            m_recipients.push_back(r);
        }
        return S_OK;
    }
    HRESULT SubmitMessage(ULONG) override
    {
        if (!m_ctx->loggedOn)
            return MAPI_E_END_OF_SESSION;
        if (m_submitted)
            return MAPI_E_NO_ACCESS;
        QStringList to;
        for (const Recipient &r : m_recipients) {
            if (r.email.isEmpty())
                return MAPI_E_NOT_FOUND; // not resolved: nobody to send it to
            to << (r.name.isEmpty() || r.name == r.email
                       ? r.email
                       : QStringLiteral("\"%1\" <%2>").arg(r.name, r.email));
        }
        MailMessage m;
        m.to = to.join(QStringLiteral(", "));
        m.subject = m_subject;
        m.body = m_body;
        m.date = m_ctx->now();
        for (const auto &a : m_attachments)
            if (a->saved())
                m.attachments.append(a->attachment());
        try {
            Mime::addresses(m.to); // a mail nobody can receive is refused here
            m.from = MailSettings(m_ctx->mailFolder).account().fromAddress;
            const QByteArray bytes = Mime::build(m);
            const QString id =
                m_ctx->store->addMessage(StoreFolder::Outbox, bytes, {QString(), m.to, m.subject, m.date});
            m_ctx->store->setOutboxStatus(id, {OutboxState::Queued, {}});
            m_entryId = makeEntryId(Kind::Message, fOutbox, id);
        } catch (const MailError &) {
            return MAPI_E_CALL_FAILED;
        }
        m_submitted = true;
        m_ctx->deliver();
        return S_OK;
    }

protected:
    SPropValue prop(ULONG tag) override
    {
        switch (tag) {
        case PR_SUBJECT:
            return SPropValue::ofString(tag, m_subject);
        case PR_BODY:
            return SPropValue::ofString(tag, m_body);
        case PR_MESSAGE_FLAGS:
            return SPropValue::ofLong(tag, LONG(m_flags));
        case PR_ENTRYID:
            return m_entryId.isEmpty() ? SPropValue::missing(tag) : SPropValue::ofBinary(tag, m_entryId);
        case PR_OBJECT_TYPE:
            return SPropValue::ofLong(tag, LONG(MAPI_MESSAGE));
        default:
            break;
        }
        return SPropValue::missing(tag);
    }

private:
    std::shared_ptr<Context> m_ctx;
    ULONG m_flags;
    QString m_subject, m_body;
    std::vector<Recipient> m_recipients;
    std::vector<std::shared_ptr<NewAttach>> m_attachments;
    QByteArray m_entryId;
    bool m_submitted = false;
};

// ---------------------------------------------------------------- folders, store, address book, status

class Folder : public IMAPIFolder {
public:
    Folder(std::shared_ptr<Context> ctx, int code) : m_ctx(std::move(ctx)), m_code(code) {}

    HRESULT GetContentsTable(ULONG, std::shared_ptr<IMAPITable> *out) override
    {
        if (!out)
            return MAPI_E_INVALID_PARAMETER;
        if (!m_ctx->loggedOn)
            return MAPI_E_END_OF_SESSION;
        if (m_code == fRoot) {
            *out = std::make_shared<RowsTable>(std::vector<std::vector<SPropValue>>{});
            return S_OK;
        }
        try {
            *out = std::make_shared<ContentsTable>(m_ctx->snapshot(m_code, true));
        } catch (const MailError &) {
            return MAPI_E_CALL_FAILED;
        }
        return S_OK;
    }
    HRESULT GetHierarchyTable(ULONG, std::shared_ptr<IMAPITable> *out) override
    {
        if (!out)
            return MAPI_E_INVALID_PARAMETER;
        std::vector<std::vector<SPropValue>> rows;
        if (m_code == fRoot)
            for (int f : {fInbox, fOutbox, fSent, fDeleted})
                rows.push_back({SPropValue::ofString(PR_DISPLAY_NAME, folderName(f)),
                                SPropValue::ofBinary(PR_ENTRYID, makeEntryId(Kind::Folder, f)),
                                SPropValue::ofLong(PR_FOLDER_TYPE, LONG(FOLDER_GENERIC))});
        *out = std::make_shared<RowsTable>(std::move(rows));
        return S_OK;
    }
    HRESULT CreateMessage(IID, ULONG flags, std::shared_ptr<IMAPIMessage> *out) override
    {
        if (!out)
            return MAPI_E_INVALID_PARAMETER;
        if (!m_ctx->loggedOn)
            return MAPI_E_END_OF_SESSION;
        *out = std::make_shared<NewMessage>(m_ctx, flags);
        return S_OK;
    }

protected:
    SPropValue prop(ULONG tag) override
    {
        switch (tag) {
        case PR_ENTRYID:
            return SPropValue::ofBinary(tag, makeEntryId(Kind::Folder, m_code));
        case PR_DISPLAY_NAME:
            return SPropValue::ofString(tag, folderName(m_code));
        case PR_FOLDER_TYPE:
            return SPropValue::ofLong(tag, LONG(m_code == fRoot ? FOLDER_ROOT : FOLDER_GENERIC));
        case PR_OBJECT_TYPE:
            return SPropValue::ofLong(tag, LONG(MAPI_FOLDER));
        case PR_CONTENT_COUNT:
            if (m_code == fRoot)
                return SPropValue::ofLong(tag, 0);
            try {
                return SPropValue::ofLong(tag, clampLong(m_ctx->snapshot(m_code, true)->items.size()));
            } catch (const MailError &) {
                return SPropValue::missing(tag, MAPI_E_CALL_FAILED);
            }
        default:
            break;
        }
        return SPropValue::missing(tag);
    }

private:
    std::shared_ptr<Context> m_ctx;
    int m_code;
};

class MsgStore : public IMsgStore {
public:
    explicit MsgStore(std::shared_ptr<Context> ctx) : m_ctx(std::move(ctx)) {}
    HRESULT GetReceiveFolder(const char *messageClass, ULONG, QByteArray *entryId,
                             QByteArray *explicitClass) override
    {
        if (!entryId)
            return MAPI_E_INVALID_PARAMETER;
        // Every class of message is received in the Inbox.
        *entryId = makeEntryId(Kind::Folder, fInbox);
        if (explicitClass)
            *explicitClass = messageClass && QByteArray(messageClass).startsWith("IPM") ? "IPM" : "";
        return S_OK;
    }

protected:
    SPropValue prop(ULONG tag) override
    {
        switch (tag) {
        case PR_NULL:
            return SPropValue{}; // a placeholder asked for and given
        case PR_ENTRYID:
            return SPropValue::ofBinary(tag, makeEntryId(Kind::Store, fRoot));
        case PR_DISPLAY_NAME:
            return SPropValue::ofString(tag, MapiLibrary::defaultProfileName());
        case PR_DEFAULT_STORE:
            return SPropValue::ofBool(tag, true);
        case PR_IPM_SUBTREE_ENTRYID:
            return SPropValue::ofBinary(tag, makeEntryId(Kind::Folder, fRoot));
        case PR_IPM_OUTBOX_ENTRYID:
            return SPropValue::ofBinary(tag, makeEntryId(Kind::Folder, fOutbox));
        case PR_IPM_WASTEBASKET_ENTRYID:
            return SPropValue::ofBinary(tag, makeEntryId(Kind::Folder, fDeleted));
        case PR_IPM_SENTMAIL_ENTRYID:
            return SPropValue::ofBinary(tag, makeEntryId(Kind::Folder, fSent));
        case PR_OBJECT_TYPE:
            return SPropValue::ofLong(tag, LONG(MAPI_STORE));
        default:
            break;
        }
        return SPropValue::missing(tag);
    }

private:
    std::shared_ptr<Context> m_ctx;
};

// The address book: plain addresses resolve to themselves, names to the
// mail client's contacts.
class AddrBook : public IAddrBook {
public:
    explicit AddrBook(std::shared_ptr<Context> ctx) : m_ctx(std::move(ctx)) {}
    HRESULT ResolveName(quintptr, ULONG, const char *, ADRLIST *list) override
    {
        if (!list)
            return MAPI_E_INVALID_PARAMETER;
        HRESULT result = S_OK;
        for (ADRENTRY &e : list->aEntries) {
            QString name, email;
            for (const SPropValue &p : e.rgPropVals) {
                if (p.ulPropTag == PR_DISPLAY_NAME)
                    name = p.str;
                else if (p.ulPropTag == PR_EMAIL_ADDRESS)
                    email = p.str;
            }
            if (email.isEmpty()) {
                const HRESULT hr = resolve(name, email);
                if (hr != S_OK) {
                    result = hr;
                    continue;
                }
            }
            std::vector<SPropValue> resolved;
            for (const SPropValue &p : e.rgPropVals)
                if (p.ulPropTag != PR_EMAIL_ADDRESS && p.ulPropTag != PR_ENTRYID &&
                    p.ulPropTag != PR_ADDRTYPE && p.ulPropTag != PR_DISPLAY_NAME)
                    resolved.push_back(p);
            resolved.push_back(SPropValue::ofString(PR_DISPLAY_NAME, name.isEmpty() ? email : name));
            resolved.push_back(SPropValue::ofString(PR_EMAIL_ADDRESS, email));
            resolved.push_back(SPropValue::ofString(PR_ADDRTYPE, QStringLiteral("SMTP")));
            resolved.push_back(SPropValue::ofBinary(PR_ENTRYID, makeEntryId(Kind::Recipient, fRoot, email)));
            e.rgPropVals = std::move(resolved);
        }
        return result;
    }

protected:
    SPropValue prop(ULONG tag) override
    {
        if (tag == PR_OBJECT_TYPE)
            return SPropValue::ofLong(tag, LONG(MAPI_ADDRBOOK));
        return SPropValue::missing(tag);
    }

private:
    HRESULT resolve(const QString &name, QString &email)
    {
        const QString wanted = name.trimmed();
        if (wanted.isEmpty())
            return MAPI_E_NOT_FOUND;
        if (wanted.contains(QLatin1Char('@'))) {
            try {
                const QStringList addrs = Mime::addresses(wanted);
                email = addrs.first();
                return S_OK;
            } catch (const MailError &) {
                return MAPI_E_NOT_FOUND;
            }
        }
        QStringList found;
        try {
            for (const QString &id : m_ctx->store->contactIds()) {
                ContactCard c;
                try {
                    c = VCard::read(m_ctx->store->readContact(id));
                } catch (const MailError &) {
                    continue;
                }
                const QString full = (c.firstName + QLatin1Char(' ') + c.lastName).trimmed();
                if (!c.email1Address.isEmpty() && (full.compare(wanted, Qt::CaseInsensitive) == 0 ||
                                                   c.companyName.compare(wanted, Qt::CaseInsensitive) == 0))
                    found << c.email1Address;
            }
        } catch (const MailError &) {
            return MAPI_E_CALL_FAILED;
        }
        found.removeDuplicates();
        if (found.isEmpty())
            return MAPI_E_NOT_FOUND;
        if (found.size() > 1)
            return MAPI_E_AMBIGUOUS_RECIP;
        email = found.first();
        return S_OK;
    }

    std::shared_ptr<Context> m_ctx;
};

class Status : public IMAPIStatus {
protected:
    SPropValue prop(ULONG tag) override
    {
        switch (tag) {
        case PR_RESOURCE_TYPE:
            return SPropValue::ofLong(tag, LONG(MAPI_SPOOLER));
        case PR_DISPLAY_NAME:
            return SPropValue::ofString(tag, QStringLiteral("Spooler"));
        case PR_ENTRYID:
            return SPropValue::ofBinary(tag, makeEntryId(Kind::Status, fRoot));
        case PR_OBJECT_TYPE:
            return SPropValue::ofLong(tag, LONG(MAPI_STATUS));
        default:
            break;
        }
        return SPropValue::missing(tag);
    }
};

class Session : public IMAPISession {
public:
    explicit Session(std::shared_ptr<Context> ctx) : m_ctx(std::move(ctx)) {}
    ~Session() override { m_ctx->loggedOn = false; }

    HRESULT GetMsgStoresTable(ULONG, std::shared_ptr<IMAPITable> *out) override
    {
        if (!out)
            return MAPI_E_INVALID_PARAMETER;
        if (!m_ctx->loggedOn)
            return MAPI_E_END_OF_SESSION;
        *out = std::make_shared<RowsTable>(std::vector<std::vector<SPropValue>>{
            {SPropValue::ofBinary(PR_ENTRYID, makeEntryId(Kind::Store, fRoot)),
             SPropValue::ofBool(PR_DEFAULT_STORE, true),
             SPropValue::ofString(PR_DISPLAY_NAME, MapiLibrary::defaultProfileName())}});
        return S_OK;
    }
    HRESULT OpenMsgStore(quintptr, const QByteArray &entryId, IID, ULONG,
                         std::shared_ptr<IMsgStore> *out) override
    {
        if (!out)
            return MAPI_E_INVALID_PARAMETER;
        if (!m_ctx->loggedOn)
            return MAPI_E_END_OF_SESSION;
        const auto e = parseEntryId(entryId);
        if (!e || e->kind != Kind::Store)
            return MAPI_E_INVALID_ENTRYID;
        *out = std::make_shared<MsgStore>(m_ctx);
        return S_OK;
    }
    HRESULT OpenAddressBook(quintptr, IID, ULONG, std::shared_ptr<IAddrBook> *out) override
    {
        if (!out)
            return MAPI_E_INVALID_PARAMETER;
        if (!m_ctx->loggedOn)
            return MAPI_E_END_OF_SESSION;
        *out = std::make_shared<AddrBook>(m_ctx);
        return S_OK;
    }
    HRESULT GetStatusTable(ULONG, std::shared_ptr<IMAPITable> *out) override
    {
        if (!out)
            return MAPI_E_INVALID_PARAMETER;
        if (!m_ctx->loggedOn)
            return MAPI_E_END_OF_SESSION;
        *out = std::make_shared<RowsTable>(std::vector<std::vector<SPropValue>>{
            {SPropValue::ofLong(PR_RESOURCE_TYPE, LONG(MAPI_STORE_PROVIDER)),
             SPropValue::ofBinary(PR_ENTRYID, makeEntryId(Kind::Store, fRoot)),
             SPropValue::ofString(PR_PROVIDER_DISPLAY, MapiLibrary::defaultProfileName())},
            {SPropValue::ofLong(PR_RESOURCE_TYPE, LONG(MAPI_SPOOLER)),
             SPropValue::ofBinary(PR_ENTRYID, makeEntryId(Kind::Status, fRoot)),
             SPropValue::ofString(PR_DISPLAY_NAME, QStringLiteral("Spooler"))}});
        return S_OK;
    }
    HRESULT OpenEntry(const QByteArray &entryId, IID, ULONG, ULONG *type,
                      std::shared_ptr<IMAPIProp> *out) override
    {
        if (!out)
            return MAPI_E_INVALID_PARAMETER;
        if (!m_ctx->loggedOn)
            return MAPI_E_END_OF_SESSION;
        const auto e = parseEntryId(entryId);
        if (!e)
            return MAPI_E_INVALID_ENTRYID;
        ULONG t = 0;
        switch (e->kind) {
        case Kind::Store:
            *out = std::make_shared<MsgStore>(m_ctx);
            t = MAPI_STORE;
            break;
        case Kind::Folder:
            *out = std::make_shared<Folder>(m_ctx, e->folder);
            t = MAPI_FOLDER;
            break;
        case Kind::Status:
            *out = std::make_shared<Status>();
            t = MAPI_STATUS;
            break;
        case Kind::Message: {
            try {
                std::shared_ptr<const Snapshot> snap = m_ctx->snapshot(e->folder, false);
                int row = snap->find(e->message);
                if (row < 0) {
                    snap = m_ctx->snapshot(e->folder, true); // stored since the folder was last read
                    row = snap->find(e->message);
                }
                if (row < 0)
                    return MAPI_E_NOT_FOUND;
                *out = std::make_shared<StoredMessage>(m_ctx, std::move(snap), row);
            } catch (const MailError &) {
                return MAPI_E_CALL_FAILED;
            }
            t = MAPI_MESSAGE;
            break;
        }
        case Kind::Recipient:
            return MAPI_E_NO_SUPPORT;
        }
        if (type)
            *type = t;
        return S_OK;
    }
    HRESULT Logoff(quintptr, ULONG, ULONG) override
    {
        if (!m_ctx->loggedOn)
            return MAPI_E_END_OF_SESSION;
        m_ctx->loggedOn = false;
        return S_OK;
    }

private:
    std::shared_ptr<Context> m_ctx;
};

} // namespace

// ---------------------------------------------------------------- IMAPIProp defaults

HRESULT IMAPIProp::GetProps(const SPropTagArray *tags, ULONG, ULONG *count, SPropArray **props)
{
    if (!tags || !props)
        return MAPI_E_INVALID_PARAMETER;
    auto out = std::make_unique<SPropArray>();
    out->lpProps.reserve(tags->aulPropTag.size());
    bool missing = false;
    for (ULONG tag : tags->aulPropTag) {
        out->lpProps.push_back(prop(tag));
        missing = missing || PROP_TYPE(out->lpProps.back().ulPropTag) == PT_ERROR;
    }
    if (count)
        *count = ULONG(out->lpProps.size());
    *props = out.release();
    return missing ? MAPI_W_ERRORS_RETURNED : S_OK;
}

HRESULT IMAPIProp::SetProps(const std::vector<SPropValue> &)
{
    return MAPI_E_NO_ACCESS;
}

HRESULT IMAPIProp::OpenProperty(ULONG, IID, ULONG, ULONG, std::shared_ptr<IStream> *)
{
    return MAPI_E_NO_SUPPORT;
}

HRESULT IMAPIProp::SaveChanges(ULONG)
{
    return S_OK;
}

// ---------------------------------------------------------------- library

MapiLibrary::MapiLibrary(Environment &env)
    : m_mailFolder(env.stateFolderFor(QStringLiteral("mail"))), m_env(&env)
{
}

MapiLibrary::MapiLibrary(QString mailFolder) : m_mailFolder(std::move(mailFolder)) {}

MapiLibrary::~MapiLibrary() = default;

HRESULT MapiLibrary::MAPIInitialize(const MAPIINIT_0 *init)
{
    if (init && init->ulVersion != 0)
        return MAPI_E_INVALID_PARAMETER;
    ++m_initCount;
    return S_OK;
}

void MapiLibrary::MAPIUninitialize()
{
    if (m_initCount > 0)
        --m_initCount;
}

HRESULT MapiLibrary::MAPILogonEx(quintptr, const QString &profile, const QString &, ULONG,
                                 std::shared_ptr<IMAPISession> *out)
{
    if (!out)
        return MAPI_E_INVALID_PARAMETER;
    out->reset();
    if (m_initCount <= 0)
        return MAPI_E_NOT_INITIALIZED;
    if (!profile.isEmpty() && profile.compare(defaultProfileName(), Qt::CaseInsensitive) != 0)
        return MAPI_E_LOGON_FAILED;
    if (!MailSettings(m_mailFolder).installed())
        return MAPI_E_LOGON_FAILED;
    auto ctx = std::make_shared<Context>();
    ctx->mailFolder = m_mailFolder;
    ctx->env = m_env;
    try {
        ctx->store = std::make_unique<MaildirStore>(m_mailFolder);
    } catch (const MailError &) {
        return MAPI_E_LOGON_FAILED;
    }
    *out = std::make_shared<Session>(std::move(ctx));
    return S_OK;
}

// ---------------------------------------------------------------- helpers

HRESULT MAPIAllocateBuffer(ULONG size, MapiBytes **out)
{
    if (!out)
        return MAPI_E_INVALID_PARAMETER;
    if (qint64(size) > kMaxStreamBytes)
        return MAPI_E_NOT_ENOUGH_MEMORY;
    auto b = std::make_unique<MapiBytes>();
    b->data = QByteArray(qsizetype(size), '\0');
    *out = b.release();
    return S_OK;
}

HRESULT MAPIAllocateMore(ULONG size, MapiBuffer *parent, MapiBytes **out)
{
    if (!parent || !out)
        return MAPI_E_INVALID_PARAMETER;
    MapiBytes *b = nullptr;
    if (HRESULT hr = MAPIAllocateBuffer(size, &b); HR_FAILED(hr))
        return hr;
    parent->more.emplace_back(b);
    *out = b;
    return S_OK;
}

void MAPIFreeBuffer(MapiBuffer *buffer)
{
    delete buffer;
}

void FreeProws(SRowSet *rows)
{
    delete rows;
}

void FreePadrlist(ADRLIST *list)
{
    delete list;
}

HRESULT HrQueryAllRows(IMAPITable *table, const SPropTagArray *tags, const SRestriction *restriction,
                       const SSortOrderSet *sort, LONG crowsMax, SRowSet **rows)
{
    if (!table || !rows)
        return MAPI_E_INVALID_PARAMETER;
    *rows = nullptr;
    if (sort)
        return MAPI_E_NO_SUPPORT; // tables keep the store's own order
    HRESULT hr = S_OK;
    if (tags && HR_FAILED(hr = table->SetColumns(tags, 0)))
        return hr;
    if (restriction && HR_FAILED(hr = table->Restrict(restriction, 0)))
        return hr;
    if (HR_FAILED(hr = table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr)))
        return hr;
    ULONG count = 0;
    if (HR_FAILED(hr = table->GetRowCount(0, &count)))
        return hr;
    if (crowsMax > 0 && count > ULONG(crowsMax))
        return MAPI_E_TABLE_TOO_BIG;
    return table->QueryRows(LONG(std::min<ULONG>(count, ULONG(std::numeric_limits<LONG>::max()))), 0, rows);
}

HRESULT HrGetOneProp(IMAPIProp *obj, ULONG tag, SPropArray **prop)
{
    if (!obj || !prop)
        return MAPI_E_INVALID_PARAMETER;
    *prop = nullptr;
    SPropTagArray one;
    one.aulPropTag = {tag};
    ULONG count = 0;
    SPropArray *raw = nullptr;
    const HRESULT hr = obj->GetProps(&one, 0, &count, &raw);
    if (hr == MAPI_W_ERRORS_RETURNED || HR_FAILED(hr) || !raw || raw->lpProps.empty()) {
        const HRESULT why = raw && !raw->lpProps.empty() && PROP_TYPE(raw->lpProps[0].ulPropTag) == PT_ERROR
                                ? raw->lpProps[0].Value.err
                                : (HR_FAILED(hr) ? hr : MAPI_E_NOT_FOUND);
        MAPIFreeBuffer(raw);
        return why;
    }
    *prop = raw;
    return S_OK;
}

HRESULT OpenStreamOnFile(decltype(&MAPIAllocateBuffer), decltype(&MAPIFreeBuffer), ULONG flags,
                         const QString &fileName, const QString &, std::shared_ptr<IStream> *out)
{
    if (!out)
        return MAPI_E_INVALID_PARAMETER;
    out->reset();
    auto s = std::make_shared<FileStream>(fileName);
    if (!s->open(flags))
        return MAPI_E_NOT_FOUND;
    *out = std::move(s);
    return S_OK;
}
