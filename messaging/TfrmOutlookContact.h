#pragma once

#include "messaging/OutlookContactList.h"

#include <QDialog>

class Dialogs;
class QPushButton;
class QStatusBar;
class QTableWidget;

// "Contact List": the mail client's contacts, from which the operator
// imports a range of rows into the contact table. Made for each use.
class TfrmOutlookContact : public QDialog {
    Q_OBJECT
public:
    TfrmOutlookContact(Environment &env, Dialogs &dialogs, OutlookContactList::AddContactFn addContact,
                       QWidget *parent = nullptr);
    ~TfrmOutlookContact() override;

    // Refuses when the mail client is not available, else shows the window
    // modally and frees it when it closes.
    static void execute(bool outlookAvailable, Environment &env, Dialogs &dialogs,
                        OutlookContactList::AddContactFn addContact, QWidget *parent);

    void FormShow();
    void FormClose();
    void btnOpenContactClick();
    void StringGrid1DblClick();
    void btnImportClick();

    QTableWidget *StringGrid1 = nullptr;
    QPushButton *btnOpenContact = nullptr, *btnImport = nullptr;
    QStatusBar *StatusBar1 = nullptr;

    OutlookContactList &list() { return m_list; }

protected:
    void showEvent(QShowEvent *event) override;
    void done(int result) override;

private:
    Dialogs &m_dialogs;
    OutlookContactList m_list;
    OutlookContactList::AddContactFn m_addContact;
    bool m_filled = false;
};
