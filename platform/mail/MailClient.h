#pragma once

#include "platform/mail/DeliveryAgent.h"
#include "platform/mail/MailAccount.h"
#include "platform/mail/MailMessage.h"
#include "platform/mail/MaildirStore.h"
#include "platform/mail/VCard.h"

#include <QFuture>
#include <QObject>
#include <memory>

class Environment;

// The mail client behind the automation interface the program calls: an
// application made by ProgID, its "MAPI" namespace, the default folders
// 4 (Outbox), 5 (Sent Items) and 10 (Contacts), their items and Display.
// Every failure throws MailError.

// What all objects of one running client share.
class MailClient : public QObject {
    Q_OBJECT
public:
    explicit MailClient(Environment &env);
    ~MailClient() override;

    Environment &environment() const { return m_env; }
    QString folder() const { return m_folder; }
    MaildirStore &store() { return *m_store; }
    MailSettings &settings() { return m_settings; }
    std::unique_ptr<Secrets::SecretStore> secrets() const;
    QString password() const;

    // Delivers the Outbox now, on this thread.
    DeliveryReport deliverNow(const std::function<void(int, int)> &progress = {});
    // Delivers the Outbox on a worker thread when an account is set up,
    // once control is back in the event loop (requests made before then
    // share one run); deliveryFinished is emitted on this object's thread.
    void requestDelivery();
    // Send() starts a delivery itself unless switched off (tests deliver
    // by hand).
    bool autoDeliver = true;
    DeliveryReport lastReport() const { return m_lastReport; }

    static QString passwordKey() { return QStringLiteral("smtp-password"); }

signals:
    void deliveryFinished(const DeliveryReport &report);

private:
    void startDelivery();
    QFuture<DeliveryReport> deliverInBackground(const MailAccount &account) const;

    Environment &m_env;
    QString m_folder;
    std::unique_ptr<MaildirStore> m_store;
    MailSettings m_settings;
    DeliveryReport m_lastReport;
    bool m_delivering = false;
    bool m_again = false;
    bool m_requestPosted = false;
};

// Mails sent while a batch is open reach the Outbox together when it is
// committed (or ends), with one flush to disk for all of them instead of
// one each.
class OutboxBatch {
public:
    explicit OutboxBatch(std::shared_ptr<MailClient> client);
    ~OutboxBatch();
    OutboxBatch(const OutboxBatch &) = delete;
    OutboxBatch &operator=(const OutboxBatch &) = delete;
    // Throws MailError when a mail could not be placed.
    void commit();

private:
    std::shared_ptr<MailClient> m_client;
    bool m_open = true;
};

class OleItem {
public:
    virtual ~OleItem() = default;
    virtual void Display() = 0;
    virtual void Save() = 0;
};

class MailItem;
class MailAttachments {
public:
    explicit MailAttachments(MailItem &mail) : m_mail(mail) {}
    // Reads the file now; the mail holds its content from then on.
    void Add(const QString &path);
    int Count() const;

private:
    MailItem &m_mail;
};

class MailItem : public OleItem, public std::enable_shared_from_this<MailItem> {
public:
    // A new mail, or one stored in folder under id.
    MailItem(std::shared_ptr<MailClient> client, StoreFolder folder, QString id = {});

    QString To() const { return m_mail.to; }
    void setTo(const QString &v) { m_mail.to = v; }
    QString Subject() const { return m_mail.subject; }
    void setSubject(const QString &v) { m_mail.subject = v; }
    QString Body() const { return m_mail.body; }
    void setBody(const QString &v) { m_mail.body = v; }
    MailAttachments &Attachments() { return m_attachments; }
    QDateTime DeliveryTime() const { return m_mail.delivered; }

    // Queues the mail in the Outbox for delivery.
    void Send();
    // Keeps the mail in the Outbox as a draft.
    void Save() override;
    // Opens the compose window (a sent mail opens read-only).
    void Display() override;

