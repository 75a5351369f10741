#pragma once

// "Send Email" and "Send Fax": the templates sent to the selected contacts,
// one mail per contact through the mail client, or one fax document with a
// recipient per contact through the fax service; each contact's history
// stamped once the mails or jobs are handed over.

#include "messaging/MessageTemplate.h"

#include <QList>
#include <QString>
#include <functional>

class Dialogs;
class FaxServiceAccess;
class Shell;
class TOutlookConnect;

// One contact a command acts on, as read from the table.
struct SendContact {
    QString firstName; // NAME
    QString lastName;  // LAST
    QString email;     // EMAIL
    QString fax;       // FAX, as stored
};

// The contacts a send acts on, in the order of the grid's selection, and
// what the main window does around them.
struct SendRecipients {
    QList<SendContact> contacts;
    // With multiple selection the i-th contact becomes the current record
    // before it is used; empty otherwise.
    std::function<void(int index)> makeCurrent;
    // Called once every contact was acted on and stamped, before the count
    // is shown: the windows may follow the table again.
    std::function<void()> actedOn;
};

// Where the operator is told what the program could not do, and where the
// other mail or fax program is started from.
struct SendServices {
    Dialogs &dialogs;
    Shell *shell = nullptr;
};

// Starts the other program the configuration names, or says it is not there.
void StartHostProgram(const SendServices &services, const QString &program, const QString &notFoundText);

class EmailSending {
public:
    struct Input {
        bool outlookAvailable = false;
        QString emailHostProgram;
        EmailTemplate email; // the template window's e-mail controls
    };

    explicit EmailSending(SendServices services) : m_services(services) {}

    // Returns the number of mails handed to the mail client. Errors of the
    // mail client end the command with their text (thrown); mails handed
    // over before stay, and nothing is stamped. outlook is the main window's
    // connection; null counts as the mail client not being in use.
    int SendEmail(const Input &input, TOutlookConnect *outlook, const SendRecipients &recipients,
                  const std::function<void()> &addEmailHistory);

private:
    SendServices m_services;
};

class FaxSending {
public:
    struct Input {
        bool faxServiceAvailable = false;
        QString faxHostProgram;
        FaxTemplate fax;             // the template window's fax controls; bodyRtf is the editor's document
        bool editorHasLines = false; // whether the fax editor holds any line
        QString customCoverPage;     // CustomCoverPage
        QString templateFolder;      // where template.rtf is written
        QString programFileName;     // the executable's file name, for the document name
    };

    explicit FaxSending(SendServices services) : m_services(services) {}

    // Returns the number of recipients submitted, 0 when nothing was.
    int SendFax(const Input &input, FaxServiceAccess &service, const std::function<void()> &hideSendFax,
                const SendRecipients &recipients,
                const std::function<void(const QStringList &)> &addFaxHistory);

private:
    SendServices m_services;
};
