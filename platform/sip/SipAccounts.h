#pragma once

#include <QList>
#include <QString>
#include <optional>

class Environment;

// A SIP account the program dials through; each is one telephone line.
// Accounts live in "accounts.ini" in the state folder of the "sip" layer;
// their passwords never do (see SipPasswords.h).
struct SipAccount {
    enum class Transport { Udp, Tcp, Tls };

    QString displayName;
    QString user;
    QString domain;    // host[:port] calls go to and the address is in
    QString registrar; // host[:port] to register with or send through; empty: none
    Transport transport = Transport::Udp;
    QString authUser; // empty: the user

    // "SIP: user@domain", the line's name in the device selection.
    QString lineName() const;
    // The key its password is kept under.
    QString key() const { return user + QLatin1Char('@') + domain; }
    QString authName() const { return authUser.isEmpty() ? user : authUser; }
    // What is wrong with it for the operator, or empty.
    QString problem() const;

    static QString transportName(Transport t);
    static std::optional<Transport> transportFromName(const QString &name);

    bool operator==(const SipAccount &) const = default;
};

namespace SipAccounts {

QString filePath(const Environment &env);
// A missing file is no accounts; a file that cannot be read or holds a
// broken account gives nullopt with *error set.
std::optional<QList<SipAccount>> load(const Environment &env, QString *error);
std::optional<QList<SipAccount>> parse(const QString &text, QString *error);
QString format(const QList<SipAccount> &accounts);
// Writes the file whole or not at all.
bool save(const Environment &env, const QList<SipAccount> &accounts, QString *error);

} // namespace SipAccounts
