#include "contacts/ContactView.h"

#include "contacts/DbfTable.h"

bool IsDueToday(const std::optional<QDate> &date, const QDate &today)
{
    return date && date->isValid() && today.isValid() && *date == today;
}

bool ContactPassesView(const TDbfTable &table, int viewIndex, const QDate &today)
{
    // Asked once per record of a filter pass: the same name objects each
    // time let the table find the field without hashing it.
    static const QString callback = QStringLiteral("CALLBACK");
    static const QString faxBack = QStringLiteral("FAXBACK");
    static const QString emailBack = QStringLiteral("EMAILBACK");
    auto due = [&](const QString &field) { return IsDueToday(table.AsDate(field), today); };
    switch (viewIndex) {
    case ViewCallbackDue:
        return due(callback);
    case ViewFaxBackDue:
        return due(faxBack);
    case ViewEmailBackDue:
        return due(emailBack);
    case ViewAnyDue:
        return due(callback) || due(faxBack) || due(emailBack);
    default:
        return true;
    }
}
