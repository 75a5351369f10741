#pragma once

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

// Where the account password lives.
class SecretStore {
public:
    virtual ~SecretStore() = default;
    virtual std::optional<QString> read(const QString &key) = 0;
    virtual void write(const QString &key, const QString &secret) = 0;
    virtual void remove(const QString &key) = 0;
};

// A file that only its owner may read or write.
class FileSecretStore final : public SecretStore {
public:
    explicit FileSecretStore(QString path);
    std::optional<QString> read(const QString &key) override;
    void write(const QString &key, const QString &secret) override;
    void remove(const QString &key) override;

private:
    QString m_path;
};

// The desktop's secret store through QtKeychain.
class KeychainSecretStore final : public SecretStore {
public:
    std::optional<QString> read(const QString &key) override;
    void write(const QString &key, const QString &secret) override;
    void remove(const QString &key) override;
    // Whether a secret service answers on the session bus.
    static bool available();
};

// The keychain when one runs, otherwise the owner-only file in folder.
std::unique_ptr<SecretStore> defaultSecretStore(const QString &folder);
