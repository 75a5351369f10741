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

    // Compared as the table would keep them (cut to the field, in its code
    // page), so a list imported twice finds its own long or foreign values.
    QStringList stored;
    for (int i = 0; i < fields.size(); ++i)
        stored << table.StoredText(fields[i], values[i]);
    if (LocateContact(table, stored[0], stored[1], stored[2], stored[3], stored[4]))
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
