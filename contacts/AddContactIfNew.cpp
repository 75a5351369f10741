#include "contacts/AddContactIfNew.h"

#include "contacts/DbfTable.h"

namespace {

// Blanks and control characters, everything up to U+0020, at either end.
QString trimBlanks(const QString &s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && s[b].unicode() <= 0x20)
        ++b;
    while (e > b && s[e - 1].unicode() <= 0x20)
        --e;
    return s.mid(b, e - b);
}

} // namespace

void AddContactIfNew(TDbfTable &table, const QString &firstName, const QString &lastName,
                     const QString &email, const QString &phone, const QString &fax)
{
    static const QStringList fields{QStringLiteral("NAME"), QStringLiteral("LAST"), QStringLiteral("EMAIL"),
                                    QStringLiteral("PHONE"), QStringLiteral("FAX")};
    const QStringList values{trimBlanks(firstName), trimBlanks(lastName), trimBlanks(email),
                             trimBlanks(phone), trimBlanks(fax)};
    bool allEmpty = true;
    for (const QString &v : values)
        allEmpty = allEmpty && v.isEmpty();
    if (allEmpty)
        return;

    if (table.Locate(fields, values, LocateOptions{true, true}))
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
