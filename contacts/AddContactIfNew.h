#pragma once

#include <QString>

class TDbfTable;

// Adds one contact unless the table already holds it. The values are
// trimmed; five empty values add nothing. A record matches when each of
// NAME, LAST, EMAIL, PHONE and FAX equals its value or begins with it,
// ignoring case (an empty value matches anything), each value taken as the
// field would store it (cut to its width, in the table's code page); only
// the records the current view shows are searched. The matching or new record becomes the
// current one. A failure to store the record is thrown as the table's
// error, with the table back in browse state.
void AddContactIfNew(TDbfTable &table, const QString &firstName, const QString &lastName,
                     const QString &email, const QString &phone, const QString &fax);
