#pragma once

#include <QString>
#include <memory>
#include <optional>
#include <stdexcept>

// Shared by the layers that keep passwords: the SIP accounts and the mail
// client.
namespace Secrets {

// A secret that cannot be read or stored: a text for the operator.
class SecretStoreError : public std::runtime_error {
public:
    explicit SecretStoreError(const QString &text) : std::runtime_error(text.toStdString()) {}
    QString text() const { return QString::fromStdString(what()); }
};

// Where passwords live, by key. Failures throw SecretStoreError.
class SecretStore {
public:
    virtual ~SecretStore() = default;
    virtual std::optional<QString> read(const QString &key) = 0;
    virtual void write(const QString &key, const QString &secret) = 0;
    virtual void remove(const QString &key) = 0;
    // For the operator: where the secrets are kept.
    virtual QString where() const = 0;
};

// A file that only its owner may read or write.
class FileSecretStore final : public SecretStore {
public:
    explicit FileSecretStore(QString path);
    std::optional<QString> read(const QString &key) override;
    void write(const QString &key, const QString &secret) override;
    void remove(const QString &key) override;
    QString where() const override;

private:
    QString m_path;
};

// The desktop's secret store through QtKeychain, under a service name.
class KeychainSecretStore final : public SecretStore {
public:
    explicit KeychainSecretStore(QString service);
    std::optional<QString> read(const QString &key) override;
    void write(const QString &key, const QString &secret) override;
    void remove(const QString &key) override;
    QString where() const override;
    // Whether a secret service answers on the session bus.
    static bool available();

private:
    QString m_service;
};

// The keychain when one runs, otherwise the owner-only file "secrets" in folder.
std::unique_ptr<SecretStore> defaultSecretStore(const QString &folder, const QString &service);

} // namespace Secrets
