#include "messaging/FaxServiceAccess.h"

#include "platform/shell/Shell.h"
#include "ui/Dialogs.h"

FaxServiceAccess::FaxServiceAccess(Environment &env, Shell *shell, Dialogs &dialogs)
    : m_env(&env), m_shell(shell), m_dialogs(&dialogs)
{
}

FaxServiceAccess::~FaxServiceAccess() = default;

void FaxServiceAccess::CheckFaxService(int hostSelection, const QString &hostProgram)
{
    FaxServiceAvailable = false;
    FaxHostProgram = hostProgram;
    if (hostSelection == kOtherHost)
        return;
    bool found = m_shell && m_shell->FileExists(m_shell->GetSystemDirectory() + QLatin1Char('/') +
                                                QLatin1String(kLibrary));
    if (found) {
        try {
            TFaxServer probe(*m_env);
            probe.DefaultInterface();
        } catch (const std::exception &) {
            found = false;
        }
    }
    if (found)
        FaxServiceAvailable = true;
    else
        m_dialogs->showMessage(QStringLiteral("MS Fax not found/active"));
}

bool FaxServiceAccess::PrepareFaxObjects(const std::function<void()> &hideSendFax)
{
    if (!m_server || !m_document) {
        try {
            auto server = std::make_unique<TFaxServer>(*m_env);
            auto document = std::make_unique<TFaxDocument>(*m_env);
            server->DefaultInterface();
            document->DefaultInterface();
            m_server = std::move(server);
            m_document = std::move(document);
        } catch (const std::exception &) {
            m_server.reset();
            m_document.reset();
            m_dialogs->showMessage(QStringLiteral("Fax service not running or installed !"));
            if (hideSendFax)
                hideSendFax();
            return false;
        }
    }
    m_server->Connect(QString());
    m_server->Connect(QString());
    return true;
}

void FaxServiceAccess::FreeFaxObjects()
{
    m_document.reset();
    m_server.reset();
}
