#include "messaging/OutlookContactList.h"

#include "platform/mail/MailClient.h"

OutlookContactList::OutlookContactList(Environment &env) : m_connect(std::make_unique<TOutlookConnect>(env))
{
}

OutlookContactList::~OutlookContactList()
{
    Close();
}

QString OutlookContactList::Fill(const std::function<void(int)> &setRowCount,
                                 const std::function<void(int, const QStringList &)> &setRow,
                                 const std::function<void()> &pump)
{
    m_connect->setConnected(true);
    // The folder holds the count as a 16-bit number; it is taken afresh each time.
    setRowCount((m_connect->ContactCount() & 0xFFFF) + 1);
    const int count = m_connect->ContactCount() & 0xFFFF;
    for (int n = 1; n <= count; ++n) {
        auto c = m_connect->ContactItem(n);
        setRow(n, {QString::number(n), c->FirstName(), c->LastName(), c->BusinessAddress(),
                   c->Email1Address(), c->BusinessTelephoneNumber(), c->BusinessFaxNumber()});
        if (pump)
            pump();
    }
    return QString::number(m_connect->ContactCount() & 0xFFFF) + QStringLiteral(" contacts found");
}

void OutlookContactList::OpenContact(int row)
{
    m_connect->DisplayContact(row);
}

void OutlookContactList::Import(const QList<QStringList> &rows, const AddContactFn &add)
{
    for (const QStringList &r : rows)
        add(r.value(FirstName), r.value(LastName), r.value(BizEmail), r.value(BizPhone), r.value(BizFax));
}

void OutlookContactList::Close()
{
    if (m_connect)
        m_connect->setConnected(false);
}
