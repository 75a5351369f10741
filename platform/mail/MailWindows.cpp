#include "platform/mail/MailWindows.h"

#include "platform/mail/MailError.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QVBoxLayout>

namespace {
template <typename W> W *named(W *w, const char *name)
{
    w->setObjectName(QLatin1String(name));
    return w;
}
} // namespace

void showComposeWindow(std::shared_ptr<MailItem> mail)
{
    auto *w = new MailComposeWindow(std::move(mail));
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->show();
}

void showContactCard(std::shared_ptr<ContactItem> contact)
{
    auto *w = new MailContactCard(std::move(contact));
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->show();
}

void showFolderWindow(std::shared_ptr<MailClient> client, DefaultFolder folder)
{
    auto *w = new MailFolderWindow(std::move(client), folder);
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->show();
}

void showAccountSettings(std::shared_ptr<MailClient> client, QWidget *parent)
{
    MailAccountDialog dlg(std::move(client), parent);
    dlg.exec();
}

// ---------------------------------------------------------------- compose

MailComposeWindow::MailComposeWindow(std::shared_ptr<MailItem> mail) : m_mail(std::move(mail))
{
    setObjectName("MailComposeWindow");
    const bool sent = m_mail->isSent();
    setWindowTitle((m_mail->Subject().isEmpty() ? QStringLiteral("(no subject)") : m_mail->Subject()) +
                   (sent ? QStringLiteral(" - Sent mail") : QStringLiteral(" - Message")));
    auto *form = new QFormLayout;
    form->addRow("To:", editTo = named(new QLineEdit(m_mail->To()), "editTo"));
    form->addRow("Subject:", editSubject = named(new QLineEdit(m_mail->Subject()), "editSubject"));
    QStringList names;
    for (const MailAttachment &a : m_mail->message().attachments)
        names << a.fileName;
    form->addRow("Attached:", lblAttachments = named(new QLabel(names.join("; ")), "lblAttachments"));
    memoBody = named(new QPlainTextEdit(m_mail->Body()), "memoBody");
    btnSend = named(new QPushButton("&Send"), "btnSend");
    btnSave = named(new QPushButton("Save &Draft"), "btnSave");
    lblStatus = named(new QLabel, "lblStatus");
    if (sent) {
        for (QLineEdit *e : {editTo, editSubject})
            e->setReadOnly(true);
        memoBody->setReadOnly(true);
        btnSend->hide();
        btnSave->hide();
        lblStatus->setText(QStringLiteral("Delivered %1")
                               .arg(QLocale().toString(m_mail->DeliveryTime(), QLocale::ShortFormat)));
    }
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(lblStatus, 1);
    buttons->addWidget(btnSave);
    buttons->addWidget(btnSend);
    auto *top = new QVBoxLayout(this);
    top->addLayout(form);
    top->addWidget(memoBody, 1);
    top->addLayout(buttons);
    resize(560, 420);
    connect(btnSend, &QPushButton::clicked, this, &MailComposeWindow::send);
    connect(btnSave, &QPushButton::clicked, this, &MailComposeWindow::save);
}

void MailComposeWindow::takeFields()
{
    m_mail->setTo(editTo->text());
    m_mail->setSubject(editSubject->text());
    m_mail->setBody(memoBody->toPlainText());
}

void MailComposeWindow::send()
{
    takeFields();
    try {
        m_mail->Send();
        close();
    } catch (const MailError &e) {
        lblStatus->setText(e.text());
    }
}

void MailComposeWindow::save()
{
    takeFields();
    try {
        m_mail->Save();
        lblStatus->setText(QStringLiteral("Saved in the Outbox as a draft."));
    } catch (const MailError &e) {
        lblStatus->setText(e.text());
    }
}

// ---------------------------------------------------------------- contact card

