#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <stdexcept>

class Environment;
class MailApplication;
class MailNamespace;
class MailFolder;
class MailItem;
class OutboxBatch;
class ContactItem;

// What the Outlook operations raise: the operator-facing text.
class EOutlookError : public std::runtime_error {
public:
    explicit EOutlookError(const QString &text) : std::runtime_error(text.toStdString()) {}
};

// One connection to the mail client through its automation interface.
// Callers connect, work and disconnect within one command.
class TOutlookConnect {
public:
    explicit TOutlookConnect(Environment &env);
    ~TOutlookConnect();

    bool Connected() const { return m_app != nullptr; }
    // True makes a new OLEObject and takes its OLENameSpace namespace
    // ("Outlook registration failed" on any failure); false releases both.
    void setConnected(bool on);
    QString OLEObject() const { return m_oleObject; }
    void setOLEObject(const QString &v) { m_oleObject = v; }
    QString OLENameSpace() const { return m_oleNameSpace; }
    void setOLENameSpace(const QString &v) { m_oleNameSpace = v; }
    std::function<void()> OnConnect;
    std::function<void()> OnDisConnect;

    std::shared_ptr<MailFolder> ContactsFolder();
    // The Contacts folder's item count; 0 when it cannot be read.
    int ContactCount();
    std::shared_ptr<::ContactItem> ContactItem(int index);
    std::shared_ptr<::ContactItem> NewContact();
    void DisplayContact(int index);
    std::shared_ptr<MailItem> NewMail(const QString &text);
    void AttachFile(MailItem &mail, const QString &path);
    std::shared_ptr<MailFolder> OutboxFolder();
    // Mails sent until it is committed reach the Outbox together; null when
    // not connected.
    std::unique_ptr<OutboxBatch> BeginOutboxBatch();
    std::shared_ptr<MailFolder> SentItemsFolder();

private:
    std::shared_ptr<MailFolder> folder(int number);

    Environment &m_env;
    QString m_oleObject = QStringLiteral("Outlook.Application");
    QString m_oleNameSpace = QStringLiteral("MAPI");
    std::shared_ptr<MailApplication> m_app;
    std::shared_ptr<MailNamespace> m_namespace;
};
