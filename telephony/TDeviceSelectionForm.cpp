#include "telephony/TDeviceSelectionForm.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

TDeviceSelectionForm::TDeviceSelectionForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("DeviceSelectionForm"));
    setWindowTitle(QStringLiteral("Device Selection"));
    setModal(true);
    lblDevices = new QLabel(QStringLiteral("Select the device to use:"), this);
    lblDevices->setObjectName(QStringLiteral("lblDevices"));
    lbDevices = new QListWidget(this);
    lbDevices->setObjectName(QStringLiteral("lbDevices"));
    lbDevices->setSelectionMode(QAbstractItemView::SingleSelection);
    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(lbDevices, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    btnAccounts = new QPushButton(QStringLiteral("SIP Accounts..."), this);
    btnAccounts->setObjectName(QStringLiteral("btnAccounts"));
    btnAccounts->setVisible(false);
    connect(btnAccounts, &QPushButton::clicked, this, [this] { btnAccountsClick(); });

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(btnAccounts);
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblDevices);
    layout->addWidget(lbDevices);
    layout->addLayout(buttons);
    resize(320, 220);
}

void TDeviceSelectionForm::setEntries(const QStringList &entries, int preselected)
{
    lbDevices->clear();
    lbDevices->addItems(entries);
    if (!entries.isEmpty())
        lbDevices->setCurrentRow(preselected >= 0 && preselected < entries.size() ? preselected : 0);
    btnOK->setEnabled(!entries.isEmpty());
}

QString TDeviceSelectionForm::selectedEntry() const
{
    const QListWidgetItem *item = lbDevices->currentItem();
    return item ? item->text() : QString();
}

void TDeviceSelectionForm::setAccountsWindow(std::function<void()> fn, std::function<QStringList()> relist)
{
    m_accounts = std::move(fn);
    m_relist = std::move(relist);
    btnAccounts->setVisible(bool(m_accounts));
}

void TDeviceSelectionForm::btnAccountsClick()
{
    if (!m_accounts)
        return;
    const QString current = selectedEntry();
    m_accounts();
    if (!m_relist)
        return;
    const QStringList entries = m_relist();
    setEntries(entries, int(entries.indexOf(current)));
}