MailContactCard::MailContactCard(std::shared_ptr<ContactItem> contact) : m_contact(std::move(contact))
{
    setObjectName("MailContactCard");
    const ContactCard &c = m_contact->card();
    const QString title = (c.firstName + " " + c.lastName).trimmed();
    setWindowTitle((title.isEmpty() ? QStringLiteral("Untitled") : title) + " - Contact");
    auto *form = new QFormLayout;
    form->addRow("First name:", editFirstName = named(new QLineEdit(c.firstName), "editFirstName"));
    form->addRow("Last name:", editLastName = named(new QLineEdit(c.lastName), "editLastName"));
    form->addRow("Company:", editCompany = named(new QLineEdit(c.companyName), "editCompany"));
    form->addRow("Business address:",
                 memoAddress = named(new QPlainTextEdit(c.businessAddress), "memoAddress"));
    form->addRow("E-mail:", editEmail = named(new QLineEdit(c.email1Address), "editEmail"));
    form->addRow("Business phone:", editPhone = named(new QLineEdit(c.businessTelephoneNumber), "editPhone"));
    form->addRow("Business fax:", editFax = named(new QLineEdit(c.businessFaxNumber), "editFax"));
    form->addRow("Notes:", memoNotes = named(new QPlainTextEdit(c.body), "memoNotes"));
    memoAddress->setMaximumHeight(60);
    btnSave = named(new QPushButton("&Save && Close"), "btnSave");
    lblStatus = named(new QLabel, "lblStatus");
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(lblStatus, 1);
    buttons->addWidget(btnSave);
    auto *top = new QVBoxLayout(this);
    top->addLayout(form);
    top->addLayout(buttons);
    resize(420, 440);
    connect(btnSave, &QPushButton::clicked, this, &MailContactCard::save);
}

void MailContactCard::save()
{
    m_contact->setFirstName(editFirstName->text());
    m_contact->setLastName(editLastName->text());
    m_contact->setCompanyName(editCompany->text());
    m_contact->setBusinessAddress(memoAddress->toPlainText());
    m_contact->setEmail1Address(editEmail->text());
    m_contact->setBusinessTelephoneNumber(editPhone->text());
    m_contact->setBusinessFaxNumber(editFax->text());
    m_contact->setBody(memoNotes->toPlainText());
    try {
        m_contact->Save();
        close();
    } catch (const MailError &e) {
        lblStatus->setText(e.text());
    }
}

// ---------------------------------------------------------------- folder list

MailFolderModel::MailFolderModel(std::shared_ptr<MailClient> client, DefaultFolder folder, QObject *parent)
    : QAbstractTableModel(parent), m_client(std::move(client)), m_folder(folder)
{
    reload();
}

void MailFolderModel::reload()
{
    beginResetModel();
    m_messages.clear();
    m_states.clear();
    m_contactIds.clear();
    m_cards.clear();
    if (m_folder == DefaultFolder::Contacts) {
        m_contactIds = m_client->store().contactIds();
    } else {
        const StoreFolder f =
            m_folder == DefaultFolder::Outbox ? StoreFolder::Outbox : StoreFolder::SentItems;
        m_messages = m_client->store().messages(f);
        if (f == StoreFolder::Outbox) {
            const QHash<QString, OutboxStatus> states = m_client->store().outboxStatuses();
            for (const MessageSummary &s : m_messages)
                m_states << states.value(s.id);
        }
    }
    endResetModel();
}

int MailFolderModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return int(m_folder == DefaultFolder::Contacts ? m_contactIds.size() : m_messages.size());
}

int MailFolderModel::columnCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return m_folder == DefaultFolder::Contacts ? 5 : m_folder == DefaultFolder::Outbox ? 4 : 3;
}

