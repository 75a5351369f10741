#pragma once

#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <functional>

// "Device Selection": the line devices (and direct COM ports) to choose from.
class TDeviceSelectionForm : public QDialog {
public:
    explicit TDeviceSelectionForm(QWidget *parent = nullptr);

    void setEntries(const QStringList &entries, int preselected);
    QString selectedEntry() const;
    // Shows "SIP Accounts..." which runs fn and then lists relist()'s entries.
    void setAccountsWindow(std::function<void()> fn, std::function<QStringList()> relist);
    void btnAccountsClick();

    QLabel *lblDevices;
    QListWidget *lbDevices;
    QPushButton *btnOK;
    QPushButton *btnCancel;
    QPushButton *btnAccounts;

private:
    std::function<void()> m_accounts;
    std::function<QStringList()> m_relist;
};
