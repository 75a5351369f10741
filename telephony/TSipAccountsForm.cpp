#include "telephony/TSipAccountsForm.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace {
template <class W> W *named(W *w, const char *name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}
} // namespace

TSipAccountsForm::TSipAccountsForm(const Environment &env, QWidget *parent,
                                   std::unique_ptr<Secrets::SecretStore> secrets)
    : QDialog(parent), m_book(env, std::move(secrets))
{
    setObjectName(QStringLiteral("SipAccountsForm"));
    setWindowTitle(QStringLiteral("SIP Accounts"));
    setModal(true);
    lbAccounts = named(new QListWidget(this), "lbAccounts");
    editDisplayName = named(new QLineEdit(this), "editDisplayName");
    editUser = named(new QLineEdit(this), "editUser");
    editDomain = named(new QLineEdit(this), "editDomain");
    editDomain->setPlaceholderText(QStringLiteral("sip.example.com"));
    editRegistrar = named(new QLineEdit(this), "editRegistrar");
    editRegistrar->setPlaceholderText(QStringLiteral("none: calls go straight to the domain"));
    cbTransport = named(new QComboBox(this), "cbTransport");
    cbTransport->addItems({QStringLiteral("UDP"), QStringLiteral("TCP"), QStringLiteral("TLS")});
    editAuthUser = named(new QLineEdit(this), "editAuthUser");
    editAuthUser->setPlaceholderText(QStringLiteral("the user"));
    editPassword = named(new QLineEdit(this), "editPassword");
    editPassword->setEchoMode(QLineEdit::Password);
    btnAdd = named(new QPushButton(QStringLiteral("Add"), this), "btnAdd");
    btnSave = named(new QPushButton(QStringLiteral("Save"), this), "btnSave");
    btnRemove = named(new QPushButton(QStringLiteral("Remove"), this), "btnRemove");
    btnClose = named(new QPushButton(QStringLiteral("Close"), this), "btnClose");
    lblStatus = named(new QLabel(this), "lblStatus");
    lblStatus->setWordWrap(true);

    connect(lbAccounts, &QListWidget::currentRowChanged, this, [this] { lbAccountsClick(); });
    connect(btnAdd, &QPushButton::clicked, this, [this] { btnAddClick(); });
    connect(btnSave, &QPushButton::clicked, this, [this] { btnSaveClick(); });
    connect(btnRemove, &QPushButton::clicked, this, [this] { btnRemoveClick(); });
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
    connect(editPassword, &QLineEdit::textEdited, this, [this] { m_passwordEdited = true; });

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Display name:"), editDisplayName);
    form->addRow(QStringLiteral("User:"), editUser);
    form->addRow(QStringLiteral("Domain:"), editDomain);
    form->addRow(QStringLiteral("Registrar or proxy:"), editRegistrar);
    form->addRow(QStringLiteral("Transport:"), cbTransport);
    form->addRow(QStringLiteral("Authentication user:"), editAuthUser);
    form->addRow(QStringLiteral("Password:"), editPassword);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(btnAdd);
    buttons->addWidget(btnSave);
    buttons->addWidget(btnRemove);
    buttons->addStretch();
    buttons->addWidget(btnClose);
    auto *right = new QVBoxLayout;
    right->addLayout(form);
    right->addStretch();
    auto *top = new QHBoxLayout;
    top->addWidget(lbAccounts, 1);
    top->addLayout(right, 2);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(lblStatus);
    layout->addLayout(buttons);
    resize(620, 320);

    fill();
    if (!m_book.loadError().isEmpty())
        report(QStringLiteral("The accounts file cannot be read (%1); saving replaces it.")
                   .arg(m_book.loadError()),
               {});
    else
        report({}, QStringLiteral("Passwords are kept in %1.").arg(m_book.secretsWhere()));
}

void TSipAccountsForm::fill()
{
    const int row = lbAccounts->currentRow();
    lbAccounts->blockSignals(true);
    lbAccounts->clear();
    for (const SipAccount &a : m_book.accounts())
        lbAccounts->addItem(a.lineName());
    lbAccounts->blockSignals(false);
    lbAccounts->setCurrentRow(std::min(row < 0 ? 0 : row, int(m_book.accounts().size()) - 1));
    btnSave->setEnabled(lbAccounts->currentRow() >= 0);
    btnRemove->setEnabled(lbAccounts->currentRow() >= 0);
    lbAccountsClick();
}

SipAccount TSipAccountsForm::fields() const
{
    SipAccount a;
    a.displayName = editDisplayName->text().trimmed();
    a.user = editUser->text().trimmed();
    a.domain = editDomain->text().trimmed();
    a.registrar = editRegistrar->text().trimmed();
    a.transport =
        SipAccount::transportFromName(cbTransport->currentText()).value_or(SipAccount::Transport::Udp);
    a.authUser = editAuthUser->text().trimmed();
    return a;
}

void TSipAccountsForm::report(const QString &error, const QString &done)
{
    lblStatus->setStyleSheet(error.isEmpty() ? QString() : QStringLiteral("color: #a00000"));
    QString text = error.isEmpty() ? done : error;
    if (error.isEmpty() && !m_book.linesCurrent())
        text += QStringLiteral(" A call is on a SIP line: the lines change when it is over and the "
                               "device list is opened again.");
    lblStatus->setText(text);
}

void TSipAccountsForm::lbAccountsClick()
{
    const int row = lbAccounts->currentRow();
    btnSave->setEnabled(row >= 0);
    btnRemove->setEnabled(row >= 0);
    const SipAccount a = row >= 0 ? m_book.accounts()[row] : SipAccount{};
    editDisplayName->setText(a.displayName);
    editUser->setText(a.user);
    editDomain->setText(a.domain);
    editRegistrar->setText(a.registrar);
    cbTransport->setCurrentText(SipAccount::transportName(a.transport));
    editAuthUser->setText(a.authUser);
    editPassword->clear();
    editPassword->setPlaceholderText(m_book.hasPassword(row) ? QStringLiteral("kept; type to change")
                                                             : QStringLiteral("none"));
    m_passwordEdited = false;
}

void TSipAccountsForm::btnAddClick()
{
    const QString error = m_book.put(-1, fields(), !editPassword->text().isEmpty(), editPassword->text());
    if (error.isEmpty()) {
        fill();
        lbAccounts->setCurrentRow(int(m_book.accounts().size()) - 1);
    }
    report(error, QStringLiteral("Account added."));
}

void TSipAccountsForm::btnSaveClick()
{
    const int row = lbAccounts->currentRow();
    const QString error = m_book.put(row, fields(), m_passwordEdited, editPassword->text());
    if (error.isEmpty())
        fill();
    report(error, QStringLiteral("Account saved."));
}

void TSipAccountsForm::btnRemoveClick()
{
    const QString error = m_book.remove(lbAccounts->currentRow());
    if (error.isEmpty())
        fill();
    report(error, QStringLiteral("Account removed."));
}
