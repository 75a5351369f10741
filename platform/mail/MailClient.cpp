#include "platform/mail/MailClient.h"

#include "platform/environment/Environment.h"
#include "platform/mail/MailError.h"
#include "platform/mail/MailWindows.h"

#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

MailClient::MailClient(Environment &env)
    : m_env(env), m_folder(env.stateFolderFor(QStringLiteral("mail"))), m_settings(m_folder)
{
    qRegisterMetaType<DeliveryReport>("DeliveryReport");
    m_store = std::make_unique<MaildirStore>(m_folder);
}

std::unique_ptr<Secrets::SecretStore> MailClient::secrets() const
{
    return defaultSecretStore(m_folder);
}

QString MailClient::password() const
{
    const MailAccount a = m_settings.account();
    if (a.user.isEmpty())
        return {};
    try {
        return secrets()->read(passwordKey()).value_or(QString());
    } catch (const Secrets::SecretStoreError &) {
        // Without the password the server refuses the login and says so.
        return {};
    }
}

DeliveryReport MailClient::deliverNow(const std::function<void(int, int)> &progress)
{
    SmtpTransport transport;
    DeliveryAgent agent(*m_store, transport, m_env.clock());
    m_lastReport = agent.deliverOutbox(m_settings.account(), password(), progress);
    emit deliveryFinished(m_lastReport);
    return m_lastReport;
}

void MailClient::requestDelivery()
{
    // Many mails sent in one go make one delivery run, started once the
    // sender returns to the event loop.
    if (m_requestPosted)
        return;
    m_requestPosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_requestPosted = false;
            startDelivery();
        },
        Qt::QueuedConnection);
}

void MailClient::startDelivery()
{
    if (m_delivering) {
        m_again = true;
        return;
    }
    const MailAccount account = m_settings.account();
    if (!account.configured()) {
        m_lastReport = {};
        m_lastReport.waiting = int(m_store->messages(StoreFolder::Outbox).size());
        m_lastReport.note = DeliveryAgent::noAccountText();
        emit deliveryFinished(m_lastReport);
        return;
    }
    m_delivering = true;
    m_again = false;
    auto *watcher = new QFutureWatcher<DeliveryReport>(this);
    connect(watcher, &QFutureWatcher<DeliveryReport>::finished, this, [this, watcher] {
        m_lastReport = watcher->result();
        watcher->deleteLater();
        m_delivering = false;
        emit deliveryFinished(m_lastReport);
        if (m_again)
            startDelivery();
    });
    watcher->setFuture(deliverInBackground(account));
}

QFuture<DeliveryReport> MailClient::deliverInBackground(const MailAccount &account) const
{
    const QString root = m_folder;
    const QString pass = password(); // read here: the secret store wants this thread
    Clock *clock = &m_env.clock();
    return QtConcurrent::run([root, account, pass, clock] {
        try {
            MaildirStore store(root);
            SmtpTransport transport;
            DeliveryAgent agent(store, transport, *clock);
            return agent.deliverOutbox(account, pass);
        } catch (const MailError &e) {
            DeliveryReport r;
            r.note = e.text();
            return r;
        }
    });
}

MailClient::~MailClient()
{
    // The program lets go of the client right after sending: mail it asked
    // to deliver still goes, on its own.
    if (m_requestPosted && !m_delivering) {
        const MailAccount account = m_settings.account();
        if (account.configured())
            deliverInBackground(account);
    }
}

OutboxBatch::OutboxBatch(std::shared_ptr<MailClient> client) : m_client(std::move(client))
{
    m_client->store().beginBatch();
}

OutboxBatch::~OutboxBatch()
{
    try {
        commit();
    } catch (const MailError &) {
        // Ended by an error already on its way; the mails that could be
        // placed are.
    }
}

void OutboxBatch::commit()
{
    if (!std::exchange(m_open, false))
        return;
    m_client->store().commitBatch();
}

// ---------------------------------------------------------------- items

void MailAttachments::Add(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw MailError(QStringLiteral("Cannot attach %1: %2").arg(path, f.errorString()));
    if (f.size() > MaildirStore::kMaxMessageBytes / 2)
        throw MailError(QStringLiteral("Cannot attach %1: the file is too large").arg(path));
    m_mail.message().attachments.append({QFileInfo(path).fileName(), f.readAll()});
}

int MailAttachments::Count() const
{
    return int(m_mail.message().attachments.size());
}

MailItem::MailItem(std::shared_ptr<MailClient> client, StoreFolder folder, QString id)
    : m_client(std::move(client)), m_folder(folder), m_id(std::move(id))
{
    if (!m_id.isEmpty())
        m_mail = Mime::parse(m_client->store().readMessage(m_folder, m_id));
}

