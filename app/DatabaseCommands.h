#pragma once

// The "Database" menu of the main contact window: "Backup" copies the live
// table and its memo file to a pair the operator chooses; "Get Database"
// makes another table file the live one and records it in the settings
// file. Both close the table while they work and open it again.

#include <QString>

class Dialogs;
class TDbfTable;

inline const char *const kDbfFilter = "DBF files (*.dbf)|*.dbf|Any file (*.*)|*.*";
inline const char *const kOverwriteMainDatabase =
    "Unable to overwrite main database.\r\nChoose another file name, please.";

// menuBackupClick. A copy that fails is reported once the table is open
// again; the table's error on reopening goes to the caller's guard.
void menuBackupClick(TDbfTable &table, Dialogs &dialogs);

// menuGetDBClick. settingsFile is Kestrun.ini. Throws the table's error when
// the chosen file does not open (the settings already name it), and
// EIniFileException when the settings file cannot be written.
void menuGetDBClick(TDbfTable &table, Dialogs &dialogs, const QString &settingsFile,
                    const QString &programFolder);
