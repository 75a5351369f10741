#pragma once

#include "platform/mail/MailClient.h"

#include <QAbstractTableModel>
#include <QDialog>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTableView;
class QComboBox;
class QSpinBox;
class QPushButton;

// The mail client's own windows. Each opens without a parent, stays open
// beside the program and is freed when closed.
void showComposeWindow(std::shared_ptr<MailItem> mail);
void showContactCard(std::shared_ptr<ContactItem> contact);
void showFolderWindow(std::shared_ptr<MailClient> client, DefaultFolder folder);
void showAccountSettings(std::shared_ptr<MailClient> client, QWidget *parent = nullptr);

class MailComposeWindow : public QWidget {
    Q_OBJECT
public:
    explicit MailComposeWindow(std::shared_ptr<MailItem> mail);
    QLineEdit *editTo, *editSubject;
    QPlainTextEdit *memoBody;
    QLabel *lblAttachments, *lblStatus;
    QPushButton *btnSend, *btnSave;
    void send();
    void save();

private:
    void takeFields();
    std::shared_ptr<MailItem> m_mail;
};

class MailContactCard : public QWidget {
    Q_OBJECT
public:
    explicit MailContactCard(std::shared_ptr<ContactItem> contact);
    QLineEdit *editFirstName, *editLastName, *editCompany, *editEmail, *editPhone, *editFax;
    QPlainTextEdit *memoAddress, *memoNotes;
    QLabel *lblStatus;
    QPushButton *btnSave;
    void save();

private:
    std::shared_ptr<ContactItem> m_contact;
};

// Rows of one folder, read on demand from the store's listing.
class MailFolderModel : public QAbstractTableModel {
    Q_OBJECT
public:
    MailFolderModel(std::shared_ptr<MailClient> client, DefaultFolder folder, QObject *parent = nullptr);
    void reload();
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

private:
    std::shared_ptr<MailClient> m_client;
    DefaultFolder m_folder;
    QList<MessageSummary> m_messages;
    QList<OutboxStatus> m_states;
    QStringList m_contactIds;
    mutable QHash<QString, ContactCard> m_cards;
};

class MailFolderWindow : public QWidget {
    Q_OBJECT
public:
    MailFolderWindow(std::shared_ptr<MailClient> client, DefaultFolder folder);
    QLabel *lblStatus;
    QTableView *grid;
    QPushButton *btnSendReceive, *btnAccount, *btnRefresh;
    MailFolderModel *model;
    void refresh();
    void openRow(int row);

private:
    void showReport(const DeliveryReport &r);
    std::shared_ptr<MailClient> m_client;
    DefaultFolder m_folder;
};

class MailAccountDialog : public QDialog {
    Q_OBJECT
public:
    explicit MailAccountDialog(std::shared_ptr<MailClient> client, QWidget *parent = nullptr);
    QLineEdit *editHost, *editUser, *editPassword, *editFrom, *editCaFile;
    QSpinBox *spinPort;
    QComboBox *cbSecurity;
    QLabel *lblStatus;
    // Stores the account; false (with the reason shown) when it cannot.
    bool save();

private:
    std::shared_ptr<MailClient> m_client;
};
