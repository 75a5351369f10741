#pragma once

#include "platform/mapi/MapiDefs.h"

#include <QString>
#include <memory>

// Extended MAPI over the mail client's own store (platform/mail): one
// profile, one message store with the standard folders, an address book
// that resolves plain addresses, and a spooler that hands submitted mail to
// the mail client's Outbox. Objects are reference-counted through
// shared_ptr (releasing is dropping the pointer); buffers the calls hand out
// are freed by the caller with MAPIFreeBuffer, FreeProws or FreePadrlist.

class Environment;
class MapiLibrary;

class IStream {
public:
    virtual ~IStream() = default;
    virtual HRESULT Read(void *pv, ULONG cb, ULONG *pcbRead) = 0;
    virtual HRESULT Write(const void *pv, ULONG cb, ULONG *pcbWritten) = 0;
    virtual HRESULT Seek(qint64 dlibMove, ULONG dwOrigin, quint64 *plibNewPosition) = 0;
    virtual HRESULT SetSize(quint64 libNewSize) = 0;
    virtual HRESULT Stat(STATSTG *pstatstg, ULONG grfStatFlag) = 0;
    virtual HRESULT CopyTo(IStream *pstm, quint64 cb, quint64 *pcbRead, quint64 *pcbWritten) = 0;
};

class IMAPIProp {
public:
    virtual ~IMAPIProp() = default;
    // Each requested tag gets a value in order; one the object does not
    // have comes back as PT_ERROR and the call returns MAPI_W_ERRORS_RETURNED.
    virtual HRESULT GetProps(const SPropTagArray *lpPropTagArray, ULONG ulFlags, ULONG *lpcValues,
                             SPropArray **lppPropArray);
    virtual HRESULT SetProps(const std::vector<SPropValue> &props);
    virtual HRESULT OpenProperty(ULONG ulPropTag, IID iid, ULONG ulInterfaceOptions, ULONG ulFlags,
                                 std::shared_ptr<IStream> *lppUnk);
    virtual HRESULT SaveChanges(ULONG ulFlags);

protected:
    // One property's value, or a PT_ERROR value.
    virtual SPropValue prop(ULONG tag) = 0;
};

class IMAPITable {
public:
    virtual ~IMAPITable() = default;
    virtual HRESULT SetColumns(const SPropTagArray *lpPropTagArray, ULONG ulFlags) = 0;
    virtual HRESULT GetRowCount(ULONG ulFlags, ULONG *lpulCount) = 0;
    virtual HRESULT QueryRows(LONG lRowCount, ULONG ulFlags, SRowSet **lppRows) = 0;
    virtual HRESULT Restrict(const SRestriction *lpRestriction, ULONG ulFlags) = 0;
    virtual HRESULT SeekRow(ULONG bkOrigin, LONG lRowCount, LONG *lplRowsSought) = 0;
};
constexpr ULONG BOOKMARK_BEGINNING = 0;

class IMAPIStatus : public IMAPIProp {};

class IAttach : public IMAPIProp {};

class IAddrBook : public IMAPIProp {
public:
    // Fills each entry with PR_ENTRYID, PR_EMAIL_ADDRESS and PR_DISPLAY_NAME.
    virtual HRESULT ResolveName(quintptr ulUIParam, ULONG ulFlags, const char *lpszNewEntryTitle,
                                ADRLIST *lpAdrList) = 0;
};

class IMAPIMessage : public IMAPIProp {
public:
    virtual HRESULT GetAttachmentTable(ULONG ulFlags, std::shared_ptr<IMAPITable> *lppTable) = 0;
    virtual HRESULT OpenAttach(ULONG ulAttachmentNum, IID iid, ULONG ulFlags,
                               std::shared_ptr<IAttach> *lppAttach) = 0;
    virtual HRESULT CreateAttach(IID iid, ULONG ulFlags, ULONG *lpulAttachmentNum,
                                 std::shared_ptr<IAttach> *lppAttach) = 0;
    virtual HRESULT ModifyRecipients(ULONG ulFlags, const ADRLIST *lpMods) = 0;
    virtual HRESULT SubmitMessage(ULONG ulFlags) = 0;
};
using IMessage = IMAPIMessage;

class IMAPIContainer : public IMAPIProp {
public:
    virtual HRESULT GetContentsTable(ULONG ulFlags, std::shared_ptr<IMAPITable> *lppTable) = 0;
    virtual HRESULT GetHierarchyTable(ULONG ulFlags, std::shared_ptr<IMAPITable> *lppTable) = 0;
};

