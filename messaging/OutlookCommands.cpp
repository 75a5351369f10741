#include "messaging/OutlookCommands.h"

#include "contacts/ContactLocate.h"
#include "contacts/DbfTable.h"
#include "platform/mail/MailClient.h"
#include "ui/Dialogs.h"

OutlookCommands::OutlookCommands(Environment &env, Dialogs &dialogs, bool &outlookAvailable,
                                 QString &emailHostProgram)
    : m_env(env), m_dialogs(dialogs), m_available(outlookAvailable), m_hostProgram(emailHostProgram)
{
}

OutlookCommands::~OutlookCommands() = default;

void OutlookCommands::CheckOutlook(int hostSelection, const QString &hostProgram)
{
    m_available = false;
    m_hostProgram = hostProgram;
    if (hostSelection == 1) // "Other ..": the external program is used, the client not looked for
        return;
    try {
        CreateOleObject(QStringLiteral("Outlook.Application"), m_env).reset();
    } catch (const std::exception &) {
        m_dialogs.showMessage(QStringLiteral("MAPI compatible Email client not found/active"));
        return;
    }
    m_available = true;
    if (!m_connect)
        m_connect = std::make_unique<TOutlookConnect>(m_env);
}

QString OutlookCommands::comparable(const QString &value)
{
    QString out = TrimContactValue(value);
    // Only a to z: the comparison leaves other letters as they are.
    for (QChar &c : out)
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 32);
    return out;
}

void OutlookCommands::ExportCurrentContact(TDbfTable &table, bool multiSelect, int selectedCount)
{
    if (!m_available) {
        m_dialogs.showMessage(QStringLiteral("Oulook currently is not activated"));
        return;
    }
    if (multiSelect) {
        if (selectedCount >= 2) {
            m_dialogs.showMessage(QStringLiteral("Only one selection of contact is allowed !"));
            return;
        }
        if (selectedCount == 0) {
            m_dialogs.showMessage(QStringLiteral("Please select one row of contact !"));
            return;
        }
    }
    if (!m_connect)
        m_connect = std::make_unique<TOutlookConnect>(m_env);
    TOutlookConnect &c = *m_connect;
    c.setConnected(true);
    const QString name = table.AsString("NAME"), last = table.AsString("LAST"),
                  email = table.AsString("EMAIL"), phone = table.AsString("PHONE"),
                  fax = table.AsString("FAX");
    const QString cName = comparable(name), cLast = comparable(last), cFax = comparable(fax),
                  cPhone = comparable(phone);
    const int count = c.ContactCount() & 0xFFFF;
    for (int n = 1; n <= count; ++n) {
        auto item = c.ContactItem(n);
        if (cName != comparable(item->FirstName()) || cLast != comparable(item->LastName()) ||
            cFax != comparable(item->BusinessFaxNumber()) ||
            cPhone != comparable(item->BusinessTelephoneNumber()))
            continue;
        // Left connected until the next command connects again.
        m_dialogs.showMessage(QStringLiteral("This contact data is already exist in current contact list"));
        return;
    }
    auto contact = c.NewContact();
    contact->setCompanyName(table.AsString("COMPNAME"));
    contact->setFirstName(name);
    contact->setLastName(last);
    contact->setEmail1Address(email);
    contact->setBusinessTelephoneNumber(phone);
    contact->setBusinessFaxNumber(fax);
    contact->setBody(table.AsString("NOTES"));
    try {
        contact->Save();
    } catch (const std::exception &e) {
        throw EOutlookError(QString::fromUtf8(e.what()));
    }
    c.DisplayContact(c.ContactCount() & 0xFFFF);
    c.setConnected(false);
}

void OutlookCommands::openFolder(bool contacts)
{
    if (!m_available) {
        m_dialogs.showMessage(QStringLiteral("Oulook currently is not activated"));
        return;
    }
    if (!m_connect)
        m_connect = std::make_unique<TOutlookConnect>(m_env);
    m_connect->setConnected(true);
    auto folder = contacts ? m_connect->ContactsFolder() : m_connect->OutboxFolder();
    folder->Display();
    m_connect->setConnected(false);
}

void OutlookCommands::OpenContactFolder()
{
    openFolder(true);
}

void OutlookCommands::OpenOutboxFolder()
{
    openFolder(false);
}
