#include "platform/mail/MailAccount.h"

#include <QSettings>

namespace {
const char *kService = "Brenvoy mail";
}

MailSettings::MailSettings(QString folder) : m_folder(std::move(folder)) {}

QString MailSettings::iniPath() const
{
    return m_folder + "/mail.ini";
}

bool MailSettings::installed() const
{
    QSettings s(iniPath(), QSettings::IniFormat);
    return s.value("Client/Installed", true).toBool();
}

void MailSettings::setInstalled(bool on)
{
    QSettings s(iniPath(), QSettings::IniFormat);
    s.setValue("Client/Installed", on);
}

MailAccount MailSettings::account() const
{
    QSettings s(iniPath(), QSettings::IniFormat);
    MailAccount a;
    s.beginGroup("Account");
    a.host = s.value("Host").toString().trimmed();
    bool ok = false;
    const int port = s.value("Port", 587).toInt(&ok);
    a.port = ok && port > 0 && port < 65536 ? port : 587;
    const QString sec = s.value("Security", "starttls").toString().toLower();
    a.security = sec == "tls"    ? MailAccount::Security::Tls
                 : sec == "none" ? MailAccount::Security::None
                                 : MailAccount::Security::StartTls;
    a.user = s.value("User").toString();
    a.fromAddress = s.value("From").toString().trimmed();
    a.caFile = s.value("CaFile").toString();
    return a;
}

void MailSettings::setAccount(const MailAccount &a)
{
    QSettings s(iniPath(), QSettings::IniFormat);
    s.beginGroup("Account");
    s.setValue("Host", a.host);
    s.setValue("Port", a.port);
    s.setValue("Security", a.security == MailAccount::Security::Tls    ? "tls"
                           : a.security == MailAccount::Security::None ? "none"
                                                                       : "starttls");
    s.setValue("User", a.user);
    s.setValue("From", a.fromAddress);
    s.setValue("CaFile", a.caFile);
}

std::unique_ptr<Secrets::SecretStore> defaultSecretStore(const QString &folder)
{
    return Secrets::defaultSecretStore(folder, QString::fromLatin1(kService));
}
