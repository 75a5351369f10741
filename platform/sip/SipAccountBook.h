#pragma once

#include "platform/secrets/SecretStore.h"
#include "platform/sip/SipAccounts.h"

#include <memory>

class Environment;

// The SIP accounts as the account window edits them: the accounts file of
// the "sip" state folder, each account's password in the secret store
// (never in the accounts file), and the telephone lines following each
// change.
class SipAccountBook {
public:
    // secrets: null for the desktop's store, else the owner-only file.
    explicit SipAccountBook(const Environment &env, std::unique_ptr<Secrets::SecretStore> secrets = nullptr);

    // Why the accounts file could not be read (the book then starts empty
    // and saving replaces the file), or empty.
    QString loadError() const { return m_loadError; }
    const QList<SipAccount> &accounts() const { return m_accounts; }
    bool hasPassword(int index) const;
    QString secretsWhere() const { return m_secrets->where(); }

    // Adds (index -1) or replaces an account; with setPassword its password
    // becomes password (empty removes it). Returns what went wrong, or
    // empty; a refused change leaves everything as it was.
    QString put(int index, const SipAccount &account, bool setPassword, const QString &password);
    QString remove(int index);
    // Whether the telephone lines already show the last change (not while
    // a call is on a SIP line).
    bool linesCurrent() const { return m_linesCurrent; }

    // The password the SIP lines use for an account.
    static QString password(const Environment &env, const SipAccount &account);
    static std::unique_ptr<Secrets::SecretStore> store(const Environment &env);

private:
    QString save(const QList<SipAccount> &accounts);

    const Environment &m_env;
    std::unique_ptr<Secrets::SecretStore> m_secrets;
    QList<SipAccount> m_accounts;
    QString m_loadError;
    bool m_linesCurrent = true;
};
