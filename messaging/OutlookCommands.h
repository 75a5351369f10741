#pragma once

#include "messaging/TOutlookConnect.h"

#include <QString>
#include <memory>

class Dialogs;
class Environment;
class TDbfTable;

// The main contact window's side of the mail client: the availability
// check, its connection, the export of the current contact and opening the
// mail client's folders. The window holds the flag and the host path; this
// object works on them.
class OutlookCommands {
public:
    OutlookCommands(Environment &env, Dialogs &dialogs, bool &outlookAvailable, QString &emailHostProgram);
    ~OutlookCommands();

    // Runs at start-up after the settings load and on every change of the
    // e-mail host choice (0 the default client, 1 "Other ..") or path.
    void CheckOutlook(int hostSelection, const QString &hostProgram);

    // "Export to Contacts list". multiSelect: whether the grid allows
    // several rows; selectedCount: how many it has selected.
    void ExportCurrentContact(TDbfTable &table, bool multiSelect, int selectedCount);

    void OpenContactFolder();
    void OpenOutboxFolder();

    // The connection, made by the first successful check.
    TOutlookConnect *connection() const { return m_connect.get(); }

    // The mail client's comparison of two values: blanks and control
    // characters trimmed, a to z in capitals.
    static QString comparable(const QString &value);

private:
    void openFolder(bool contacts);

    Environment &m_env;
    Dialogs &m_dialogs;
    bool &m_available;
    QString &m_hostProgram;
    std::unique_ptr<TOutlookConnect> m_connect;
};