    bool isSent() const { return m_folder == StoreFolder::SentItems; }
    const MailMessage &message() const { return m_mail; }
    MailMessage &message() { return m_mail; }
    MailClient &client() { return *m_client; }

private:
    void store(OutboxState state);

    std::shared_ptr<MailClient> m_client;
    StoreFolder m_folder;
    QString m_id;
    MailMessage m_mail;
    MailAttachments m_attachments{*this};
};

class ContactItem : public OleItem, public std::enable_shared_from_this<ContactItem> {
public:
    ContactItem(std::shared_ptr<MailClient> client, QString id = {});

    QString FirstName() const { return m_card.firstName; }
    void setFirstName(const QString &v) { m_card.firstName = v; }
    QString LastName() const { return m_card.lastName; }
    void setLastName(const QString &v) { m_card.lastName = v; }
    QString CompanyName() const { return m_card.companyName; }
    void setCompanyName(const QString &v) { m_card.companyName = v; }
    QString BusinessAddress() const { return m_card.businessAddress; }
    void setBusinessAddress(const QString &v) { m_card.businessAddress = v; }
    QString Email1Address() const { return m_card.email1Address; }
    void setEmail1Address(const QString &v) { m_card.email1Address = v; }
    QString BusinessTelephoneNumber() const { return m_card.businessTelephoneNumber; }
    void setBusinessTelephoneNumber(const QString &v) { m_card.businessTelephoneNumber = v; }
    QString BusinessFaxNumber() const { return m_card.businessFaxNumber; }
    void setBusinessFaxNumber(const QString &v) { m_card.businessFaxNumber = v; }
    QString Body() const { return m_card.body; }
    void setBody(const QString &v) { m_card.body = v; }

    void Save() override;
    // Opens the contact card.
    void Display() override;

    QString id() const { return m_id; }
    const ContactCard &card() const { return m_card; }
    ContactCard &card() { return m_card; }

private:
    std::shared_ptr<MailClient> m_client;
    QString m_id;
    ContactCard m_card;
};

enum class DefaultFolder { Outbox = 4, SentItems = 5, Contacts = 10 };

class MailItems {
public:
    MailItems(std::shared_ptr<MailClient> client, DefaultFolder folder)
        : m_client(std::move(client)), m_folder(folder)
    {
    }
    int Count() const;
    // index from 1; throws when out of range.
    std::shared_ptr<OleItem> Item(int index) const;
    // A new, unsaved item of the folder's kind.
    std::shared_ptr<OleItem> Add() const;

private:
    std::shared_ptr<MailClient> m_client;
    DefaultFolder m_folder;
};

class MailFolder {
public:
    MailFolder(std::shared_ptr<MailClient> client, DefaultFolder folder);
    QString Name() const;
    DefaultFolder kind() const { return m_folder; }
    MailItems &Items() { return m_items; }
    // Opens the folder list window.
    void Display();

private:
    std::shared_ptr<MailClient> m_client;
    DefaultFolder m_folder;
    MailItems m_items;
};

class MailNamespace {
public:
    explicit MailNamespace(std::shared_ptr<MailClient> client) : m_client(std::move(client)) {}
    std::shared_ptr<MailFolder> GetDefaultFolder(int folder) const;

private:
    std::shared_ptr<MailClient> m_client;
};

class MailApplication {
public:
    explicit MailApplication(std::shared_ptr<MailClient> client) : m_client(std::move(client)) {}
    std::shared_ptr<MailNamespace> GetNamespace(const QString &name) const;
    MailClient &client() { return *m_client; }
    std::unique_ptr<OutboxBatch> beginOutboxBatch() const { return std::make_unique<OutboxBatch>(m_client); }

private:
    std::shared_ptr<MailClient> m_client;
};

// The automation entry: "Outlook.Application" makes the mail client's
// application. Throws when the ProgID is unknown or the client is not
// installed.
std::shared_ptr<MailApplication> CreateOleObject(const QString &progId, Environment &env);
