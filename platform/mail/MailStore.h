#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// Where the mail client keeps its folders. One interface, so another store
// can take the Maildir's place without touching the object model.
// Inbox (the Maildir's root) and Deleted Items are the message store's
// standard folders beside the two the mail client fills.
enum class StoreFolder { Outbox, SentItems, Inbox, DeletedItems };

// What a folder listing shows of a message: enough for the folder windows
// and the tracking lists, without reading the message.
struct MessageSummary {
    QString id;
    QString to;
    QString subject;
    QDateTime time; // Sent Items: delivery time; Outbox: when it was queued (UTC)

    // What the store takes from the message itself when it indexes it, so
    // that the message store components list a folder without reading each
    // message. Callers leave these out; the store fills them.
    QString from{};
    qint64 size = -1;          // bytes of the stored message
    QStringList attachments{}; // file names; an attachment without one has an empty name
    bool detailed = false;
};

// An Outbox mail's place in delivery.
enum class OutboxState { Draft, Queued, Refused };
struct OutboxStatus {
    OutboxState state = OutboxState::Queued;
    QString reason; // the server's words for a refused mail
};

class MailStore {
public:
    virtual ~MailStore() = default;

    // The folder's messages in store order: the order in which they came in.
    // Sent Items are therefore in delivery order, and position n here is
    // item n of the object model and of the message store components.
    virtual QList<MessageSummary> messages(StoreFolder folder) = 0;
    virtual QByteArray readMessage(StoreFolder folder, const QString &id) = 0;
    // Stores an RFC 5322 message last in the folder; returns its id.
    virtual QString addMessage(StoreFolder folder, const QByteArray &message,
                               const MessageSummary &summary) = 0;
    virtual void replaceMessage(StoreFolder folder, const QString &id, const QByteArray &message,
                                const MessageSummary &summary) = 0;
    virtual void removeMessage(StoreFolder folder, const QString &id) = 0;

    // A delivered Outbox mail: message, its copy with the delivery stamp,
    // goes to Sent Items and the Outbox mail is taken out of delivery at
    // once. A store may put off the flush to disk until flushDelivered,
    // which must keep a delivered mail from being lost; returns the Sent
    // Items id.
    virtual QString fileDelivered(const QString &outboxId, const QByteArray &message,
                                  const MessageSummary &summary)
    {
        const QString id = addMessage(StoreFolder::SentItems, message, summary);
        removeMessage(StoreFolder::Outbox, outboxId);
        return id;
    }
    // wait: return only once the delivered mails have left the Outbox.
    virtual void flushDelivered(bool wait = false) { (void)wait; }

    // A folder where the Outbox's users may put lock files.
    virtual QString outboxPath() const = 0;
    virtual OutboxStatus outboxStatus(const QString &id) = 0;
    // Every Outbox mail whose state is not plain Queued.
    virtual QHash<QString, OutboxStatus> outboxStatuses() = 0;
    virtual void setOutboxStatus(const QString &id, const OutboxStatus &status) = 0;

    // Contacts in store order (oldest first); a new contact comes last.
    virtual QStringList contactIds() = 0;
    virtual QByteArray readContact(const QString &id) = 0;
    // An empty id stores a new contact; returns the id.
    virtual QString saveContact(const QString &id, const QByteArray &vcard) = 0;
};
