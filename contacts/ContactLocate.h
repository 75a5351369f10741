#pragma once

#include <QString>
#include <QStringView>

class TDbfTable;

// Removes leading and trailing blanks and control characters: every
// character up to U+0020, as contact lists have always been trimmed (a
// no-break space stays).
QStringView TrimBlanks(QStringView value);
QString TrimContactValue(const QString &value);

// The locate of AddContactIfNew: the first record in file order among those
// the table shows (current filter applied, deleted records skipped) whose
// NAME, LAST, EMAIL, PHONE and FAX each begin with (or equal) the given
// value ignoring case; an empty value matches anything. The values are
// used as given (trim them first). When found, the record becomes current.
bool LocateContact(TDbfTable &table, const QString &firstName, const QString &lastName, const QString &email,
                   const QString &phone, const QString &fax);
