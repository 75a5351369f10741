#pragma once

#include "platform/mapi/Mapi.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

class Environment;
class TMAPISession;
class TMAPIFolder;
class TMAPIMessage;

// What the message store components raise: a text, and the platform's code
// where one caused it.
class EMapiError : public std::runtime_error {
public:
    explicit EMapiError(const QString &text, HRESULT code = MAPI_E_CALL_FAILED)
        : std::runtime_error(text.toStdString()), m_code(code)
    {
    }
    QString text() const { return QString::fromStdString(what()); }
    HRESULT code() const { return m_code; }

private:
    HRESULT m_code;
};

// A property that cannot be read.
class EMapiProperty : public EMapiError {
public:
    using EMapiError::EMapiError;
};

// Reads one 8-bit string property of an open message: empty when the value
// is empty or missing; EMapiProperty ("Unable to get property %.8x") on any
// other failure.
QString GetStringProperty(IMAPIProp *message, ULONG propTag);

// The time the store keeps (100 ns units since 1601) as a UTC date-time,
// by whole days and a day fraction.
QDateTime FileTimeToDateTime(FILETIME count);
// What a missing time shows: the zero date-time, 30 December 1899.
QDateTime ZeroDateTime();

enum FOLDERS_TYPE { ftInbox, ftOutbox, ftWastebox, ftSentbox };

// The message flag bits as booleans.
class TMessageFlags {
public:
    ULONG MessageFlag() const { return m_bits; }
    void setMessageFlag(ULONG v) { m_bits = v & kAll; }

    bool _READ() const { return has(MSGFLAG_READ); }
    void set_READ(bool v) { put(MSGFLAG_READ, v); }
    bool UNMODIFIED() const { return has(MSGFLAG_UNMODIFIED); }
    void setUNMODIFIED(bool v) { put(MSGFLAG_UNMODIFIED, v); }
    bool SUBMIT() const { return has(MSGFLAG_SUBMIT); }
    void setSUBMIT(bool v) { put(MSGFLAG_SUBMIT, v); }
    bool UNSENT() const { return has(MSGFLAG_UNSENT); }
    void setUNSENT(bool v) { put(MSGFLAG_UNSENT, v); }
    bool HASATTACH() const { return has(MSGFLAG_HASATTACH); }
    void setHASATTACH(bool v) { put(MSGFLAG_HASATTACH, v); }
    bool FROMME() const { return has(MSGFLAG_FROMME); }
    void setFROMME(bool v) { put(MSGFLAG_FROMME, v); }
    bool ASSOCIATED() const { return has(MSGFLAG_ASSOCIATED); }
    void setASSOCIATED(bool v) { put(MSGFLAG_ASSOCIATED, v); }
    bool RESEND() const { return has(MSGFLAG_RESEND); }
    void setRESEND(bool v) { put(MSGFLAG_RESEND, v); }
    bool RN_PENDING() const { return has(MSGFLAG_RN_PENDING); }
    void setRN_PENDING(bool v) { put(MSGFLAG_RN_PENDING, v); }
    bool NRN_PENDING() const { return has(MSGFLAG_NRN_PENDING); }
    void setNRN_PENDING(bool v) { put(MSGFLAG_NRN_PENDING, v); }

    void Assign(const TMessageFlags &other) { m_bits = other.m_bits; }

private:
    static constexpr ULONG kAll = 0x3FF;
    bool has(ULONG bit) const { return (m_bits & bit) != 0; }
    void put(ULONG bit, bool v) { m_bits = v ? (m_bits | bit) : (m_bits & ~bit); }
    ULONG m_bits = 0;
};

// Logon options, packed into MAPILogonEx's flags.
class TMAPILogonFlags {
public:
    bool LOGON_UI = true;
    bool NEW_SESSION = false;
    bool ALLOW_OTHERS = true;
    bool EXPLICIT_PROFILE = false;
    bool EXTENDED = false;
    bool FORCE_DOWNLOAD = true;
    bool SERVICE_UI_ALWAYS = false;
    bool NO_MAIL = false;
    bool NT_SERVICE = false;
    bool PASSWORD_UI = false;
    bool TIMEOUT_SHORT = false;
    bool USE_DEFAULT = true;

