#include "platform/sip/SipAccountBook.h"

#include "platform/environment/Environment.h"
#include "platform/tapi/LineProvider.h"

SipAccountBook::SipAccountBook(const Environment &env, std::unique_ptr<Secrets::SecretStore> secrets)
    : m_env(env), m_secrets(secrets ? std::move(secrets) : store(env))
{
    auto loaded = SipAccounts::load(env, &m_loadError);
    if (loaded)
        m_accounts = *loaded;
}

std::unique_ptr<Secrets::SecretStore> SipAccountBook::store(const Environment &env)
{
    return Secrets::defaultSecretStore(env.stateFolderFor(QStringLiteral("sip")),
                                       QStringLiteral("Brenvoy SIP"));
}

QString SipAccountBook::password(const Environment &env, const SipAccount &account)
{
    try {
        return store(env)->read(account.key()).value_or(QString());
    } catch (const Secrets::SecretStoreError &) {
        return {}; // the registrar's refusal tells the operator
    }
}

bool SipAccountBook::hasPassword(int index) const
{
    if (index < 0 || index >= m_accounts.size())
        return false;
    try {
        return m_secrets->read(m_accounts[index].key()).has_value();
    } catch (const Secrets::SecretStoreError &) {
        return false;
    }
}

QString SipAccountBook::save(const QList<SipAccount> &accounts)
{
    QString error;
    if (!SipAccounts::save(m_env, accounts, &error))
        return error;
    m_accounts = accounts;
    m_loadError.clear();
    m_linesCurrent = TapiCore::refreshProviders(m_env);
    return {};
}

QString SipAccountBook::put(int index, const SipAccount &account, bool setPassword, const QString &password)
{
    if (index >= m_accounts.size())
        return QStringLiteral("There is no such account.");
    if (const QString p = account.problem(); !p.isEmpty())
        return p;
    for (int i = 0; i < m_accounts.size(); ++i)
        if (i != index && m_accounts[i].key() == account.key())
            return QStringLiteral("There is already an account for %1.").arg(account.key());
    QList<SipAccount> next = m_accounts;
    const QString oldKey = index >= 0 ? m_accounts[index].key() : QString();
    std::optional<QString> oldSecret;
    try {
        if (index >= 0 && oldKey != account.key())
            oldSecret = m_secrets->read(oldKey);
        // The password first: a password that cannot be kept keeps the account unchanged.
        if (setPassword) {
            if (password.isEmpty())
                m_secrets->remove(account.key());
            else
                m_secrets->write(account.key(), password);
        } else if (oldSecret) {
            m_secrets->write(account.key(), *oldSecret);
        }
    } catch (const Secrets::SecretStoreError &e) {
        return e.text();
    }
    if (index < 0)
        next.append(account);
    else
        next[index] = account;
    if (const QString error = save(next); !error.isEmpty())
        return error;
    if (index >= 0 && oldKey != account.key()) {
        try {
            m_secrets->remove(oldKey);
        } catch (const Secrets::SecretStoreError &) {
        }
    }
    return {};
}

QString SipAccountBook::remove(int index)
{
    if (index < 0 || index >= m_accounts.size())
        return QStringLiteral("There is no such account.");
    QList<SipAccount> next = m_accounts;
    const QString key = next.takeAt(index).key();
    if (const QString error = save(next); !error.isEmpty())
        return error;
    try {
        m_secrets->remove(key);
    } catch (const Secrets::SecretStoreError &e) {
        return e.text();
    }
    return {};
}
