#include "contacts/AddContactIfNew.h"

#include "contacts/ContactLocate.h"
#include "contacts/DbfTable.h"

void AddContactIfNew(TDbfTable &table, const QString &firstName, const QString &lastName,
                     const QString &email, const QString &phone, const QString &fax)
{
    static const QStringList fields{QStringLiteral("NAME"), QStringLiteral("LAST"), QStringLiteral("EMAIL"),
                                    QStringLiteral("PHONE"), QStringLiteral("FAX")};
    const QStringList values{TrimContactValue(firstName), TrimContactValue(lastName), TrimContactValue(email),
                             TrimContactValue(phone), TrimContactValue(fax)};
    bool allEmpty = true;
    for (const QString &v : values)
        allEmpty = allEmpty && v.isEmpty();
    if (allEmpty)
        return;

    if (LocateContact(table, values[0], values[1], values[2], values[3], values[4]))
        return;

    table.Append();
    try {
        for (int i = 0; i < fields.size(); ++i)
            table.SetAsString(fields[i], values[i]);
        table.Post();
    } catch (...) {
        // A record that could not be stored must not stay half-inserted.
        if (table.State() == DatasetState::Insert || table.State() == DatasetState::Edit)
            table.Cancel();
        throw;
    }
}