void MailItem::store(OutboxState state)
{
    if (m_folder == StoreFolder::SentItems)
        throw MailError(QStringLiteral("A sent mail cannot be changed"));
    if (state == OutboxState::Queued)
        Mime::addresses(m_mail.to); // refuse a mail nobody can receive before it is queued
    const MailAccount account = m_client->settings().account();
    if (m_mail.from.isEmpty())
        m_mail.from = account.fromAddress;
    m_mail.date = m_client->environment().clock().now();
    const QByteArray bytes = Mime::build(m_mail);
    const MessageSummary summary{QString(), m_mail.to, m_mail.subject, m_mail.date};
    if (m_id.isEmpty()) {
        m_id = m_client->store().addMessage(StoreFolder::Outbox, bytes, summary);
        // A new mail has no state yet, and plain queued is what none means.
        if (state == OutboxState::Queued)
            return;
    } else {
        m_client->store().replaceMessage(StoreFolder::Outbox, m_id, bytes, summary);
    }
    m_client->store().setOutboxStatus(m_id, {state, {}});
}

void MailItem::Send()
{
    store(OutboxState::Queued);
    if (m_client->autoDeliver)
        m_client->requestDelivery();
}

void MailItem::Save()
{
    store(OutboxState::Draft);
}

void MailItem::Display()
{
    showComposeWindow(shared_from_this());
}

ContactItem::ContactItem(std::shared_ptr<MailClient> client, QString id)
    : m_client(std::move(client)), m_id(std::move(id))
{
    if (!m_id.isEmpty())
        m_card = VCard::read(m_client->store().readContact(m_id));
}

void ContactItem::Save()
{
    if (m_card.uid.isEmpty())
        m_card.uid = uniqueStoreName();
    m_id = m_client->store().saveContact(m_id, VCard::write(m_card));
}

void ContactItem::Display()
{
    showContactCard(shared_from_this());
}

// ---------------------------------------------------------------- folders

int MailItems::Count() const
{
    if (m_folder == DefaultFolder::Contacts)
        return int(m_client->store().contactIds().size());
    return int(m_client->store().messages(StoreFolder(m_folder == DefaultFolder::SentItems)).size());
}

std::shared_ptr<OleItem> MailItems::Item(int index) const
{
    if (m_folder == DefaultFolder::Contacts) {
        const QStringList ids = m_client->store().contactIds();
        if (index < 1 || index > ids.size())
            throw MailError(QStringLiteral("Array index out of bounds: %1").arg(index));
        return std::make_shared<ContactItem>(m_client, ids[index - 1]);
    }
    const StoreFolder f = m_folder == DefaultFolder::SentItems ? StoreFolder::SentItems : StoreFolder::Outbox;
    const QList<MessageSummary> list = m_client->store().messages(f);
    if (index < 1 || index > list.size())
        throw MailError(QStringLiteral("Array index out of bounds: %1").arg(index));
    return std::make_shared<MailItem>(m_client, f, list[index - 1].id);
}

std::shared_ptr<OleItem> MailItems::Add() const
{
    switch (m_folder) {
    case DefaultFolder::Contacts:
        return std::make_shared<ContactItem>(m_client);
    case DefaultFolder::Outbox:
        return std::make_shared<MailItem>(m_client, StoreFolder::Outbox);
    case DefaultFolder::SentItems:
        break;
    }
    throw MailError(QStringLiteral("Items cannot be added to Sent Items"));
}

MailFolder::MailFolder(std::shared_ptr<MailClient> client, DefaultFolder folder)
    : m_client(client), m_folder(folder), m_items(std::move(client), folder)
{
}

QString MailFolder::Name() const
{
    switch (m_folder) {
    case DefaultFolder::Outbox:
        return QStringLiteral("Outbox");
    case DefaultFolder::SentItems:
        return QStringLiteral("Sent Items");
    case DefaultFolder::Contacts:
        break;
    }
    return QStringLiteral("Contacts");
}

void MailFolder::Display()
{
    showFolderWindow(m_client, m_folder);
}

std::shared_ptr<MailFolder> MailNamespace::GetDefaultFolder(int folder) const
{
    if (folder != 4 && folder != 5 && folder != 10)
        throw MailError(QStringLiteral("The folder %1 is not available").arg(folder));
    return std::make_shared<MailFolder>(m_client, DefaultFolder(folder));
}

std::shared_ptr<MailNamespace> MailApplication::GetNamespace(const QString &name) const
{
    if (name.compare(QLatin1String("MAPI"), Qt::CaseInsensitive) != 0)
        throw MailError(QStringLiteral("Unknown namespace %1").arg(name));
    return std::make_shared<MailNamespace>(m_client);
}

std::shared_ptr<MailApplication> CreateOleObject(const QString &progId, Environment &env)
{
    if (progId.compare(QLatin1String("Outlook.Application"), Qt::CaseInsensitive) != 0)
        throw MailError(QStringLiteral("Invalid class string"));
    MailSettings settings(env.stateFolderFor(QStringLiteral("mail")));
    if (!settings.installed())
        throw MailError(QStringLiteral("The mail client is not installed"));
    return std::make_shared<MailApplication>(std::make_shared<MailClient>(env));
}