class IMAPIFolder : public IMAPIContainer {
public:
    virtual HRESULT CreateMessage(IID iid, ULONG ulFlags, std::shared_ptr<IMAPIMessage> *lppMessage) = 0;
};

class IMsgStore : public IMAPIProp {
public:
    virtual HRESULT GetReceiveFolder(const char *lpszMessageClass, ULONG ulFlags, QByteArray *lpEntryID,
                                     QByteArray *lppszExplicitClass) = 0;
};

class IMAPISession {
public:
    virtual ~IMAPISession() = default;
    virtual HRESULT GetMsgStoresTable(ULONG ulFlags, std::shared_ptr<IMAPITable> *lppTable) = 0;
    virtual HRESULT OpenMsgStore(quintptr ulUIParam, const QByteArray &entryId, IID iid, ULONG ulFlags,
                                 std::shared_ptr<IMsgStore> *lppMDB) = 0;
    virtual HRESULT OpenAddressBook(quintptr ulUIParam, IID iid, ULONG ulFlags,
                                    std::shared_ptr<IAddrBook> *lppAdrBook) = 0;
    virtual HRESULT GetStatusTable(ULONG ulFlags, std::shared_ptr<IMAPITable> *lppTable) = 0;
    // Opens a store, folder or message by its entry identifier.
    virtual HRESULT OpenEntry(const QByteArray &entryId, IID iid, ULONG ulFlags, ULONG *lpulObjType,
                              std::shared_ptr<IMAPIProp> *lppUnk) = 0;
    virtual HRESULT Logoff(quintptr ulUIParam, ULONG ulFlags, ULONG ulReserved) = 0;
};

struct MAPIINIT_0 {
    ULONG ulVersion = 0;
    ULONG ulFlags = 0;
};

// The library of one process: where its profile's store lives. The mail
// client keeps its store under the environment's state folder; the library
// reaches the same one.
class MapiLibrary {
public:
    explicit MapiLibrary(Environment &env);
    explicit MapiLibrary(QString mailFolder);
    ~MapiLibrary();

    HRESULT MAPIInitialize(const MAPIINIT_0 *lpMapiInit);
    void MAPIUninitialize();
    // The one profile is "Brenvoy Mail"; an empty name takes it too.
    HRESULT MAPILogonEx(quintptr ulUIParam, const QString &lpszProfileName, const QString &lpszPassword,
                        ULONG flFlags, std::shared_ptr<IMAPISession> *lppSession);

    static QString defaultProfileName() { return QStringLiteral("Brenvoy Mail"); }
    QString mailFolder() const { return m_mailFolder; }
    bool initialized() const { return m_initCount > 0; }

private:
    QString m_mailFolder;
    Environment *m_env = nullptr; // for the delivery of submitted mail
    int m_initCount = 0;
};

// Buffers.
HRESULT MAPIAllocateBuffer(ULONG cbSize, MapiBytes **lppBuffer);
// Memory freed together with lpObject.
HRESULT MAPIAllocateMore(ULONG cbSize, MapiBuffer *lpObject, MapiBytes **lppBuffer);
void MAPIFreeBuffer(MapiBuffer *lpBuffer);
void FreeProws(SRowSet *lpRows);
void FreePadrlist(ADRLIST *lpAdrList);

// Reads a whole table: sets the columns, applies the restriction and
// fetches every row (crowsMax 0: no limit).
HRESULT HrQueryAllRows(IMAPITable *lpTable, const SPropTagArray *lpPropTags,
                       const SRestriction *lpRestriction, const SSortOrderSet *lpSortOrderSet, LONG crowsMax,
                       SRowSet **lppRows);
HRESULT HrGetOneProp(IMAPIProp *lpMapiProp, ULONG ulPropTag, SPropArray **lppProp);

// A stream over a file. Read access only unless STGM_WRITE/STGM_READWRITE.
HRESULT OpenStreamOnFile(decltype(&MAPIAllocateBuffer) lpAllocateBuffer,
                         decltype(&MAPIFreeBuffer) lpFreeBuffer, ULONG ulFlags, const QString &lpszFileName,
                         const QString &lpszPrefix, std::shared_ptr<IStream> *lppStream);

// The store's limits on what it hands out: nothing from a file makes us
// read past these.
constexpr qint64 kMaxEntryIdBytes = 1024;
