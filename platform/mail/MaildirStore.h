#pragma once

#include "platform/mail/MailStore.h"

#include <QHash>
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
    QString outboxPath() const override { return folderPath(StoreFolder::Outbox); }
    OutboxStatus outboxStatus(const QString &id) override;
    QHash<QString, OutboxStatus> outboxStatuses() override;
    void setOutboxStatus(const QString &id, const OutboxStatus &status) override;
    QStringList contactIds() override;
    QByteArray readContact(const QString &id) override;
    QString saveContact(const QString &id, const QByteArray &vcard) override;

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
    Listing &listing(StoreFolder folder);
    QString messageFile(StoreFolder folder, const QString &id);
    void appendIndex(StoreFolder folder, const QString &fileName, const MessageSummary &s);
    QHash<QString, OutboxStatus> readStates();

    void writeStates(const QHash<QString, OutboxStatus> &states);

    QString m_root;
    std::recursive_mutex m_mutex;
    Listing m_listings[4];
    qint64 m_contactsStamp = -1;
    QStringList m_contactIds;
};

// A name no other message of this machine has, ordered by time of creation.
QString uniqueStoreName();
