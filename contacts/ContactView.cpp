#include "contacts/ContactView.h"

#include "contacts/DbfTable.h"

bool IsDueToday(const std::optional<QDate> &date, const QDate &today)
{
    return date && date->isValid() && today.isValid() && *date == today;
}

bool ContactPassesView(const TDbfTable &table, int viewIndex, const QDate &today)
{
    auto due = [&](const char *field) { return IsDueToday(table.AsDate(QString::fromLatin1(field)), today); };
    switch (viewIndex) {
    case ViewCallbackDue:
        return due("CALLBACK");
    case ViewFaxBackDue:
        return due("FAXBACK");
    case ViewEmailBackDue:
        return due("EMAILBACK");
    case ViewAnyDue:
        return due("CALLBACK") || due("FAXBACK") || due("EMAILBACK");
    default:
        return true;
    }
}