QVariant MailFolderModel::headerData(int section, Qt::Orientation o, int role) const
{
    if (o != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const QStringList contacts{"Name", "Company", "E-mail", "Business phone", "Business fax"};
    static const QStringList outbox{"To", "Subject", "Queued", "State"};
    static const QStringList sent{"To", "Subject", "Delivered"};
    const QStringList &h = m_folder == DefaultFolder::Contacts ? contacts
                           : m_folder == DefaultFolder::Outbox ? outbox
                                                               : sent;
    return h.value(section);
}

QVariant MailFolderModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    const int row = index.row(), col = index.column();
    if (m_folder == DefaultFolder::Contacts) {
        const QString id = m_contactIds.value(row);
        auto it = m_cards.find(id);
        if (it == m_cards.end()) {
            ContactCard card;
            try {
                card = VCard::read(m_client->store().readContact(id));
            } catch (const MailError &e) {
                card.firstName = e.text();
            }
            it = m_cards.insert(id, card);
        }
        switch (col) {
        case 0:
            return (it->firstName + " " + it->lastName).trimmed();
        case 1:
            return it->companyName;
        case 2:
            return it->email1Address;
        case 3:
            return it->businessTelephoneNumber;
        default:
            return it->businessFaxNumber;
        }
    }
    const MessageSummary &s = m_messages[row];
    switch (col) {
    case 0:
        return s.to;
    case 1:
        return s.subject;
    case 2:
        return QLocale().toString(s.time, QLocale::ShortFormat);
    default:
        break;
    }
    const OutboxStatus &st = m_states.value(row);
    switch (st.state) {
    case OutboxState::Draft:
        return QStringLiteral("Draft");
    case OutboxState::Refused:
        return QStringLiteral("Refused: ") + st.reason;
    case OutboxState::Queued:
        break;
    }
    return QStringLiteral("Waiting to be sent");
}

MailFolderWindow::MailFolderWindow(std::shared_ptr<MailClient> client, DefaultFolder folder)
    : m_client(std::move(client)), m_folder(folder)
{
    setObjectName("MailFolderWindow");
    setWindowTitle(MailFolder(m_client, folder).Name() + " - Mail");
    lblStatus = named(new QLabel, "lblStatus");
    lblStatus->setWordWrap(true);
    grid = named(new QTableView, "grid");
    model = new MailFolderModel(m_client, folder, this);
    grid->setModel(model);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->horizontalHeader()->setStretchLastSection(true);
    grid->verticalHeader()->setDefaultSectionSize(20);
    btnSendReceive = named(new QPushButton("Send/&Receive"), "btnSendReceive");
    btnAccount = named(new QPushButton("&Account Settings..."), "btnAccount");
    btnRefresh = named(new QPushButton("Re&fresh"), "btnRefresh");
    btnSendReceive->setVisible(folder == DefaultFolder::Outbox);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(btnSendReceive);
    buttons->addWidget(btnRefresh);
    buttons->addStretch();
    buttons->addWidget(btnAccount);
    auto *top = new QVBoxLayout(this);
    top->addWidget(lblStatus);
    top->addWidget(grid, 1);
    top->addLayout(buttons);
    resize(680, 400);
    connect(btnRefresh, &QPushButton::clicked, this, &MailFolderWindow::refresh);
    connect(btnSendReceive, &QPushButton::clicked, this, [this] {
        btnSendReceive->setEnabled(false);
        lblStatus->setText(QStringLiteral("Sending..."));
        m_client->requestDelivery();
    });
    connect(btnAccount, &QPushButton::clicked, this, [this] {
        showAccountSettings(m_client, this);
        refresh();
    });
    connect(grid, &QTableView::doubleClicked, this, [this](const QModelIndex &i) { openRow(i.row()); });
    connect(m_client.get(), &MailClient::deliveryFinished, this, [this](const DeliveryReport &r) {
        btnSendReceive->setEnabled(true);
        model->reload();
        showReport(r);
    });
    refresh();
}

void MailFolderWindow::showReport(const DeliveryReport &r)
{
    if (!r.note.isEmpty())
        lblStatus->setText(r.note);
    else
        lblStatus->setText(QStringLiteral("%1 sent, %2 refused.").arg(r.delivered).arg(r.refused));
}

