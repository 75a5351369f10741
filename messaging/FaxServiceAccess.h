#pragma once

// What the main contact window knows of the fax service: whether it is in
// use, the other fax program chosen instead, and the server and document
// objects made at the first send and kept for the run.

#include "messaging/TFaxServer.h"

#include <QString>
#include <functional>
#include <memory>

class Dialogs;
class Environment;
class Shell;

class FaxServiceAccess {
public:
    // The fax host choice "Other .." of the configuration window.
    static constexpr int kOtherHost = 1;
    // The service's library, looked for in the system folder.
    static constexpr const char *kLibrary = "fxscomex.dll";

    // shell may be null: then the service is never found.
    FaxServiceAccess(Environment &env, Shell *shell, Dialogs &dialogs);
    ~FaxServiceAccess();

    bool FaxServiceAvailable = false;
    QString FaxHostProgram;

    // Runs at start-up and whenever the fax host choice or program changes.
    // Reports "MS Fax not found/active" when the service is not there.
    void CheckFaxService(int hostSelection, const QString &hostProgram);

    // Before each send: makes the server and document once and connects.
    // When they cannot be made, reports it, runs hideSendFax and returns
    // false. A failure to connect throws the service's error.
    bool PrepareFaxObjects(const std::function<void()> &hideSendFax);

    TFaxServer *FaxServer() const { return m_server.get(); }
    TFaxDocument *FaxDocument() const { return m_document.get(); }
    // At close.
    void FreeFaxObjects();

private:
    Environment *m_env;
    Shell *m_shell;
    Dialogs *m_dialogs;
    std::unique_ptr<TFaxServer> m_server;
    std::unique_ptr<TFaxDocument> m_document;
};