    ULONG packed() const;
};

class TMAPILogoffFlags {
public:
    bool LOGOFF_SHARED = false;
    bool LOGOFF_UI = false;

    ULONG packed() const;
};

// A stream over a platform stream. Read and Write return the count done;
// Seek takes a 32-bit offset and returns the low 32 bits of the new
// position. Read, Write and Seek raise EMapiError when the platform fails;
// SetSize ignores failure.
class TIStream {
public:
    enum Origin : std::uint16_t { soFromBeginning = 0, soFromCurrent = 1, soFromEnd = 2 };

    explicit TIStream(std::shared_ptr<IStream> stream) : m_stream(std::move(stream)) {}
    std::int32_t Read(void *buffer, std::int32_t count);
    std::int32_t Write(const void *buffer, std::int32_t count);
    std::int32_t Seek(std::int32_t offset, std::uint16_t origin);
    void SetSize(std::int64_t size);
    std::shared_ptr<IStream> stream() const { return m_stream; }

private:
    std::shared_ptr<IStream> m_stream;
};

// An owned collection of items by 0-based index in insertion order.
template <typename Item, typename Derived> class TOwnedCollection {
public:
    TOwnedCollection() = default;
    TOwnedCollection(const TOwnedCollection &) = delete;
    TOwnedCollection &operator=(const TOwnedCollection &) = delete;

    int Count() const { return int(m_items.size()); }
    Item *Items(int index) const
    {
        return index >= 0 && index < Count() ? m_items[size_t(index)].get() : nullptr;
    }
    Item *operator[](int index) const { return Items(index); }
    Item *Add()
    {
        m_items.push_back(std::make_unique<Item>(static_cast<Derived *>(this)));
        return m_items.back().get();
    }
    void Delete(int index)
    {
        if (index >= 0 && index < Count())
            m_items.erase(m_items.begin() + index);
    }
    void Clear() { m_items.clear(); }
    void reserve(int n) { m_items.reserve(size_t(n)); }

private:
    std::vector<std::unique_ptr<Item>> m_items;
};

class TMAPIRecipients;
class TMAPIRecipient {
public:
    explicit TMAPIRecipient(TMAPIRecipients *collection) : m_collection(collection) {}
    QString Name() const { return m_name; }
    void setName(const QString &v) { m_name = v; }
    QString EMail() const { return m_email; }
    void setEMail(const QString &v) { m_email = v; }
    QString DisplayName() const;
    void Assign(const TMAPIRecipient &other);
    TMAPIRecipients *collection() const { return m_collection; }

private:
    TMAPIRecipients *m_collection;
    QString m_name, m_email;
};
class TMAPIRecipients : public TOwnedCollection<TMAPIRecipient, TMAPIRecipients> {
public:
    explicit TMAPIRecipients(TMAPIMessage *message) : m_message(message) {}
    TMAPIMessage *message() const { return m_message; }

private:
    TMAPIMessage *m_message;
};

class TMAPIAttachments;
class TMAPIAttachment {
public:
    explicit TMAPIAttachment(TMAPIAttachments *collection) : m_collection(collection) {}
    QString Name() const { return m_name; }
    void setName(const QString &v) { m_name = v; }
    QString FileName() const { return m_fileName; }
    void setFileName(const QString &v) { m_fileName = v; }
    QString DisplayName() const;
    // Copies the names, number and attachment object and opens a new
    // stream over the source's data.
    void Assign(const TMAPIAttachment &other);

    ULONG Number() const { return m_number; }
    std::shared_ptr<IAttach> attachObject() const { return m_attach; }
    TIStream *Stream() const { return m_stream.get(); }
    // Set by the loading code.
    void setLoaded(ULONG number, std::shared_ptr<IAttach> attach, std::unique_ptr<TIStream> stream);

private:
    TMAPIAttachments *m_collection;
    QString m_name, m_fileName;
    ULONG m_number = 0;
    std::shared_ptr<IAttach> m_attach;
    std::unique_ptr<TIStream> m_stream;
};
class TMAPIAttachments : public TOwnedCollection<TMAPIAttachment, TMAPIAttachments> {
public:
    explicit TMAPIAttachments(TMAPIMessage *message) : m_message(message) {}
    TMAPIMessage *message() const { return m_message; }
    void Assign(const TMAPIAttachments &other);

private:
    TMAPIMessage *m_message;
};