void MailFolderWindow::refresh()
{
    model->reload();
    if (m_folder != DefaultFolder::Outbox) {
        lblStatus->setText(QStringLiteral("%1 items").arg(model->rowCount()));
        return;
    }
    if (!m_client->settings().account().configured())
        lblStatus->setText(DeliveryAgent::noAccountText());
    else
        lblStatus->setText(QStringLiteral("%1 items. Mail is sent through %2.")
                               .arg(model->rowCount())
                               .arg(m_client->settings().account().host));
}

void MailFolderWindow::openRow(int row)
{
    try {
        MailFolder(m_client, m_folder).Items().Item(row + 1)->Display();
    } catch (const MailError &e) {
        lblStatus->setText(e.text());
    }
}

// ---------------------------------------------------------------- account

MailAccountDialog::MailAccountDialog(std::shared_ptr<MailClient> client, QWidget *parent)
    : QDialog(parent), m_client(std::move(client))
{
    setObjectName("MailAccountDialog");
    setWindowTitle("Account Settings");
    const MailAccount a = m_client->settings().account();
    auto *form = new QFormLayout;
    form->addRow("Your e-mail address:", editFrom = named(new QLineEdit(a.fromAddress), "editFrom"));
    form->addRow("Outgoing mail server (SMTP):", editHost = named(new QLineEdit(a.host), "editHost"));
    spinPort = named(new QSpinBox, "spinPort");
    spinPort->setRange(1, 65535);
    spinPort->setValue(a.port);
    form->addRow("Port:", spinPort);
    cbSecurity = named(new QComboBox, "cbSecurity");
    cbSecurity->addItems({"None", "STARTTLS", "SSL/TLS"});
    cbSecurity->setCurrentIndex(a.security == MailAccount::Security::None       ? 0
                                : a.security == MailAccount::Security::StartTls ? 1
                                                                                : 2);
    form->addRow("Connection security:", cbSecurity);
    form->addRow("User name:", editUser = named(new QLineEdit(a.user), "editUser"));
    editPassword = named(new QLineEdit, "editPassword");
    editPassword->setEchoMode(QLineEdit::Password);
    editPassword->setPlaceholderText(m_client->password().isEmpty() ? QString()
                                                                    : QStringLiteral("(unchanged)"));
    form->addRow("Password:", editPassword);
    form->addRow("Extra trusted CA file:", editCaFile = named(new QLineEdit(a.caFile), "editCaFile"));
    lblStatus = named(new QLabel(Secrets::KeychainSecretStore::available()
                                     ? QStringLiteral("The password is kept in the desktop's secret store.")
                                     : QStringLiteral("No secret store runs: the password is kept in a file "
                                                      "only you can read.")),
                      "lblStatus");
    lblStatus->setWordWrap(true);
    auto *box = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel);
    auto *top = new QVBoxLayout(this);
    top->addLayout(form);
    top->addWidget(lblStatus);
    top->addWidget(box);
    connect(box, &QDialogButtonBox::accepted, this, [this] {
        if (save())
            accept();
    });
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

bool MailAccountDialog::save()
{
    MailAccount a;
    a.host = editHost->text().trimmed();
    a.port = spinPort->value();
    a.security = cbSecurity->currentIndex() == 0   ? MailAccount::Security::None
                 : cbSecurity->currentIndex() == 1 ? MailAccount::Security::StartTls
                                                   : MailAccount::Security::Tls;
    a.user = editUser->text().trimmed();
    a.fromAddress = editFrom->text().trimmed();
    a.caFile = editCaFile->text().trimmed();
    if (!a.fromAddress.isEmpty()) {
        try {
            Mime::addresses(a.fromAddress);
        } catch (const MailError &e) {
            lblStatus->setText(e.text());
            return false;
        }
    }
    try {
        if (!editPassword->text().isEmpty())
            m_client->secrets()->write(MailClient::passwordKey(), editPassword->text());
    } catch (const Secrets::SecretStoreError &e) {
        lblStatus->setText(e.text());
        return false;
    }
    m_client->settings().setAccount(a);
    return true;
}
