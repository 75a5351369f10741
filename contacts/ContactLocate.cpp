#include "contacts/ContactLocate.h"

#include "contacts/DbfTable.h"

QString TrimContactValue(const QString &value)
{
    auto blank = [](QChar c) { return c.isSpace() || c.category() == QChar::Other_Control; };
    qsizetype b = 0, e = value.size();
    while (b < e && blank(value[b]))
        ++b;
    while (e > b && blank(value[e - 1]))
        --e;
    return value.mid(b, e - b);
}

bool LocateContact(TDbfTable &table, const QString &firstName, const QString &lastName, const QString &email,
                   const QString &phone, const QString &fax)
{
    return table.Locate({QStringLiteral("NAME"), QStringLiteral("LAST"), QStringLiteral("EMAIL"),
                         QStringLiteral("PHONE"), QStringLiteral("FAX")},
                        {firstName, lastName, email, phone, fax}, LocateOptions{true, true});
}
