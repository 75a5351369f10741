#include "messaging/TOutlookConnect.h"

#include "platform/mail/MailClient.h"

#include <exception>

TOutlookConnect::TOutlookConnect(Environment &env) : m_env(env) {}

TOutlookConnect::~TOutlookConnect() = default;

void TOutlookConnect::setConnected(bool on)
{
    if (on) {
        try {
            // A new instance every time, as the automation server hands out.
            auto app = CreateOleObject(m_oleObject, m_env);
            auto ns = app->GetNamespace(m_oleNameSpace);
            m_app = std::move(app);
            m_namespace = std::move(ns);
            if (OnConnect)
                OnConnect();
        } catch (const std::exception &) {
            throw EOutlookError(QStringLiteral("Outlook registration failed"));
        }
        return;
    }
    const bool was = Connected();
    m_namespace.reset();
    m_app.reset();
    if (was && OnDisConnect)
        OnDisConnect();
}

std::shared_ptr<MailFolder> TOutlookConnect::folder(int number)
{
    if (!Connected())
        throw EOutlookError(QStringLiteral("No connection to outlook"));
    return m_namespace->GetDefaultFolder(number);
}

namespace {
// Runs an automation call; any failure becomes the operation's own text.
template <typename F> auto attempt(const char *failure, F &&f)
{
    try {
        return f();
    } catch (const EOutlookError &) {
        throw;
    } catch (const std::exception &) {
        throw EOutlookError(QString::fromLatin1(failure));
    }
}
} // namespace

std::shared_ptr<MailFolder> TOutlookConnect::ContactsFolder()
{
    return attempt("Cannot connect to Contacts", [&] { return folder(10); });
}

int TOutlookConnect::ContactCount()
{
    if (!Connected())
        throw EOutlookError(QStringLiteral("No connection to outlook"));
    try {
        return folder(10)->Items().Count();
    } catch (const std::exception &) {
        return 0;
    }
}

std::shared_ptr<ContactItem> TOutlookConnect::ContactItem(int index)
{
    return attempt("Cannot import Item", [&] {
        auto item = std::dynamic_pointer_cast<::ContactItem>(folder(10)->Items().Item(index));
        if (!item)
            throw std::runtime_error("not a contact");
        return item;
    });
}

std::shared_ptr<ContactItem> TOutlookConnect::NewContact()
{
    return attempt("Cannot create contact", [&] {
        auto item = std::dynamic_pointer_cast<::ContactItem>(folder(10)->Items().Add());
        if (!item)
            throw std::runtime_error("not a contact");
        return item;
    });
}

void TOutlookConnect::DisplayContact(int index)
{
    attempt("Cannot display contact", [&] {
        folder(10)->Items().Item(index)->Display();
        return 0;
    });
}

std::shared_ptr<MailItem> TOutlookConnect::NewMail(const QString &text)
{
    return attempt("Cannot create mail", [&] {
        auto mail = std::dynamic_pointer_cast<MailItem>(folder(4)->Items().Add());
        if (!mail)
            throw std::runtime_error("not a mail");
        mail->setTo(text);
        return mail;
    });
}

std::unique_ptr<OutboxBatch> TOutlookConnect::BeginOutboxBatch()
{
    return m_app ? m_app->beginOutboxBatch() : nullptr;
}

void TOutlookConnect::AttachFile(MailItem &mail, const QString &path)
{
    if (!Connected())
        throw EOutlookError(QStringLiteral("No connection to outlook"));
    attempt("Cannot access mail", [&] {
        mail.Attachments().Add(path);
        return 0;
    });
}

std::shared_ptr<MailFolder> TOutlookConnect::OutboxFolder()
{
    return folder(4);
}

std::shared_ptr<MailFolder> TOutlookConnect::SentItemsFolder()
{
    return folder(5);
}
