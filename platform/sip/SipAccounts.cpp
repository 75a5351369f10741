#include "platform/sip/SipAccounts.h"

#include "platform/environment/Environment.h"

#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTextStream>

namespace {

// Accounts a user keeps by hand: a few, not thousands.
constexpr int kMaxAccounts = 64;
constexpr int kMaxFieldLength = 256;

bool hostPortValid(const QString &s)
{
    static const QRegularExpression re(
        QStringLiteral("^(\\[[0-9A-Fa-f:.]+\\]|[A-Za-z0-9.-]+)(:[0-9]{1,5})?$"));
    if (!re.match(s).hasMatch())
        return false;
    const int colon = s.lastIndexOf(QLatin1Char(':'));
    if (colon > 0 && !s.startsWith(QLatin1Char('[')) && s.indexOf(QLatin1Char(':')) == colon) {
        const int port = s.mid(colon + 1).toInt();
        return port > 0 && port < 65536;
    }
    return true;
}

} // namespace

QString SipAccount::lineName() const
{
    return QStringLiteral("SIP: ") + key();
}

QString SipAccount::transportName(Transport t)
{
    switch (t) {
    case Transport::Tcp:
        return QStringLiteral("TCP");
    case Transport::Tls:
        return QStringLiteral("TLS");
    case Transport::Udp:
        break;
    }
    return QStringLiteral("UDP");
}

std::optional<SipAccount::Transport> SipAccount::transportFromName(const QString &name)
{
    const QString n = name.trimmed().toUpper();
    if (n == QLatin1String("UDP") || n.isEmpty())
        return Transport::Udp;
    if (n == QLatin1String("TCP"))
        return Transport::Tcp;
    if (n == QLatin1String("TLS"))
        return Transport::Tls;
    return std::nullopt;
}

QString SipAccount::problem() const
{
    static const QRegularExpression userRe(QStringLiteral("^[A-Za-z0-9._~!$&'()*+,;=%-]+$"));
    if (user.isEmpty())
        return QStringLiteral("The account has no user name.");
    if (!userRe.match(user).hasMatch() || user.size() > kMaxFieldLength)
        return QStringLiteral("The user name \"%1\" cannot be used in a SIP address.").arg(user);
    if (domain.isEmpty())
        return QStringLiteral("The account has no domain.");
    if (!hostPortValid(domain) || domain.size() > kMaxFieldLength)
        return QStringLiteral("The domain \"%1\" is not a host name or address.").arg(domain);
    if (!registrar.isEmpty() && (!hostPortValid(registrar) || registrar.size() > kMaxFieldLength))
        return QStringLiteral("The registrar \"%1\" is not a host name or address.").arg(registrar);
    if (!authUser.isEmpty() && (!userRe.match(authUser).hasMatch() || authUser.size() > kMaxFieldLength))
        return QStringLiteral("The authentication user \"%1\" cannot be used.").arg(authUser);
    if (displayName.size() > kMaxFieldLength || displayName.contains(QLatin1Char('"')) ||
        displayName.contains(QLatin1Char('\n')))
        return QStringLiteral("The display name cannot hold quotes or line breaks.");
    return {};
}

QString SipAccounts::filePath(const Environment &env)
{
    return env.stateFolderFor(QStringLiteral("sip")) + QStringLiteral("/accounts.ini");
}

std::optional<QList<SipAccount>> SipAccounts::parse(const QString &text, QString *error)
{
    QList<SipAccount> accounts;
    SipAccount *current = nullptr;
    int lineNo = 0;
    const auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("Line %1: %2").arg(lineNo).arg(why);
        return std::nullopt;
    };
    for (const QString &raw : text.split(QLatin1Char('\n'))) {
        ++lineNo;
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            if (!line.endsWith(QLatin1Char(']')) || !line.startsWith(QLatin1String("[Account")))
                return fail(QStringLiteral("unknown section %1").arg(line));
            if (accounts.size() >= kMaxAccounts)
                return fail(QStringLiteral("more than %1 accounts").arg(kMaxAccounts));
            accounts.append(SipAccount{});
            current = &accounts.last();
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (!current || eq < 1)
            return fail(QStringLiteral("not a setting of an account"));
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        if (key == QLatin1String("DisplayName"))
            current->displayName = value;
        else if (key == QLatin1String("User"))
            current->user = value;
        else if (key == QLatin1String("Domain"))
            current->domain = value;
        else if (key == QLatin1String("Registrar"))
            current->registrar = value;
        else if (key == QLatin1String("AuthUser"))
            current->authUser = value;
        else if (key == QLatin1String("Transport")) {
            auto t = SipAccount::transportFromName(value);
            if (!t)
                return fail(QStringLiteral("unknown transport %1").arg(value));
            current->transport = *t;
        } else
            return fail(QStringLiteral("unknown setting %1").arg(key));
    }
    for (int i = 0; i < accounts.size(); ++i) {
        if (const QString p = accounts[i].problem(); !p.isEmpty()) {
            if (error)
                *error = QStringLiteral("Account %1: %2").arg(i).arg(p);
            return std::nullopt;
        }
        for (int j = 0; j < i; ++j)
            if (accounts[j].key() == accounts[i].key()) {
                if (error)
                    *error = QStringLiteral("Account %1: %2 is there twice").arg(i).arg(accounts[i].key());
                return std::nullopt;
            }
    }
    return accounts;
}

QString SipAccounts::format(const QList<SipAccount> &accounts)
{
    QString out;
    QTextStream s(&out);
    for (int i = 0; i < accounts.size(); ++i) {
        const SipAccount &a = accounts[i];
        s << "[Account" << i << "]\n";
        s << "DisplayName=" << a.displayName << '\n';
        s << "User=" << a.user << '\n';
        s << "Domain=" << a.domain << '\n';
        s << "Registrar=" << a.registrar << '\n';
        s << "Transport=" << SipAccount::transportName(a.transport) << '\n';
        s << "AuthUser=" << a.authUser << "\n\n";
    }
    return out;
}

std::optional<QList<SipAccount>> SipAccounts::load(const Environment &env, QString *error)
{
    QFile f(filePath(env));
    if (!f.exists())
        return QList<SipAccount>{};
    if (f.size() > (1 << 20) || !f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("%1 cannot be read.").arg(f.fileName());
        return std::nullopt;
    }
    return parse(QString::fromUtf8(f.readAll()), error);
}

bool SipAccounts::save(const Environment &env, const QList<SipAccount> &accounts, QString *error)
{
    for (const SipAccount &a : accounts)
        if (const QString p = a.problem(); !p.isEmpty()) {
            if (error)
                *error = p;
            return false;
        }
    QSaveFile f(filePath(env));
    if (!f.open(QIODevice::WriteOnly) || f.write(format(accounts).toUtf8()) < 0 || !f.commit()) {
        if (error)
            *error = QStringLiteral("%1 cannot be written: %2").arg(f.fileName(), f.errorString());
        return false;
    }
    return true;
}