class TMAPIMessages;
class TMAPIMessage {
public:
    explicit TMAPIMessage(TMAPIMessages *collection);

    // Made on first use: most listed messages never need them.
    TMAPIAttachments &Attachments();
    void setAttachments(const TMAPIAttachments &v) { Attachments().Assign(v); }
    TMAPIRecipients &Recipients();

    QString REPRESENTING_NAME() const { return m_sender; }
    void setREPRESENTING_NAME(const QString &v) { m_sender = v; }
    QString SUBJECT() const { return m_subject; }
    void setSUBJECT(const QString &v) { m_subject = v; }
    // A listed message's text is read from the store when asked for: the
    // folder's table does not carry it.
    QString BODY() const;
    void setBODY(const QString &v)
    {
        m_body = v;
        m_bodyKnown = true;
    }
    TMessageFlags &MessageFlags() { return m_flags; }
    const TMessageFlags &MessageFlags() const { return m_flags; }
    qint32 Size() const { return m_size; }
    QDateTime MessageDeliveryTime() const;
    QString DisplayName() const;

    TMAPISession *Session() const;
    TMAPIMessages *collection() const { return m_collection; }
    QByteArray entryId() const { return m_entryId; }
    // The open platform message; null for a message made here and not yet
    // submitted.
    const std::shared_ptr<IMAPIMessage> &messageObject() const { return m_message; }

private:
    friend class TMAPIFolder;
    friend class TMAPIMessages;
    TMAPIMessages *m_collection;
    QString m_sender, m_subject, m_body;
    TMessageFlags m_flags;
    qint32 m_size = 0;
    FILETIME m_delivery = 0;
    bool m_hasDelivery = false;
    bool m_bodyKnown = true;
    QByteArray m_entryId;
    std::shared_ptr<IMAPIMessage> m_message;
    std::unique_ptr<TMAPIAttachments> m_attachments;
    std::unique_ptr<TMAPIRecipients> m_recipients;
};

class TMAPIMessages : public TOwnedCollection<TMAPIMessage, TMAPIMessages> {
public:
    explicit TMAPIMessages(TMAPIFolder *folder) : m_folder(folder) {}
    TMAPIFolder *folder() const { return m_folder; }
    TMAPISession *Session() const;

    bool MessagesSubmited() const { return m_submitted; }
    // true submits every message made here; it stays true only on success.
    void setMessagesSubmited(bool v);
    virtual ~TMAPIMessages() = default;
    // Creates, addresses and submits each message without a platform
    // message; the result is that of the last one tried.
    virtual bool SubmitMessages();

private:
    TMAPIFolder *m_folder;
    bool m_submitted = false;
};

class TMAPIFolders;
class TMAPIFolder {
public:
    explicit TMAPIFolder(TMAPIFolders *collection);
    virtual ~TMAPIFolder();

    bool Active() const { return m_active; }
    // Opens (reads the subfolders and messages afresh) or closes the folder.
    void setActive(bool v);
    TMAPIFolders &Folders() { return *m_folders; }
    TMAPIMessages &Messages() { return *m_messages; }
    FOLDERS_TYPE FolderType() const { return m_type; }
    void setFolderType(FOLDERS_TYPE v) { m_type = v; }
    QString DisplayName() const { return m_displayName; }
    void setDisplayName(const QString &v) { m_displayName = v; }
    QString SUBJECT() const { return m_subject; }
    void setSUBJECT(const QString &v) { m_subject = v; }
    QString COMMENT() const { return m_comment; }
    void setCOMMENT(const QString &v) { m_comment = v; }
    // Folders are not copied.
    void Assign(const TMAPIFolder &) {}

