#pragma once

#include "platform/mail/MailStore.h"

#include <QHash>
#include <future>
#include <mutex>

// The store on disk, under the mail client's folder:
//   Maildir/            the mailbox root (Maildir++) and Inbox, Outbox in
//                       Maildir/.Outbox, Sent Items in Maildir/.Sent, Deleted
//                       Items in Maildir/.Trash
//   Contacts/*.vcf      one vCard 3.0 file per contact
// File names begin with the time they were stored, so their order is store
// order. Each mail folder keeps a header index (brenvoy-index) that is
// extended on every store, so listing a large folder reads one file;
// messages dropped in by other programs are read and added to it.
class MaildirStore final : public MailStore {
public:
    explicit MaildirStore(QString root);

    QString root() const { return m_root; }
    QString folderPath(StoreFolder folder) const;
    QString contactsPath() const;

    QList<MessageSummary> messages(StoreFolder folder) override;
    QByteArray readMessage(StoreFolder folder, const QString &id) override;
    QString addMessage(StoreFolder folder, const QByteArray &message, const MessageSummary &summary) override;
    void replaceMessage(StoreFolder folder, const QString &id, const QByteArray &message,
                        const MessageSummary &summary) override;
    void removeMessage(StoreFolder folder, const QString &id) override;
    QString fileDelivered(const QString &outboxId, const QByteArray &message,
                          const MessageSummary &summary) override;
    void flushDelivered(bool wait = false) override;
    QString outboxPath() const override { return folderPath(StoreFolder::Outbox); }
    OutboxStatus outboxStatus(const QString &id) override;
    QHash<QString, OutboxStatus> outboxStatuses() override;
    void setOutboxStatus(const QString &id, const OutboxStatus &status) override;
    QStringList contactIds() override;
    QByteArray readContact(const QString &id) override;
    QString saveContact(const QString &id, const QByteArray &vcard) override;

    // Messages added between beginBatch and commitBatch are written at once
    // but named in their folder only at commitBatch, after one flush of the
    // file system for all of them: each is then there whole, or (after a
    // crash before the commit) not at all. Batches nest.
    void beginBatch();
    // Throws MailError naming the first message that could not be placed;
    // the others are placed all the same.
    void commitBatch();

    // Larger files are refused rather than read into memory.
    static constexpr qint64 kMaxMessageBytes = 64 * 1024 * 1024;
    static constexpr qint64 kMaxContactBytes = 1024 * 1024;
    // An index larger than this is not read: the folder is listed from its
    // messages and the index written anew.
    static constexpr qint64 kMaxIndexBytes = 256LL * 1024 * 1024; // over a million mails

private:
    struct Listing {
        qint64 curStamp = -1, newStamp = -1;
        QList<MessageSummary> items;
        QHash<QString, QString> oddFiles; // id -> path relative to the folder, for names not our own
    };
    enum class Placing { Synced, Unsynced, Batch };
    QString place(StoreFolder folder, const QByteArray &message, const MessageSummary &summary, Placing how);
    Listing &listing(StoreFolder folder);
    QString messageFile(StoreFolder folder, const QString &id);
    void appendIndex(StoreFolder folder, const QString &fileName, const MessageSummary &s);
    QHash<QString, OutboxStatus> readStates();

    void writeStates(const QHash<QString, OutboxStatus> &states);

    QString m_root;
    std::recursive_mutex m_mutex;
    int m_batchDepth = 0;
    QList<std::pair<QString, QString>> m_pending; // temporary file, its place in cur/
    std::future<void> m_removal;                  // delivered Outbox files being removed
    Listing m_listings[4];
    qint64 m_contactsStamp = -1;
    QStringList m_contactIds;
};

// A name no other message of this machine has, ordered by time of creation.
QString uniqueStoreName();
