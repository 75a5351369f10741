#include "contacts/ContactLocate.h"

#include "contacts/DbfTable.h"

QStringView TrimBlanks(QStringView value)
{
    qsizetype b = 0, e = value.size();
    while (b < e && value[b].unicode() <= 0x20)
        ++b;
    while (e > b && value[e - 1].unicode() <= 0x20)
        --e;
    return value.mid(b, e - b);
}

QString TrimContactValue(const QString &value)
{
    return TrimBlanks(value).toString();
}

bool LocateContact(TDbfTable &table, const QString &firstName, const QString &lastName, const QString &email,
                   const QString &phone, const QString &fax)
{
    return table.Locate({QStringLiteral("NAME"), QStringLiteral("LAST"), QStringLiteral("EMAIL"),
                         QStringLiteral("PHONE"), QStringLiteral("FAX")},
                        {firstName, lastName, email, phone, fax}, LocateOptions{true, true});
}