    TMAPISession *Session() const;
    TMAPIFolders *collection() const { return m_collection; }
    QByteArray entryId() const { return m_entryId; }
    std::shared_ptr<IMAPIFolder> folderObject() const { return m_folder; }
    void setOpened(QByteArray entryId, std::shared_ptr<IMAPIFolder> folder);

    virtual bool OpenFolder();
    virtual bool CloseFolder();
    void LoadSubfolders();
    void LoadMessages();

private:
    TMAPIFolders *m_collection;
    bool m_active = false;
    std::unique_ptr<TMAPIFolders> m_folders;
    std::unique_ptr<TMAPIMessages> m_messages;
    FOLDERS_TYPE m_type = ftInbox;
    QString m_displayName, m_subject, m_comment;
    QByteArray m_entryId;
    std::shared_ptr<IMAPIFolder> m_folder;
};

class TMAPIFolders : public TOwnedCollection<TMAPIFolder, TMAPIFolders> {
public:
    // Owned by the session (its standard folders) or by a folder.
    TMAPIFolders(TMAPISession *session, TMAPIFolder *parent) : m_session(session), m_parent(parent) {}
    TMAPISession *Session() const { return m_session; }
    TMAPIFolder *parentFolder() const { return m_parent; }

private:
    TMAPISession *m_session;
    TMAPIFolder *m_parent;
};

// One logon to the mail store with its four standard folders. Inactive
// until Active is set; logging on reads the standard folders once.
class TMAPISession : public QObject {
    Q_OBJECT
public:
    explicit TMAPISession(Environment &env, QObject *parent = nullptr);
    // Over the store in a given mail client folder.
    explicit TMAPISession(const QString &mailFolder, QObject *parent = nullptr);
    ~TMAPISession() override;

    bool Active() const { return m_active; }
    void setActive(bool v);
    TMAPILogonFlags &LogonFlags() { return m_logonFlags; }
    TMAPILogoffFlags &LogoffFlags() { return m_logoffFlags; }
    QString ProfileName() const { return m_profileName; }
    void setProfileName(const QString &v) { m_profileName = v; }
    QString Password() const { return m_password; }
    void setPassword(const QString &v) { m_password = v; }

    TMAPIFolder *INBOX() const { return m_folders->Items(0); }
    TMAPIFolder *OUTBOX() const { return m_folders->Items(1); }
    TMAPIFolder *WASTEBOX() const { return m_folders->Items(2); }
    TMAPIFolder *SENTBOX() const { return m_folders->Items(3); }
    TMAPIFolders &Folders() { return *m_folders; }

    virtual bool Logon();
    virtual bool Logoff();
    // While loading, Active is remembered and applied by Loaded.
    void BeginLoading() { m_loading = true; }
    void Loaded();

    // The platform objects the folders and messages use.
    std::shared_ptr<IMAPISession> mapiSession() const { return m_session; }
    std::shared_ptr<IMsgStore> store() const { return m_store; }
    std::shared_ptr<IAddrBook> addressBook() const { return m_addrBook; }
    // The block of entry identifiers: inbox, outbox, deleted items, sent
    // items, top of the personal folder tree.
    const QByteArray &entryId(int i) const { return m_entryIds[i]; }

private:
    void releaseAll();
    bool openDefaultStore();
    bool openStandardFolders();
    bool openSpoolerStatus();

    std::unique_ptr<MapiLibrary> m_library;
    bool m_active = false;
    bool m_loading = false;
    bool m_activeWhenLoaded = false;
    TMAPILogonFlags m_logonFlags;
    TMAPILogoffFlags m_logoffFlags;
    QString m_profileName, m_password;
    std::shared_ptr<IMAPISession> m_session;
    std::shared_ptr<IMsgStore> m_store;
    std::shared_ptr<IAddrBook> m_addrBook;
    std::shared_ptr<IMAPIStatus> m_spooler;
    std::shared_ptr<IMAPIFolder> m_standard[4];
    QByteArray m_entryIds[5];
    quintptr m_windowHandle = 0; // dialogs of the platform get no parent window
    std::unique_ptr<TMAPIFolders> m_folders;
};
