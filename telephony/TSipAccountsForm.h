#pragma once

#include "platform/sip/SipAccountBook.h"

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

class Environment;

// "SIP Accounts": adds, edits and removes the SIP accounts the program
// dials through, each one telephone line. The work is SipAccountBook's.
class TSipAccountsForm : public QDialog {
public:
    TSipAccountsForm(const Environment &env, QWidget *parent = nullptr,
                     std::unique_ptr<Secrets::SecretStore> secrets = nullptr);

    QListWidget *lbAccounts;
    QLineEdit *editDisplayName, *editUser, *editDomain, *editRegistrar, *editAuthUser, *editPassword;
    QComboBox *cbTransport;
    QPushButton *btnAdd, *btnSave, *btnRemove, *btnClose;
    QLabel *lblStatus;

    void lbAccountsClick();
    void btnAddClick();
    void btnSaveClick();
    void btnRemoveClick();

    SipAccountBook &book() { return m_book; }

private:
    SipAccount fields() const;
    void fill();
    void report(const QString &error, const QString &done);

    SipAccountBook m_book;
    bool m_passwordEdited = false;
};
