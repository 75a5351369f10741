#pragma once

#include "tracking/ArchiveList.h"

#include <functional>

class Dialogs;
class Environment;
class Shell;

// The faxes of the fax service's outgoing archive that went to one contact's
// fax number, and the viewer for a chosen one. A server object is made for
// each refresh or opening and released at its end.
class FaxArchiveList : public ArchiveList {
public:
    // templateFolder gives the Template folder, ending with a separator.
    // shell may be null: then a fax image is written but not opened.
    FaxArchiveList(Environment &env, Dialogs &dialogs, Shell *shell, std::function<QString()> templateFolder);

    // The fax image a chosen entry is written to, replaced on each opening.
    static QString previewName() { return QStringLiteral("preview.tif"); }
    static QString viewerOpenMessage() { return QStringLiteral("Please close viewer window first !"); }

    // Lists the archived faxes whose recipient number is exactly the trimmed
    // contact number, oldest first, at most kMaxEntries. The service's
    // failures reach the caller, with the entries found until then.
    void Refresh(const QString &contactFax);
    // Writes the fax of entry index (from 0) as the preview image and opens
    // it in the system's viewer.
    void Open(int index);
    // Another contact became current.
    void Clear();

    // The archive identifier of each entry, in list order.
    const QStringList &ids() const { return m_ids; }

private:
    Environment *m_env;
    Dialogs *m_dialogs;
    Shell *m_shell;
    std::function<QString()> m_templateFolder;
    QStringList m_ids;
};
