#include "platform/mail/MailAccount.h"

#include "platform/mail/MailError.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QEventLoop>
#include <QFile>
#include <QSettings>
#include <fcntl.h>
#include <qt6keychain/keychain.h>
#include <sys/stat.h>
#include <unistd.h>

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

FileSecretStore::FileSecretStore(QString path) : m_path(std::move(path)) {}

std::optional<QString> FileSecretStore::read(const QString &key)
{
    if (!QFile::exists(m_path))
        return std::nullopt;
    QSettings s(m_path, QSettings::IniFormat);
    const QVariant v = s.value("Secrets/" + key);
    if (!v.isValid())
        return std::nullopt;
    return QString::fromUtf8(QByteArray::fromBase64(v.toByteArray()));
}

void FileSecretStore::write(const QString &key, const QString &secret)
{
    // Created owner-only before anything is written to it.
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_WRONLY | O_CREAT, 0600);
    if (fd < 0)
        throw MailError(QStringLiteral("Cannot write the password file %1").arg(m_path));
    ::fchmod(fd, 0600);
    ::close(fd);
    QSettings s(m_path, QSettings::IniFormat);
    s.setValue("Secrets/" + key, secret.toUtf8().toBase64());
    s.sync();
    ::chmod(QFile::encodeName(m_path).constData(), 0600);
    if (s.status() != QSettings::NoError)
        throw MailError(QStringLiteral("Cannot write the password file %1").arg(m_path));
}

void FileSecretStore::remove(const QString &key)
{
    if (!QFile::exists(m_path))
        return;
    QSettings s(m_path, QSettings::IniFormat);
    s.remove("Secrets/" + key);
}

bool KeychainSecretStore::available()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    for (const char *name : {"org.freedesktop.secrets", "org.kde.kwalletd6", "org.kde.kwalletd5"})
        if (bus.interface()->isServiceRegistered(QString::fromLatin1(name)))
            return true;
    return false;
}

namespace {
template <typename Job> void runJob(Job &job)
{
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.start();
    loop.exec();
}
} // namespace

std::optional<QString> KeychainSecretStore::read(const QString &key)
{
    QKeychain::ReadPasswordJob job(QString::fromLatin1(kService));
    job.setAutoDelete(false);
    job.setKey(key);
    runJob(job);
    if (job.error() == QKeychain::EntryNotFound)
        return std::nullopt;
    if (job.error() != QKeychain::NoError)
        throw MailError(
            QStringLiteral("The password cannot be read from the secret store: %1").arg(job.errorString()));
    return job.textData();
}

void KeychainSecretStore::write(const QString &key, const QString &secret)
{
    QKeychain::WritePasswordJob job(QString::fromLatin1(kService));
    job.setAutoDelete(false);
    job.setKey(key);
    job.setTextData(secret);
    runJob(job);
    if (job.error() != QKeychain::NoError)
        throw MailError(
            QStringLiteral("The password cannot be stored in the secret store: %1").arg(job.errorString()));
}

void KeychainSecretStore::remove(const QString &key)
{
    QKeychain::DeletePasswordJob job(QString::fromLatin1(kService));
    job.setAutoDelete(false);
    job.setKey(key);
    runJob(job);
}

std::unique_ptr<SecretStore> defaultSecretStore(const QString &folder)
{
    if (KeychainSecretStore::available())
        return std::make_unique<KeychainSecretStore>();
    return std::make_unique<FileSecretStore>(folder + "/secrets");
}
