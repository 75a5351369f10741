#pragma once

#include "platform/secrets/SecretStore.h"

#include <QString>
#include <memory>
#include <optional>

// The mail client's own settings (mail.ini in its folder): whether the
// client is installed and the outgoing mail account. The password is never
// kept here but in a SecretStore.
struct MailAccount {
    enum class Security { None, StartTls, Tls };
    QString host;
    int port = 587;
    Security security = Security::StartTls;
    QString user;        // empty: no authentication
    QString fromAddress; // sender of every mail
    QString caFile;      // an extra certificate authority to trust (empty: the system's)

    bool configured() const { return !host.isEmpty() && !fromAddress.isEmpty(); }
};

class MailSettings {
public:
    explicit MailSettings(QString folder);
    QString iniPath() const;

    // A fresh machine has the client installed; Installed=false in mail.ini
    // takes it away (as uninstalling would).
    bool installed() const;
    void setInstalled(bool on);

    MailAccount account() const;
    void setAccount(const MailAccount &account);

private:
    QString m_folder;
};

// The mail client's password store: the shared secret store under its own
// service name.
std::unique_ptr<Secrets::SecretStore> defaultSecretStore(const QString &folder);
